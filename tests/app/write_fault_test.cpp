// Faults while writing: a write that fails raises an error naming the file,
// leaves nothing under the file's name (no partial file, no temporary file
// beside it), and keeps what was there before as it was: files written
// earlier, and a file that already had the name.
//
// The faults come from a byte sink that runs out of room, and from the
// kernel itself: with a file-size limit (RLIMIT_FSIZE, the signal it raises
// ignored) a write past the limit fails with EFBIG on a real file, as a
// full disk fails with ENOSPC.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "app/export.h"
#include "app/plate.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/fcs_write.h"
#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;

// Stores up to `room` bytes of file; a write reaching beyond fails with
// ENOSPC.
class FullSink final : public TByteSink {
 public:
  struct State {
    std::string bytes;
    bool committed = false;
    bool discarded = false;
  };
  FullSink(std::size_t room, State& state) : room_(room), state_(state) {}
  int WriteAt(std::uint64_t offset, const char* data, std::size_t n) noexcept override {
    if (offset + n > room_) return ENOSPC;
    if (state_.bytes.size() < offset + n) state_.bytes.resize(offset + n);
    std::memcpy(state_.bytes.data() + offset, data, n);
    return 0;
  }
  int Commit() noexcept override {
    state_.committed = true;
    return 0;
  }
  void Discard() noexcept override { state_.discarded = true; }

 private:
  std::size_t room_;
  State& state_;
};

// Writes `events` events of two floats; the writer's buffer is the default
// 4 MiB, so large files reach the sink while events are written.
void WriteFile(TFCSWrite& w, int events) {
  w.Text.SetValue("$DATATYPE", "F");
  w.Text.SetValue("$MODE", "L");
  w.Text.SetValue("$PAR", "2");
  w.Text.SetValue("$P1B", "32");
  w.Text.SetValue("$P2B", "32");
  w.BeginData();
  TSingleVector row{1.5f, -2.0f};
  for (int e = 0; e < events; ++e) w.WriteData(row);
  w.EndData(0);
}

struct SinkFault {
  const char* name;
  std::size_t room;
  int events;
};
void PrintTo(const SinkFault& c, std::ostream* os) { *os << c.name; }

class SinkFaultTest : public testing::TestWithParam<SinkFault> {};

TEST_P(SinkFaultTest, RaisesAndDiscardsTheFile) {
  const SinkFault& c = GetParam();
  FullSink::State state;
  {
    TFCSWrite w(std::make_unique<FullSink>(c.room, state), "Well_A01.fcs");
    EXPECT_THROW_MSG(WriteFile(w, c.events), EWriteError,
                     "Cannot write file \"Well_A01.fcs\". No space left on device");
  }
  EXPECT_TRUE(state.discarded);
  EXPECT_FALSE(state.committed);
}

INSTANTIATE_TEST_SUITE_P(
    WriteFault, SinkFaultTest,
    testing::Values(
        // 8 MB of events overflow the 4 MiB buffer while they are written.
        SinkFault{"FullWhileWritingEvents", 1 << 20, 1 << 20},
        // A small file reaches the sink with its header and TEXT at the end.
        SinkFault{"FullAtTheEnd", 100, 10},
        SinkFault{"FullBeforeTheFirstByte", 0, 10}),
    [](const testing::TestParamInfo<SinkFault>& info) { return std::string(info.param.name); });

// Sets a limit to the size of files this process writes, for one scope.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    const rlimit limit{bytes, previous_.rlim_max};
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Names of the files below dir, relative to it.
std::set<std::string> FilesBelow(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) names.insert(fs::relative(e.path(), dir).string());
  return names;
}

TEST(WriteFault, AFileTooLargeForTheDiskLeavesTheFolderAsItWas) {
  test::TempDir dir;
  const std::string earlier = dir.File("earlier.fcs");
  {
    TFCSWrite w(earlier);
    WriteFile(w, 3);
  }
  const std::string earlierBytes = ReadFile(earlier);
  const std::string target = dir.Write("Well_A01.fcs", "the file of an earlier export");
  {
    const FileSizeLimit limit(64 * 1024);
    TFCSWrite w(target, 16 * 1024);
    EXPECT_THROW_MSG(WriteFile(w, 100000), EWriteError,
                     "Cannot write file \"" + target + "\". File too large");
  }
  EXPECT_EQ(FilesBelow(dir.path()), (std::set<std::string>{"Well_A01.fcs", "earlier.fcs"}));
  EXPECT_EQ(ReadFile(target), "the file of an earlier export");
  EXPECT_EQ(ReadFile(earlier), earlierBytes);
  const TFCStream back(earlier, false, true, [](const std::string&) {});
  EXPECT_EQ(back.dataset[0]->GetEventCount(), 3);
}

// The file is complete but cannot take its name: a folder of that name
// appeared while it was written.
TEST(WriteFault, AFileThatCannotTakeItsNameLeavesNothing) {
  test::TempDir dir;
  const std::string target = dir.File("Well_A01.fcs");
  {
    TFCSWrite w(target);
    fs::create_directory(target);
    EXPECT_THROW_MSG(WriteFile(w, 3), EWriteError, "Cannot write file \"" + target + "\". Is a directory");
  }
  EXPECT_TRUE(FilesBelow(dir.path()).empty());
}

// An export writes the trash file and then the wells in plate order; the
// first file that cannot be written stops it. The files completed before
// stay complete and readable, the failing one and those after it leave
// nothing (and an older file under the failing name stays as it was).
TEST(WriteFault, ExportStopsAtTheFirstFileThatCannotBeWritten) {
  BuildPlateTables();
  test::TempDir dir;
  const std::string out = dir.File("pool");
  fs::create_directory(out);

  // Eight parameters, the first seven carrying the bits. Trash, A01 and C01
  // get 10 events each (about 2 KB of file); B01 gets 5000 (160 KB).
  constexpr int kPar = 8;
  const std::uint8_t trash = 0, a01 = well2code[0][0], b01 = well2code[1][0], c01 = well2code[2][0];
  ASSERT_EQ(code2well[trash].col, -1);
  TByteVector codes;
  for (std::uint8_t code : {trash, a01, c01}) codes.insert(codes.end(), 10, code);
  codes.insert(codes.end(), 5000, b01);
  TSingleMatrix data(kPar);
  for (int p = 0; p < kPar; ++p)
    for (std::size_t e = 0; e < codes.size(); ++e) data[static_cast<std::size_t>(p)].push_back(static_cast<float>(e * kPar + p));

  TPreText text;
  text.SetValue("$DATATYPE", "F");
  text.SetValue("$MODE", "L");
  text.SetValue("$PAR", std::to_string(kPar));
  text.SetValue("$TOT", std::to_string(codes.size()));
  for (int n = 1; n <= kPar; ++n) {
    text.SetValue("$P" + std::to_string(n) + "N", "BC" + std::to_string(n));
    text.SetValue("$P" + std::to_string(n) + "B", "32");
  }
  const std::string b01Name = WellFileName(out, 1, 0);
  dir.Write("pool/Well_B01.fcs", "an older B01");

  ExportJob job{&text, &data, codes.size(), &codes, {0, 1, 2, 3, 4, 5, 6}, true, out, "pool.fcs"};
  ExportTuning tuning;
  tuning.bufferBytes = 1 << 20;  // every file reaches the disk when it is completed
  {
    const FileSizeLimit limit(64 * 1024);
    EXPECT_THROW_MSG(ExportPlate(job, tuning), EWriteError,
                     "Cannot write file \"" + b01Name + "\". File too large");
  }
  EXPECT_EQ(FilesBelow(out), (std::set<std::string>{"trash/trash.fcs", "Well_A01.fcs", "Well_B01.fcs"}));
  EXPECT_EQ(ReadFile(b01Name), "an older B01");

  // Small runs on two workers: B01 fails during the pass, before any file
  // is complete, so none is left but the older B01.
  {
    const std::string again = dir.File("again");
    fs::create_directory(again);
    dir.Write("again/Well_B01.fcs", "an older B01");
    ExportJob small = job;
    small.dir = again;
    ExportTuning runs;
    runs.bufferBytes = 4096;
    runs.workers = 2;
    const FileSizeLimit limit(64 * 1024);
    EXPECT_THROW_MSG(ExportPlate(small, runs), EWriteError,
                     "Cannot write file \"" + WellFileName(again, 1, 0) + "\". File too large");
    EXPECT_EQ(FilesBelow(again), (std::set<std::string>{"Well_B01.fcs"}));
    EXPECT_EQ(ReadFile(WellFileName(again, 1, 0)), "an older B01");
  }
  // A file that cannot be created (its name is taken by a folder) stops the
  // export while the workers gather: the creation error is raised and no
  // file is left.
  for (const int workers : {1, 2, 3}) {
    const std::string blocked = dir.File("blocked" + std::to_string(workers));
    fs::create_directories(WellFileName(blocked, 2, 0));
    ExportJob small = job;
    small.dir = blocked;
    ExportTuning runs;
    runs.bufferBytes = 64;
    runs.workers = workers;
    EXPECT_THROW_MSG(ExportPlate(small, runs), EFCreateError,
                     "Cannot create file \"" + WellFileName(blocked, 2, 0) + "\". Is a directory");
    EXPECT_TRUE(FilesBelow(blocked).empty()) << workers;
  }
  for (const auto& [name, first] : {std::pair{TrashFileName(out), 0}, std::pair{WellFileName(out, 0, 0), 10}}) {
    const TFCStream back(name, false, true, [](const std::string&) {});
    const TDataSet& ds = *back.dataset[0];
    ASSERT_EQ(ds.GetEventCount(), 10) << name;
    for (int e = 0; e < 10; ++e)
      for (int p = 0; p < kPar; ++p)
        EXPECT_EQ(ds.data[static_cast<std::size_t>(p)][static_cast<std::size_t>(e)], static_cast<float>((first + e) * kPar + p))
            << name << " event " << e << " parameter " << p;
  }
}

}  // namespace
}  // namespace dbc
