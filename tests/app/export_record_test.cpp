// What an export leaves in its folder: exactly its own outputs (earlier
// ones it did not write again are removed), the run record written last
// that describes them, the question before another input's outputs are
// replaced, the chosen output folder, the "Done" message, and the checks
// of `verify` against every kind of tampering.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "app/debarcoder.h"
#include "app/fake_view.h"
#include "app/output_folder.h"
#include "app/plate.h"
#include "app/run_record.h"
#include "app/sha256.h"
#include "app/synthetic_plate.h"
#include "app/temp_dir.h"
#include "app/verify_folder.h"
#include "app/workspace.h"
#include "fcs/dataset.h"
#include "support/expect_error.h"
#include "util/errors.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;
using testing_support::FakeView;
using testing_support::FilesBelow;
using testing_support::ReadFile;
using testing_support::TempDir;

class ExportRecord : public testing::Test {
 protected:
  static void SetUpTestSuite() { BuildPlateTables(); }
  void SetUp() override { ws.FormCreate(); }

  std::string Plate(const std::string& name, std::uint64_t seed, std::int64_t events = 3000) {
    SyntheticPlateOptions o;
    o.events = events;
    o.params = 10;
    o.seed = seed;
    WriteSyntheticPlate(dir / name, o);
    return dir / name;
  }
  bool Open(const std::string& path) {
    view.dialogAnswer = path;
    return ws.OpenBtnClick();
  }
  void SetAllThresholds(double t) {
    for (int bit = 1; bit <= 7; ++bit) {
      view.bit = bit;
      ws.BitnumChange();
      view.cursor = t;
      ws.ChartCursorChange();
    }
  }
  // The folder's files without the record and the report.
  std::set<std::string> Outputs(const std::string& folder) {
    std::set<std::string> f = FilesBelow(folder);
    f.erase(kRunRecordName);
    f.erase(kReportName);
    return f;
  }

  TempDir dir;
  FakeView view;
  Workspace ws{view};
};

TEST_F(ExportRecord, TheRecordDescribesTheRunAndItsFiles) {
  const std::string input = Plate("plate.fcs", 3);
  ASSERT_TRUE(Open(input));
  ASSERT_TRUE(ws.LoadClick());
  view.bit = 2;
  ws.BitnumChange();
  view.cursor = 1.2345678901234567;
  ws.ChartCursorChange();
  view.includeBarcode = true;
  ASSERT_TRUE(ws.ExportBtnClick()) << view.messages.back();

  const RunRecord r = ReadRunRecord(ws.dir());
  const Debarcoder& e = ws.engine();
  EXPECT_EQ(r.program, "debarcode");
  EXPECT_EQ(r.version, ProgramVersion());
  EXPECT_EQ(r.date.size(), 20u);
  EXPECT_EQ(r.input.path, fs::absolute(input).lexically_normal().string());
  const FileDigest in = DigestFile(input);
  EXPECT_EQ(r.input.bytes, in.bytes);
  EXPECT_EQ(r.input.sha256, in.sha256);
  EXPECT_EQ(r.input.eventsAnnounced, 3000);
  EXPECT_EQ(r.input.eventsRead, 3000);
  const std::vector<std::string> names = e.ParameterNames();
  for (int bit = 1; bit <= 7; ++bit) {
    const RecordedBit& b = r.bits[static_cast<std::size_t>(bit - 1)];
    EXPECT_EQ(b.index, e.BitParameter(bit));
    EXPECT_EQ(b.parameter, names[static_cast<std::size_t>(b.index)]);
    EXPECT_EQ(b.guessed, e.GuessedThreshold(bit));
    EXPECT_EQ(b.threshold, e.Threshold(bit));
  }
  EXPECT_EQ(r.bits[1].threshold, 1.2345678901234567);
  EXPECT_EQ(r.guess, "specification");
  EXPECT_EQ(r.margin, 0.0);
  EXPECT_TRUE(r.includeBarcode);

  // The counts are the engine's; the trash per code covers the 32 codes
  // that are no well.
  const PlateCounts& c = e.Counts();
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 12; ++col) EXPECT_EQ(r.wells[row][col], c.wells[row][col]);
  EXPECT_EQ(r.trash, c.trash);
  ASSERT_EQ(r.trashByCode.size(), 32u);
  for (const RecordedTrashCode& t : r.trashByCode) {
    EXPECT_LT(code2well[t.code].col, 0);
    EXPECT_EQ(t.events, c.perCode[static_cast<std::size_t>(t.code)]);
  }

  // Every output of the folder, with its events, size and digest.
  std::set<std::string> listed;
  std::int64_t events = 0;
  for (const RecordedOutput& o : r.outputs) {
    listed.insert(o.name);
    const FileDigest d = DigestFile(ws.dir() + "/" + o.name);
    EXPECT_EQ(o.bytes, d.bytes) << o.name;
    EXPECT_EQ(o.sha256, d.sha256) << o.name;
    events += o.events;
  }
  EXPECT_EQ(listed, Outputs(ws.dir()));
  EXPECT_EQ(events, 3000);
  EXPECT_EQ(r.outputs.front().name, "trash/trash.fcs");
  EXPECT_EQ(r.outputs.front().events, c.trash);

  // "Done", where the files went, and the events in wells and trash.
  int wells = 0;
  for (const auto& row : c.wells)
    for (std::int64_t n : row) wells += n > 0;
  EXPECT_EQ(view.messages.back(), "Done\nThe files are in " + ws.dir() + "\n" + std::to_string(c.InWells()) +
                                      " events went to " + std::to_string(wells) + " wells, " +
                                      std::to_string(c.trash) + " to the trash");

  const FolderCheck check = VerifyOutputFolder(ws.dir());
  EXPECT_EQ(check.differences, std::vector<std::string>{});
  EXPECT_EQ(check.notes, std::vector<std::string>{});
  EXPECT_EQ(check.events, 3000);
  EXPECT_EQ(check.outputs, r.outputs.size());
}

TEST_F(ExportRecord, ASecondExportLeavesOnlyItsOwnOutputs) {
  ASSERT_TRUE(Open(Plate("plate.fcs", 4)));
  ASSERT_TRUE(ws.LoadClick());
  ASSERT_TRUE(ws.ExportBtnClick());
  EXPECT_GT(Outputs(ws.dir()).size(), 60u);
  std::ofstream(ws.dir() + "/notes.txt") << "mine";
  std::ofstream(ws.dir() + "/trash/ambiguous.fcs") << "an earlier run's";

  // Every threshold above every event: each event's code is 0, the trash.
  SetAllThresholds(std::numeric_limits<double>::infinity());
  ASSERT_TRUE(ws.ExportBtnClick());
  EXPECT_EQ(FilesBelow(ws.dir()), (std::set<std::string>{"trash/trash.fcs", "notes.txt", kRunRecordName, kReportName}));
  EXPECT_EQ(ReadRunRecord(ws.dir()).trash, 3000);
  EXPECT_EQ(view.messages.back(), "Done\nThe files are in " + ws.dir() + "\n0 events went to 0 wells, 3000 to the trash");
  EXPECT_TRUE(VerifyOutputFolder(ws.dir()).differences.empty());
  EXPECT_TRUE(view.questions.empty()) << "the same input asks nothing";
}

TEST_F(ExportRecord, AnotherInputsFolderIsReplacedOnlyWhenTheUserSaysSo) {
  const std::string b08 = Plate("0877408774.B08", 5);
  const std::string e07 = Plate("0877408774.E07", 6);
  ASSERT_TRUE(Open(b08));
  ASSERT_TRUE(ws.LoadClick());
  ASSERT_TRUE(ws.ExportBtnClick());
  const std::string folder = dir / "0877408774";
  ASSERT_EQ(ws.dir(), folder);
  const std::string record = ReadFile(folder + "/" + kRunRecordName);
  const std::set<std::string> files = FilesBelow(folder);

  ASSERT_TRUE(Open(e07));
  ASSERT_EQ(ws.dir(), folder);
  ASSERT_TRUE(ws.LoadClick());
  view.messages.clear();
  view.answerYes = false;
  EXPECT_FALSE(ws.ExportBtnClick());
  const std::string question = "The folder \"" + folder + "\" holds the outputs of another input, \"" +
                               fs::absolute(b08).lexically_normal().string() + "\". Replace them?";
  EXPECT_EQ(view.questions, std::vector<std::string>{question});
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(FilesBelow(folder), files);
  EXPECT_EQ(ReadFile(folder + "/" + kRunRecordName), record);

  view.answerYes = true;
  EXPECT_TRUE(ws.ExportBtnClick());
  EXPECT_EQ(view.questions.size(), 2u);
  EXPECT_EQ(ReadRunRecord(folder).input.sha256, DigestFile(e07).sha256);
  EXPECT_TRUE(VerifyOutputFolder(folder).differences.empty());

  // A record that cannot be read is asked about too.
  std::ofstream(folder + "/" + kRunRecordName) << "garbage";
  view.answerYes = false;
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.questions.back(), "The folder \"" + folder + "\" holds a run record that cannot be read (" + folder +
                                       "/" + kRunRecordName + ": Not a run record: the text is no JSON). Replace them?");
}

TEST_F(ExportRecord, TheUserChoosesTheOutputFolder) {
  view.folderAnswer = dir / "chosen";
  EXPECT_FALSE(ws.FolderBtnClick());
  EXPECT_EQ(view.messages, std::vector<std::string>{"No file is open"});
  EXPECT_EQ(view.shownPath, "");
  EXPECT_EQ(view.shownDir, "");

  const std::string input = Plate("plate.fcs", 7);
  ASSERT_TRUE(Open(input));
  EXPECT_EQ(view.shownPath, input);
  EXPECT_EQ(view.shownDir, dir / "plate");
  EXPECT_TRUE(ws.FolderBtnClick());
  EXPECT_EQ(view.folderDialogStart, dir / "plate");
  EXPECT_EQ(ws.dir(), dir / "chosen");
  EXPECT_EQ(view.shownDir, dir / "chosen");
  ASSERT_TRUE(ws.LoadClick());
  ASSERT_TRUE(ws.ExportBtnClick());
  EXPECT_TRUE(fs::exists(dir / "chosen/trash/trash.fcs"));
  EXPECT_FALSE(fs::exists(dir / "plate"));

  // Cancelled: the folder stays.
  view.folderAnswer.reset();
  EXPECT_FALSE(ws.FolderBtnClick());
  EXPECT_EQ(ws.dir(), dir / "chosen");
  // Open sets the default again; a refused file shows no file and no folder.
  ASSERT_TRUE(Open(input));
  EXPECT_EQ(ws.dir(), dir / "plate");
  std::ofstream(dir / "junk.fcs") << std::string(300, 'x');
  EXPECT_FALSE(Open(dir / "junk.fcs"));
  EXPECT_EQ(view.shownPath, "");
  EXPECT_EQ(view.shownDir, "");
}

TEST_F(ExportRecord, AFolderThatCannotBeMadeIsReportedWithItsReason) {
  ASSERT_TRUE(Open(Plate("plate.fcs", 8)));
  ASSERT_TRUE(ws.LoadClick());
  std::ofstream(dir / "file") << "x";
  const struct {
    std::string folder, reason;
  } cases[] = {{dir / "missing/out", "No such file or directory"}, {dir / "file/out", "Not a directory"}};
  for (const auto& c : cases) {
    view.folderAnswer = c.folder;
    ASSERT_TRUE(ws.FolderBtnClick());
    view.messages.clear();
    EXPECT_FALSE(ws.ExportBtnClick());
    EXPECT_EQ(view.messages, std::vector<std::string>{"Cannot create folder \"" + c.folder + "\". " + c.reason});
  }
}

TEST_F(ExportRecord, AnInputChangedSinceOpenIsNotRecorded) {
  const std::string input = Plate("plate.fcs", 9);
  ASSERT_TRUE(Open(input));
  ASSERT_TRUE(ws.LoadClick());
  std::ofstream(input, std::ios::app) << "more";
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.messages.back(), "The file \"" + input + "\" has changed since it was opened; open it again");
  EXPECT_FALSE(fs::exists(ws.dir()));
}

TEST_F(ExportRecord, AFailedExportKeepsTheEarlierRecord) {
  ASSERT_TRUE(Open(Plate("plate.fcs", 10)));
  ASSERT_TRUE(ws.LoadClick());
  ASSERT_TRUE(ws.ExportBtnClick());
  const std::string record = ReadFile(ws.dir() + "/" + kRunRecordName);
  // A folder where the trash file goes: nothing is written, nothing removed.
  const std::set<std::string> before = FilesBelow(ws.dir());
  fs::remove(ws.dir() + "/trash/trash.fcs");
  fs::create_directory(ws.dir() + "/trash/trash.fcs");
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(ReadFile(ws.dir() + "/" + kRunRecordName), record);
  std::set<std::string> now = FilesBelow(ws.dir());
  now.insert("trash/trash.fcs");
  EXPECT_EQ(now, before);
  EXPECT_FALSE(VerifyOutputFolder(ws.dir()).differences.empty());
}

// verify: each kind of tampering, on a fresh export each time.
TEST_F(ExportRecord, VerifyFindsEveryDifference) {
  const std::string input = Plate("plate.fcs", 12);
  Debarcoder engine;
  engine.Open(input);
  engine.ProposeBits();
  engine.Load();
  const std::string out = dir / "out";
  auto fresh = [&] {
    fs::remove_all(out);
    engine.Export(out, false);
    return engine.LastRecord();
  };
  const RunRecord r = fresh();
  const RecordedOutput& a = r.outputs[1];  // the first well file
  const std::string well = a.name;

  using Edit = std::function<void()>;
  auto editRecord = [&](const std::string& from, const std::string& to) {
    std::string t = ReadFile(out + "/" + kRunRecordName);
    const auto at = t.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    std::ofstream(out + "/" + kRunRecordName, std::ios::trunc) << t.replace(at, from.size(), to);
  };
  const std::string inputCopy = ReadFile(input);
  const struct {
    const char* what;
    Edit edit;
    std::vector<std::string> differences;
  } cases[] = {
      {"nothing", [] {}, {}},
      {"a well file removed",
       [&] { fs::remove(out + "/" + well); },
       {well + ": missing", "the outputs hold " + std::to_string(3000 - a.events) + " events, the input 3000"}},
      {"a byte of a value changed in place",
       [&] {
         std::fstream f(out + "/" + well, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(static_cast<std::streamoff>(a.bytes - 12));
         f.put('\x7f');
       },
       {well + ": SHA-256 " + Sha256Hex(ReadFile(out + "/" + well).replace(a.bytes - 12, 1, "\x7f")) +
        ", the record says " + a.sha256}},
      {"files of other names",
       [&] {
         fs::copy_file(out + "/" + well, out + "/Well_H13.fcs");
         fs::copy_file(out + "/" + well, out + "/Well_A01x.fcs");
         std::ofstream(out + "/notes.txt") << "mine";
       },
       {}},
      {"a trash file not in the record",
       [&] { fs::copy_file(out + "/trash/trash.fcs", out + "/trash/ambiguous.fcs"); },
       {"trash/ambiguous.fcs: not in the record"}},
      {"a count changed in the record",
       [&] { editRecord("\"trash\": " + std::to_string(r.trash), "\"trash\": " + std::to_string(r.trash + 1)); },
       {"trash: " + std::to_string(r.trash + 1) + " events counted, " + std::to_string(r.trash) +
            " in trash/trash.fcs",
        "trash: " + std::to_string(r.trash + 1) + " events, " + std::to_string(r.trash) + " counted per code"}},
      {"the input changed",
       [&] { std::ofstream(input, std::ios::app) << "x"; },
       {"input " + r.input.path + ": SHA-256 " + Sha256Hex(inputCopy + "x") + " (" +
        std::to_string(inputCopy.size() + 1) + " bytes), the record says " + r.input.sha256 + " (" +
        std::to_string(inputCopy.size()) + " bytes)"}},
      {"no record", [&] { fs::remove(out + "/" + kRunRecordName); },
       {"Cannot read file \"" + out + "/" + kRunRecordName + "\". No such file or directory"}},
  };
  for (const auto& c : cases) {
    fresh();
    c.edit();
    EXPECT_EQ(VerifyOutputFolder(out).differences, c.differences) << c.what;
    std::ofstream(input, std::ios::trunc | std::ios::binary) << inputCopy;
  }

  // An input no longer where the record says is a note, not a difference.
  fresh();
  fs::rename(input, dir / "moved.fcs");
  const FolderCheck moved = VerifyOutputFolder(out);
  EXPECT_TRUE(moved.differences.empty());
  EXPECT_EQ(moved.notes, std::vector<std::string>{"the input is no longer at " + r.input.path + ": not checked"});
}

}  // namespace
}  // namespace dbc
