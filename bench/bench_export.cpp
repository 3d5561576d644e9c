// Export speed: classifying and writing a plate of N events x P parameters
// into the trash and well files, against writing the same number of bytes
// to one file with a plain buffered write.
//
//   bench_export [EVENTS] [PARAMS] [FOLDER [BLOCK [BUFFER]]]
//   (defaults 5000000 40 $TMPDIR, and the export's own block and buffer sizes)
//
// Prints both times and their ratio (export / plain write), best of five,
// by the wall clock and by the CPU time of all threads.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/export.h"
#include "app/plate.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// CPU time of the process (the export's workers included), system calls
// included: less disturbed than the wall clock by other work on the machine.
double CpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dbc;
  const std::size_t events = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5'000'000;
  const int par = argc > 2 ? std::atoi(argv[2]) : 40;
  const std::filesystem::path root =
      argc > 3 ? std::filesystem::path(argv[3]) : std::filesystem::temp_directory_path();
  if (par < 8 || events == 0) {
    std::fprintf(stderr, "usage: bench_export [EVENTS>0] [PARAMS>=8] [FOLDER]\n");
    return 2;
  }
  BuildPlateTables();
  const std::filesystem::path dir = root / ("bench_export_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);

  // Columns: the seven bit parameters spread over the matrix, 0 or 1 per
  // the event's code; the rest pseudo-random values.
  const BitParams bits{1, 6, 11, 16, 21, 26, par - 1};
  TSingleMatrix data(static_cast<std::size_t>(par), TSingleVector(events));
  std::uint64_t x = 88172645463325252ULL;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  for (std::size_t e = 0; e < events; ++e) {
    const std::uint64_t r = next();
    const int well = static_cast<int>(r % 96);
    const int code = (r >> 8) % 100 < 3 ? 0 : well2code[well / 12][well % 12];
    for (int j = 0; j < 7; ++j)
      data[static_cast<std::size_t>(bits[static_cast<std::size_t>(j)])][e] = static_cast<float>((code >> j) & 1);
  }
  for (int p = 0; p < par; ++p) {
    if (std::find(bits.begin(), bits.end(), p) != bits.end()) continue;
    for (auto& v : data[static_cast<std::size_t>(p)]) v = static_cast<float>(next() >> 40) * 0.01f;
  }
  TPreText text(false);
  text.SetValue("$BYTEORD", "1,2,3,4");
  text.SetValue("$DATATYPE", "F");
  text.SetValue("$MODE", "L");
  text.SetValue("$PAR", std::to_string(par));
  text.SetValue("$TOT", std::to_string(events));
  for (int n = 1; n <= par; ++n) {
    text.SetValue("$P" + std::to_string(n) + "N", "P" + std::to_string(n));
    text.SetValue("$P" + std::to_string(n) + "B", "32");
    text.SetValue("$P" + std::to_string(n) + "R", "262144");
  }
  const BitThresholds thresholds{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};

  double bestExport = 1e30, bestPlain = 1e30, cpuExport = 1e30, cpuPlain = 1e30;
  std::uintmax_t bytes = 0;
  for (int round = 0; round < 5; ++round) {
    const auto t0 = Clock::now();
    const double c0 = CpuSeconds();
    const TByteVector codes = ClassifyEvents(data, events, bits, thresholds);
    ExportJob job{&text, &data, events, &codes, bits, false, dir.string(), "pool.fcs"};
    ExportTuning tuning;
    if (argc > 4) tuning.blockEvents = std::strtoull(argv[4], nullptr, 10);
    if (argc > 5) tuning.bufferBytes = std::strtoull(argv[5], nullptr, 10);
    const ExportResult result = ExportPlate(job, tuning);
    const auto t1 = Clock::now();
    cpuExport = std::min(cpuExport, CpuSeconds() - c0);
    bestExport = std::min(bestExport, Seconds(t0, t1));
    bytes = 0;
    for (const auto& f : result.files) bytes += std::filesystem::file_size(f);
    for (const auto& f : result.files) std::filesystem::remove(f);

    const std::string plain = (dir / "plain.bin").string();
    std::vector<char> chunk(1 << 20, 'x');
    const auto t2 = Clock::now();
    const double c2 = CpuSeconds();
    std::FILE* f = std::fopen(plain.c_str(), "wb");
    if (!f) return 1;
    std::vector<char> buffer(4 << 20);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    for (std::uintmax_t done = 0; done < bytes;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(chunk.size(), bytes - done));
      if (std::fwrite(chunk.data(), 1, n, f) != n) return 1;
      done += n;
    }
    if (std::fclose(f) != 0) return 1;
    const auto t3 = Clock::now();
    cpuPlain = std::min(cpuPlain, CpuSeconds() - c2);
    bestPlain = std::min(bestPlain, Seconds(t2, t3));
    std::filesystem::remove(plain);
  }
  std::filesystem::remove_all(dir);

  std::printf("export: %zu events x %d parameters, %.1f MB written\n", events, par,
              static_cast<double>(bytes) / 1e6);
  std::printf("export (classify + write wells)  %.3f s wall, %.3f s cpu\n", bestExport, cpuExport);
  std::printf("plain buffered write, same bytes %.3f s wall, %.3f s cpu\n", bestPlain, cpuPlain);
  std::printf("ratio %.2f wall, %.2f cpu (target <= 1.5)\n", bestExport / bestPlain,
              cpuExport / cpuPlain);
  std::printf("RESULT export_ratio %.2f x target <= 1.5\n", bestExport / bestPlain);
  return 0;
}
