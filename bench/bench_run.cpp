// A whole plate in one process, as `debarcode run` does it: open the file
// (read and decode every event), Load (transformed columns, histograms,
// guessed thresholds, codes and counts) and export the trash and well
// files; against copying the same file's bytes into another file in the
// same process (read and write in blocks of 1 MiB, as cat does).
//
//   bench_run [FOLDER [BIG_EVENTS [REPETITIONS]]]
//   (defaults: $TMPDIR, 10000000, 5; BIG_EVENTS 0 skips the large run)
//
// The plate of 1,000,000 events x 40 float32 parameters is timed best of
// REPETITIONS, each phase on its own best. The large plate (BIG_EVENTS x 40)
// runs once in a child process, whose peak resident memory is compared with
// its columns plus the seven transformed columns plus 64 MiB. Every file is
// written under FOLDER and deleted afterwards. The export includes the run
// record (the SHA-256 of the input and of every output, read back) and the
// report; the files alone are timed too, once more after each run.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/debarcoder.h"
#include "app/synthetic_plate.h"
#include "fcs/dataset.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kParams = 40;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// CPU time of the whole process (every thread, system calls included): on a
// machine shared with other work it tells the work done where the wall
// clock also counts the waits for a core.
double CpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A phase's best wall and CPU time over the repetitions.
struct Time {
  double wall = 1e30, cpu = 1e30;
  void Take(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

// Copies the file's bytes into `to` with read and write in blocks of 1 MiB;
// returns the wall time, `cpu` receives the CPU time.
double CopyBytes(const std::string& from, const std::string& to, double* cpu = nullptr) {
  const double c0 = CpuSeconds();
  const auto t0 = Clock::now();
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || out < 0) std::abort();
  std::vector<char> buf(std::size_t{1} << 20);
  for (;;) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) std::abort();
    if (n == 0) break;
    if (::write(out, buf.data(), static_cast<std::size_t>(n)) != n) std::abort();
  }
  ::close(in);
  if (::close(out) != 0) std::abort();
  const double wall = Seconds(t0, Clock::now());
  if (cpu) *cpu = CpuSeconds() - c0;
  return wall;
}

struct RunTimes {
  Time open, load, exportFiles, total;
  Time pass;  // the export's files alone (ExportPlate), timed after the run
  std::int64_t inWells = 0;
};

// Open, propose the bits, Load, export without the barcode channels.
void RunPlate(const std::string& path, const std::string& outDir, RunTimes& r) {
  const double c0 = CpuSeconds();
  const auto t0 = Clock::now();
  dbc::Debarcoder engine;
  engine.Open(path);
  engine.ProposeBits();
  const double c1 = CpuSeconds();
  const auto t1 = Clock::now();
  engine.Load();
  const double c2 = CpuSeconds();
  const auto t2 = Clock::now();
  engine.Export(outDir, false);
  const double c3 = CpuSeconds();
  const auto t3 = Clock::now();
  r.open.Take(Seconds(t0, t1), c1 - c0);
  r.load.Take(Seconds(t1, t2), c2 - c1);
  r.exportFiles.Take(Seconds(t2, t3), c3 - c2);
  r.total.Take(Seconds(t0, t3), c3 - c0);
  r.inWells = engine.Counts().InWells();
  // The same files once more without the run record (the digests of the
  // input and of every output, the report) and the folder's upkeep.
  const dbc::TDataSet& ds = *engine.DataSet();
  const dbc::ExportJob job{ds.Text.get(), &ds.data, engine.Codes().size(), &engine.Codes(), engine.BitParameters(),
                           false, outDir + "_files"};
  const double c4 = CpuSeconds();
  const auto t4 = Clock::now();
  dbc::ExportPlate(job);
  r.pass.Take(Seconds(t4, Clock::now()), CpuSeconds() - c4);
  std::filesystem::remove_all(outDir + "_files");
}

struct BigRun {
  double seconds = 0, open = 0, load = 0, exportFiles = 0;
  double peakBytes = 0;
};

// The large plate in a child process, so that its peak memory is its own.
BigRun RunInChild(const std::string& path, const std::string& outDir) {
  int fds[2];
  if (::pipe(fds) != 0) std::abort();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    RunTimes t;
    RunPlate(path, outDir, t);
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    const BigRun r{t.total.wall, t.open.wall, t.load.wall, t.exportFiles.wall, static_cast<double>(ru.ru_maxrss) * 1024};
    if (::write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) ::_exit(2);
    ::_exit(0);
  }
  ::close(fds[1]);
  BigRun r;
  if (::read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) std::abort();
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return r;
}

dbc::SyntheticPlateOptions Plate(std::int64_t events) {
  dbc::SyntheticPlateOptions o;
  o.events = events;
  o.params = kParams;
  o.seed = 16;
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path root =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::int64_t bigEvents = argc > 2 ? std::atoll(argv[2]) : 10'000'000;
  const int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const std::filesystem::path dir = root / ("bench_run_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string input = (dir / "plate.fcs").string();
  const std::string copy = (dir / "copy.fcs").string();
  const std::string out = (dir / "out").string();
  std::vector<std::string> results;
  char line[160];

  // The large run first, while this process is still small.
  if (bigEvents > 0) {
    dbc::WriteSyntheticPlate(input, Plate(bigEvents));
    CopyBytes(input, copy);  // the input in the page cache, as for the small plate
    std::filesystem::remove(copy);
    const double copySeconds = CopyBytes(input, copy);
    std::filesystem::remove(copy);
    const BigRun big = RunInChild(input, out);
    std::filesystem::remove_all(out);
    std::filesystem::remove(input);
    const double columns = static_cast<double>(bigEvents) * kParams * 4;
    const double budget = columns + static_cast<double>(bigEvents) * 7 * 4 + 64.0 * (1 << 20);
    std::printf("%lld events x %d: whole run %.2f s (open %.2f, Load %.2f, export %.2f; copying the file %.2f s), "
                "peak memory %.0f MiB (columns %.0f MiB, budget %.0f MiB)\n",
                static_cast<long long>(bigEvents), kParams, big.seconds, big.open, big.load, big.exportFiles,
                copySeconds, big.peakBytes / (1 << 20), columns / (1 << 20), budget / (1 << 20));
    // The large run is held to the same ratio as the small one.
    std::snprintf(line, sizeof line, "RESULT run_big_seconds %.2f s target <= %.2f", big.seconds, 3 * copySeconds);
    results.push_back(line);
    std::snprintf(line, sizeof line, "RESULT run_big_peak_over_budget %.3f x target <= 1", big.peakBytes / budget);
    results.push_back(line);
  }

  dbc::WriteSyntheticPlate(input, Plate(1'000'000));
  Time copyBest;
  RunTimes best;
  for (int i = 0; i < reps; ++i) {
    double cpu = 0;
    const double wall = CopyBytes(input, copy, &cpu);
    copyBest.Take(wall, cpu);
    std::filesystem::remove(copy);
    RunPlate(input, out, best);
    std::filesystem::remove_all(out);
  }
  std::filesystem::remove_all(dir);

  std::printf("1000000 events x %d float32, best of %d (wall, and CPU of all threads)\n", kParams, reps);
  auto row = [](const char* what, const Time& t) { std::printf("  %-28s %.3f s  cpu %.3f s\n", what, t.wall, t.cpu); };
  row("open (read + decode)", best.open);
  row("Load + classification", best.load);
  row("export", best.exportFiles);
  row("  of which the files", best.pass);
  row("whole run", best.total);
  row("copying the file's bytes", copyBest);
  std::printf("  ratio whole run / copy      %.2f (cpu %.2f); %lld events in wells\n", best.total.wall / copyBest.wall,
              best.total.cpu / copyBest.cpu, static_cast<long long>(best.inWells));
  std::snprintf(line, sizeof line, "RESULT run_vs_copy %.2f x target <= 3", best.total.wall / copyBest.wall);
  results.insert(results.begin(), line);
  std::snprintf(line, sizeof line, "RESULT load_classify_1m %.3f s target <= 0.1", best.load.wall);
  results.insert(results.begin() + 1, line);
  for (const std::string& r : results) std::printf("%s\n", r.c_str());
  return 0;
}
