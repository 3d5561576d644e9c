// What the user waits for on Load: for the seven barcode columns of a file of
// five million events, the log scale with the outlier clamp, the 1024-point
// histogram and the threshold guess. For scale, the same run times
// std::stable_sort of copies of the same seven columns; the target is a load
// in at most half of that time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "stats/histogram.h"
#include "stats/log_scale.h"
#include "util/numeric.h"

namespace {

using namespace dbc;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kEvents = 5'000'000;
constexpr int kBits = 7;
constexpr int kRepeats = 3;

// Seven barcode channels: every event carries one of the 96 well codes, a bit
// that is on reads about a hundred times brighter than one that is off, and
// a few events are debris, doublets or saturated.
std::vector<TSingleVector> BarcodeColumns() {
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int> code(0, 127);
  std::uniform_int_distribution<int> odd(0, 999);
  std::lognormal_distribution<float> off(3.0f, 0.6f), on(7.6f, 0.4f);
  std::normal_distribution<float> noise(0.0f, 4.0f);
  std::vector<TSingleVector> columns(kBits, TSingleVector(kEvents));
  for (std::size_t e = 0; e < kEvents; ++e) {
    const int c = code(rng);
    const int kind = odd(rng);
    for (int b = 0; b < kBits; ++b) {
      float v = ((c >> b) & 1) ? on(rng) : off(rng);
      v += noise(rng);
      if (kind == 0) v *= 0.01f;           // debris
      if (kind == 1) v *= 2.1f;            // doublets
      if (kind == 2) v = 262143.0f;        // saturated
      columns[static_cast<std::size_t>(b)][e] = v;
    }
  }
  return columns;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One Load: the scratch is made once and serves all seven columns.
double TimeLoad(const std::vector<TSingleVector>& raw, float& checksum) {
  std::vector<TSingleVector> columns = raw;
  const auto start = Clock::now();
  TColumnScratch scratch;
  checksum = 0;
  for (TSingleVector& column : columns) {
    TScale scale;
    float low = 0, high = 0;
    CropAndLogColumn(column, true, 4.0, true, scale, low, high, scratch);
    const Thistogram h = Thistogram::Create(column, 1024, -1, scratch);
    checksum += h.GuessThreshold();
  }
  return Seconds(Clock::now() - start);
}

double TimeStableSort(const std::vector<TSingleVector>& raw) {
  std::vector<TSingleVector> columns = raw;
  const auto start = Clock::now();
  for (TSingleVector& column : columns) std::stable_sort(column.begin(), column.end());
  return Seconds(Clock::now() - start);
}

}  // namespace

int main() {
  const std::vector<TSingleVector> raw = BarcodeColumns();
  double load = 1e300, sort = 1e300;
  float checksum = 0;
  for (int r = 0; r < kRepeats; ++r) {
    load = std::min(load, TimeLoad(raw, checksum));
    sort = std::min(sort, TimeStableSort(raw));
  }
  std::printf("load: %d columns x %zu events (best of %d)\n", kBits, kEvents, kRepeats);
  std::printf("  load (log scale + clamp, histogram, threshold): %8.1f ms\n", load * 1e3);
  std::printf("  std::stable_sort of the same columns:           %8.1f ms\n", sort * 1e3);
  std::printf("  ratio load / stable_sort: %.3f (target <= 0.5)\n", load / sort);
  std::printf("  (threshold checksum %.6f)\n", static_cast<double>(checksum));
  std::printf("RESULT load_vs_stable_sort %.3f x target <= 0.5\n", load / sort);
  return 0;
}
