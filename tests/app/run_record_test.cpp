// The run record on its own: JSON that reads back exactly (thresholds
// bit for bit, infinities and NaN included), the messages for records that
// are not, SHA-256 through libcrypto against published digests, and the
// output folder's housekeeping (which files are the tool's, what an export
// removes, the folder that cannot be made).
#include "app/run_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "app/output_folder.h"
#include "app/sha256.h"
#include "app/temp_dir.h"
#include "support/expect_error.h"
#include "util/errors.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;
using testing_support::FilesBelow;
using testing_support::TempDir;

RunRecord SampleRecord() {
  RunRecord r;
  r.version = "1.2.3";
  r.date = "2024-05-01T12:00:00Z";
  r.input = {"/data/plate \xC3\xA9.fcs", 123456789012, std::string(64, 'a'), 200000, 199999};
  const double thresholds[7] = {0.1,
                                2.0000000000000004,
                                std::numeric_limits<double>::denorm_min(),
                                -1e-300,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                1.0 / 3.0};
  for (std::size_t i = 0; i < 7; ++i)
    r.bits[i] = {"BC" + std::to_string(7 - i) + "-x", static_cast<int>(i) * 2, 1.5 + static_cast<double>(i) / 7,
                 thresholds[i], i == 0 ? -1 : static_cast<std::int64_t>(i) * 1000};
  r.guess = "valley";
  r.margin = 0.05;
  r.includeBarcode = true;
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 12; ++col) r.wells[row][col] = row * 100 + col;
  r.trash = 77;
  r.ambiguous = 5;
  r.trashByCode = {{0, 70}, {127, 7}};
  r.outputs = {{"trash/trash.fcs", 77, 4096, std::string(64, 'b')}, {"Well_A02.fcs", 1, 1024, std::string(64, 'c')}};
  return r;
}

void ExpectSameRecord(const RunRecord& a, const RunRecord& b) {
  EXPECT_EQ(a.program, b.program);
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.date, b.date);
  EXPECT_EQ(a.input.path, b.input.path);
  EXPECT_EQ(a.input.bytes, b.input.bytes);
  EXPECT_EQ(a.input.sha256, b.input.sha256);
  EXPECT_EQ(a.input.eventsAnnounced, b.input.eventsAnnounced);
  EXPECT_EQ(a.input.eventsRead, b.input.eventsRead);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(a.bits[i].parameter, b.bits[i].parameter);
    EXPECT_EQ(a.bits[i].index, b.bits[i].index);
    EXPECT_EQ(a.bits[i].above, b.bits[i].above);
    // Bit for bit: the same double, or both NaN.
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.bits[i].guessed), std::bit_cast<std::uint64_t>(b.bits[i].guessed));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a.bits[i].threshold), std::bit_cast<std::uint64_t>(b.bits[i].threshold))
        << "bit " << i + 1;
  }
  EXPECT_EQ(a.guess, b.guess);
  EXPECT_EQ(a.margin, b.margin);
  EXPECT_EQ(a.includeBarcode, b.includeBarcode);
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 12; ++col) EXPECT_EQ(a.wells[row][col], b.wells[row][col]);
  EXPECT_EQ(a.trash, b.trash);
  EXPECT_EQ(a.ambiguous, b.ambiguous);
  ASSERT_EQ(a.trashByCode.size(), b.trashByCode.size());
  for (std::size_t i = 0; i < a.trashByCode.size(); ++i) {
    EXPECT_EQ(a.trashByCode[i].code, b.trashByCode[i].code);
    EXPECT_EQ(a.trashByCode[i].events, b.trashByCode[i].events);
  }
  ASSERT_EQ(a.outputs.size(), b.outputs.size());
  for (std::size_t i = 0; i < a.outputs.size(); ++i) {
    EXPECT_EQ(a.outputs[i].name, b.outputs[i].name);
    EXPECT_EQ(a.outputs[i].events, b.outputs[i].events);
    EXPECT_EQ(a.outputs[i].bytes, b.outputs[i].bytes);
    EXPECT_EQ(a.outputs[i].sha256, b.outputs[i].sha256);
  }
}

TEST(RunRecord, ReadsBackExactly) {
  const RunRecord r = SampleRecord();
  const std::string text = RunRecordJson(r);
  ExpectSameRecord(ParseRunRecord(text), r);
  EXPECT_NE(text.find("\"threshold\": \"Infinity\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"threshold\": 0.1\n"), std::string::npos) << "shortest form that reads back";
  EXPECT_NE(text.find("\"total\": 34210"), std::string::npos) << "wells 34128 + trash 77 + ambiguous 5";

  RunRecord nan = r;
  nan.bits[2].threshold = std::numeric_limits<double>::quiet_NaN();
  const RunRecord back = ParseRunRecord(RunRecordJson(nan));
  EXPECT_TRUE(std::isnan(back.bits[2].threshold));

  // Written atomically into a folder and read from there.
  TempDir dir;
  WriteRunRecord(dir.str(), r);
  EXPECT_EQ(FilesBelow(dir.str()), std::set<std::string>{kRunRecordName}) << "no temporary file is left";
  ExpectSameRecord(ReadRunRecord(dir.str()), r);
}

TEST(RunRecord, RefusesWhatIsNoRecord) {
  const std::string good = RunRecordJson(SampleRecord());
  auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string t = good;
    const auto at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return t.replace(at, from.size(), to);
  };
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "Not a run record: the text is no JSON"},
      {"{\"format\": \"debarcode-run/1\"", "Not a run record: the text is no JSON"},
      {"[]", "Not a run record: an object was expected holding \"format\""},
      {replaced("debarcode-run/1", "other/9"), "Not a run record: the format is not debarcode-run/1"},
      {replaced("\"program\"", "\"programme\""), "Not a run record: no \"program\""},
      {replaced("\"bytes\": 123456789012", "\"bytes\": -1"), "Not a run record: \"bytes\" is negative"},
      {replaced("\"bytes\": 123456789012", "\"bytes\": 1.5"), "Not a run record: \"bytes\" is not an integer"},
      {replaced("\"threshold\": 0.1", "\"threshold\": \"low\""), "Not a run record: \"threshold\" is not a number"},
      {replaced("\"bit\": 2", "\"bit\": 3"), "Not a run record: the bits are not 1 to 7 in order"},
      {replaced("\"include_barcode\": true", "\"include_barcode\": 1"),
       "Not a run record: \"include_barcode\" is not true or false"},
      {replaced("\"outputs\": [", "\"outputs\": {\"x\": ["), "Not a run record: the text is no JSON"},
      {replaced("\"H12\": 711", "\"H13\": 711"), "Not a run record: no \"H12\""},
  };
  for (const auto& c : cases) EXPECT_THROW_MSG(ParseRunRecord(c.text), Exception, c.message);

  TempDir dir;
  EXPECT_THROW_MSG(ReadRunRecord(dir.str()), Exception,
                   "Cannot read file \"" + dir / kRunRecordName + "\". No such file or directory");
  std::ofstream(dir / kRunRecordName) << "{}";
  EXPECT_THROW_MSG(ReadRunRecord(dir.str()), Exception,
                   dir / kRunRecordName + ": Not a run record: no \"format\"");
}

TEST(Sha256, PublishedDigests) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // A million 'a', read from a file in more than one piece.
  TempDir dir;
  std::ofstream(dir / "a", std::ios::binary) << std::string(1000000, 'a');
  const FileDigest d = DigestFile(dir / "a");
  EXPECT_EQ(d.bytes, 1000000u);
  EXPECT_EQ(d.sha256, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  std::ofstream(dir / "b", std::ios::binary) << std::string((1 << 20) + 3, 'b');
  TSha256 pieces;
  pieces.Update(std::string(1 << 19, 'b'));
  pieces.Update(std::string((1 << 19) + 3, 'b'));
  EXPECT_EQ(DigestFile(dir / "b").sha256, pieces.HexDigest());
  EXPECT_THROW_MSG(DigestFile(dir / "none"), Exception,
                   "Cannot read file \"" + dir / "none" + "\". No such file or directory");
}

TEST(OutputFolder, MakesOneLevelAndSaysWhyNot) {
  TempDir dir;
  std::ofstream(dir / "file") << "x";
  const struct {
    std::string path;
    std::string reason;  // empty: made
  } cases[] = {
      {dir / "out", ""},
      {dir / "out", ""},  // already there
      {dir / "missing/out", "No such file or directory"},
      {dir / "file/out", "Not a directory"},
      {dir / "file", "File exists"},
  };
  for (const auto& c : cases) {
    if (c.reason.empty()) {
      EXPECT_NO_THROW(MakeOutputFolder(c.path));
      EXPECT_TRUE(fs::is_directory(c.path));
    } else {
      EXPECT_THROW_MSG(MakeOutputFolder(c.path), Exception, "Cannot create folder \"" + c.path + "\". " + c.reason);
    }
  }
}

TEST(OutputFolder, RemovesOnlyTheToolsEarlierOutputs) {
  TempDir dir;
  fs::create_directories(dir / "trash");
  fs::create_directories(dir / "Well_C03.fcs");  // a folder, not an output
  for (const char* name : {"Well_A01.fcs", "Well_B02.fcs", "Well_H12.fcs", "trash/trash.fcs", "trash/ambiguous.fcs",
                           "trash/notes.txt", "trash/.trash.fcs.1-0.tmp", "Well_A1.fcs", "Well_I01.fcs",
                           "Well_A13.fcs", "Well_A01.fcs.bak", "well_A02.fcs", "notes.txt", "debarcode-run.json"})
    std::ofstream(dir / name) << "x";
  EXPECT_EQ(ToolOutputsIn(dir.str()),
            (std::vector<std::string>{"Well_A01.fcs", "Well_B02.fcs", "Well_H12.fcs", "trash/ambiguous.fcs",
                                      "trash/trash.fcs"}));
  RemoveStaleOutputs(dir.str(), {"Well_A01.fcs", "trash/trash.fcs"});
  EXPECT_EQ(FilesBelow(dir.str()),
            (std::set<std::string>{"Well_A01.fcs", "trash/trash.fcs", "trash/notes.txt", "trash/.trash.fcs.1-0.tmp",
                                   "Well_A1.fcs", "Well_I01.fcs", "Well_A13.fcs", "Well_A01.fcs.bak",
                                   "well_A02.fcs", "notes.txt", "debarcode-run.json"}));
  EXPECT_TRUE(fs::is_directory(dir / "Well_C03.fcs"));
  EXPECT_EQ(RelativeOutputName(dir.str(), dir / "trash/trash.fcs"), "trash/trash.fcs");
}

}  // namespace
}  // namespace dbc
