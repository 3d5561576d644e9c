// Reading an FCS file against reading its bytes. For each synthetic file of
// 1,000,000 events x 40 parameters (float32 in both byte orders, int16) the
// benchmark times TFCStream (open, decode every event into the columns)
// and, in the same run, reading the file's bytes into a fresh buffer backed
// by huge pages; it prints the best of several warm runs of each and their
// ratio, and the reader's peak memory above the decoded columns.
//
//   bench_read [events] [repetitions]
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fcs/byte_source.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "synthetic_fcs.h"
#include "util/huge_page_allocator.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Resident set size and its peak, in bytes (from /proc/self/status).
std::int64_t StatusBytes(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::strlen(field)) * 1024;
  return 0;
}

double ReadBytes(const std::string& path) {
  const auto t0 = Clock::now();
  const auto source = dbc::OpenFileByteSource(path);
  const auto size = static_cast<std::size_t>(source->Size());
  void* buf = dbc::huge_page_alloc(size);
  const std::size_t got = source->ReadAt(0, buf, size);
  const auto t1 = Clock::now();
  if (got != size) std::abort();
  dbc::huge_page_free(buf, size);
  return Seconds(t0, t1);
}

struct ReaderRun {
  double seconds = 1e9;
  std::int64_t peakAboveColumns = 0;
};

// One open in a child process, so that its peak memory is its own.
ReaderRun ReadFcsInChild(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::int64_t before = StatusBytes("VmHWM:");
    const auto t0 = Clock::now();
    const dbc::TFCStream s(path, false, true, [](const std::string&) {});
    const auto t1 = Clock::now();
    const auto& ds = *s.dataset[0];
    const std::int64_t columns = static_cast<std::int64_t>(ds.parcount()) * ds.GetEventCount() * 4;
    ReaderRun r{Seconds(t0, t1), StatusBytes("VmHWM:") - before - columns};
    if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  ReaderRun r;
  if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) std::abort();
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t events = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  const int reps = argc > 2 ? std::atoi(argv[2]) : 7;
  const auto dir = std::filesystem::temp_directory_path() / ("bench_read_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  struct Case {
    const char* name;
    dbc::bench::SyntheticSpec spec;
  };
  const Case cases[] = {
      {"float32 little-endian", {events, 40, 'F', false, 1}},
      {"float32 big-endian", {events, 40, 'F', true, 2}},
      {"int16 little-endian", {events, 40, 'I', false, 3}},
  };
  const char* const resultNames[] = {"read_float32_le_ratio", "read_float32_be_ratio", "read_int16_le_ratio"};
  std::string results;
  std::size_t caseIndex = 0;
  std::printf("%-24s %10s %10s %8s %14s\n", "file (events x 40)", "read [s]", "bytes [s]", "ratio", "peak+ [MiB]");
  for (const auto& c : cases) {
    const std::string path = (dir / "bench.fcs").string();
    dbc::bench::WriteSyntheticFcs(path, c.spec);
    ReadBytes(path);  // warm the page cache
    double bytes = 1e9;
    ReaderRun best;
    for (int i = 0; i < reps; ++i) {
      const ReaderRun r = ReadFcsInChild(path);
      if (r.seconds < best.seconds) best.seconds = r.seconds;
      best.peakAboveColumns = std::max(best.peakAboveColumns, r.peakAboveColumns);
      bytes = std::min(bytes, ReadBytes(path));
    }
    std::printf("%-24s %10.4f %10.4f %8.2f %14.1f\n", c.name, best.seconds, bytes, best.seconds / bytes,
                static_cast<double>(best.peakAboveColumns) / (1 << 20));
    char line[160];
    std::snprintf(line, sizeof line, "RESULT %s %.2f x target <= 1.5\n", resultNames[caseIndex++],
                  best.seconds / bytes);
    results += line;
  }
  std::filesystem::remove_all(dir);
  std::printf("%s", results.c_str());
  return 0;
}
