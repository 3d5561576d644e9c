// What the user feels while dragging a threshold cursor: after Load, the
// time one threshold move takes to update every event's code, the 96 well
// counts and the trash count, on synthetic plates of 1,000,000 and
// 10,000,000 events, and at 1,000,000 with an ambiguity margin of 0.1
// decades (the ambiguous bits follow too). Targets: 5 ms per move at 1 M,
// 50 ms at 10 M.
//
//   bench_live [FOLDER]   (the plates are written there, default /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/debarcoder.h"
#include "app/synthetic_plate.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* name;
  std::int64_t events;
  double target;  // ms per move
  double margin;  // decades
};

// Median milliseconds per move over moves that sweep each bit's threshold
// across its histogram's range and back to the guess.
double TimeMoves(dbc::Debarcoder& engine, std::int64_t& checksum) {
  std::vector<double> ms;
  for (int round = 0; round < 6; ++round)
    for (int bit = 1; bit <= 7; ++bit) {
      const dbc::Thistogram& h = *engine.Histogram(bit);
      const double guess = engine.GuessedThreshold(bit);
      const double to = round == 5 ? guess : h.xmin + (h.xmax - h.xmin) * (0.1 + 0.15 * round);
      const auto start = Clock::now();
      engine.SetThreshold(bit, to);
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      checksum += engine.Counts().trash;
    }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  const Case cases[] = {{"live_move_1m", 1'000'000, 5, 0},
                        {"live_move_margin_1m", 1'000'000, 5, 0.1},
                        {"live_move_10m", 10'000'000, 50, 0}};
  std::vector<std::string> results;
  for (const Case& c : cases) {
    const std::string path = folder + "/bench_live_" + std::to_string(c.events) + ".fcs";
    dbc::SyntheticPlateOptions o;
    o.events = c.events;
    o.params = 9;
    o.seed = 7;
    dbc::WriteSyntheticPlate(path, o);
    dbc::Debarcoder engine;
    engine.Open(path);
    std::filesystem::remove(path);
    engine.ProposeBits();
    engine.SetMargin(c.margin);
    const auto start = Clock::now();
    engine.Load();
    const double load = std::chrono::duration<double>(Clock::now() - start).count();
    std::int64_t checksum = 0;
    const double move = TimeMoves(engine, checksum);
    std::printf("%lld events, margin %g: Load %.3f s, one threshold move %.2f ms (median of 42; checksum %lld)\n",
                static_cast<long long>(c.events), c.margin, load, move, static_cast<long long>(checksum));
    char line[128];
    std::snprintf(line, sizeof line, "RESULT %s %.2f ms target <= %g", c.name, move, c.target);
    results.push_back(line);
  }
  for (const std::string& r : results) std::printf("%s\n", r.c_str());
  return 0;
}
