// The compensated data matrix of a large data set (1,000,000 events x 40
// parameters, a 10 x 10 spillover matrix, every parameter log-scaled and
// clamped) on the worker pool and on one worker.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "stats/data_matrix.h"

namespace {

using namespace dbc;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kEvents = 1'000'000;
constexpr std::size_t kParams = 40;
constexpr std::size_t kSpill = 10;
constexpr int kRepeats = 3;

double TimeMatrix(const TSingleMatrix& data, const TCompensation& comp, const TWorkerPool& pool,
                  TSingleMatrix& out) {
  TBoolVector logpar(kParams, true);
  TScaleVector scales(kParams);
  TSingleVector mins(kParams), maxs(kParams);
  const TColumnTransform t{logpar, 4.0, true, scales, mins, maxs};
  const auto start = Clock::now();
  out = GetDataMatrix(data, kEvents, &comp, t, pool);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
  std::mt19937 rng(7);
  std::lognormal_distribution<float> dist(5.0f, 1.5f);
  TSingleMatrix data(kParams, TSingleVector(kEvents));
  for (auto& column : data)
    for (float& x : column) x = dist(rng);

  TIntVector inds;
  for (std::size_t k = 0; k < kSpill; ++k) inds.push_back(static_cast<std::int32_t>(3 * k + 2));
  std::uniform_real_distribution<double> spill(-0.05, 0.05);
  TMatrix inv(kSpill, TVector(kSpill));
  for (std::size_t r = 0; r < kSpill; ++r)
    for (std::size_t k = 0; k < kSpill; ++k) inv[r][k] = r == k ? 1.0 : spill(rng);
  const TCompensation comp{inds, inv};

  const TWorkerPool pool, one(1);
  TSingleMatrix a, b;
  double t_pool = 1e300, t_one = 1e300;
  for (int r = 0; r < kRepeats; ++r) {
    t_one = std::min(t_one, TimeMatrix(data, comp, one, a));
    t_pool = std::min(t_pool, TimeMatrix(data, comp, pool, b));
  }
  std::printf("datamatrix: %zu events x %zu parameters, %zu x %zu spillover (best of %d)\n", kEvents, kParams,
              kSpill, kSpill, kRepeats);
  std::printf("  one worker:          %8.1f ms\n", t_one * 1e3);
  std::printf("  pool of %2d workers:  %8.1f ms\n", pool.Workers(), t_pool * 1e3);
  std::printf("  speed-up: %.2f x%s\n", t_one / t_pool, a == b ? "" : "  (RESULTS DIFFER)");
  std::printf("RESULT datamatrix_speedup %.2f x target >= 1.5\n", t_one / t_pool);
  return a == b ? 0 : 1;
}
