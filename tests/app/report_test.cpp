// The report: it holds the numbers of the run record, draws the seven
// histograms from the loaded bits, is self-contained, escapes what files
// name, and `report DIR` rebuilds it from the folder (the same page while
// the input is where the record says; a note without it).
#include "app/report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/debarcoder.h"
#include "app/plate.h"
#include "app/run_record.h"
#include "app/synthetic_plate.h"
#include "app/temp_dir.h"
#include "support/expect_error.h"
#include "util/errors.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::string Fixed4(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  return buf;
}

class Report : public testing::Test {
 protected:
  static void SetUpTestSuite() { BuildPlateTables(); }
  void SetUp() override {
    SyntheticPlateOptions o;
    o.events = 6000;
    o.params = 10;
    o.seed = 17;
    WriteSyntheticPlate(input, o);
    engine.Open(input);
    engine.ProposeBits();
    engine.Load();
    engine.SetThreshold(3, 1.75);
    engine.Export(out, false);
  }
  TempDir dir;
  const std::string input = dir / "plate.fcs";
  const std::string out = dir / "plate";
  Debarcoder engine;
};

TEST_F(Report, HoldsTheNumbersOfTheRecord) {
  const std::string html = ReadFile(out + "/" + kReportName);
  const RunRecord r = ReadRunRecord(out);
  ASSERT_FALSE(html.empty());
  for (const std::string& s : {r.input.path, r.input.sha256, r.date, r.version, r.guess,
                               GroupedCount(static_cast<std::int64_t>(r.input.bytes)) + " bytes",
                               GroupedCount(r.input.eventsRead) + " read", "<b>" + GroupedCount(r.trash) + "</b>"})
    EXPECT_NE(html.find(s), std::string::npos) << s;
  // Each bit: its parameter, both thresholds, the share at or above.
  for (int bit = 1; bit <= 7; ++bit) {
    const RecordedBit& b = r.bits[static_cast<std::size_t>(bit - 1)];
    ASSERT_GE(b.above, 0);
    EXPECT_EQ(b.above, engine.EventsAbove(bit));
    char share[32];
    std::snprintf(share, sizeof share, "%.2f %%", 100.0 * static_cast<double>(b.above) / 6000.0);
    const std::string line = "Guessed threshold " + Fixed4(b.guessed) + " (dashed), used <b>" + Fixed4(b.threshold) +
                             "</b> (solid); at or above it: <b>" + share + "</b> of the events";
    EXPECT_NE(html.find("<h3>Bit " + std::to_string(bit) + ": " + b.parameter + " (parameter " +
                        std::to_string(b.index + 1) + ")</h3>"),
              std::string::npos)
        << bit;
    EXPECT_NE(html.find(line), std::string::npos) << line;
  }
  EXPECT_NE(html.find("used <b>1.7500</b>"), std::string::npos);
  // Every well: the heat map's count and the table's row.
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 12; ++col) {
      const std::int64_t n = r.wells[row][col];
      const std::string name = WellName(row, col);
      EXPECT_NE(html.find("<title>" + name + ": " + GroupedCount(n) + "</title>"), std::string::npos) << name;
      EXPECT_NE(html.find("<tr><td>" + name + "</td><td>" + GroupedCount(n) + "</td>"), std::string::npos) << name;
      if (n > 0) {
        EXPECT_NE(html.find("<td>Well_" + name + ".fcs</td>"), std::string::npos) << name;
      }
    }
  // The trash per code, with the code's bits.
  for (const RecordedTrashCode& t : r.trashByCode) {
    std::string bits;
    for (int b = 6; b >= 0; --b) bits += (t.code >> b) & 1 ? '1' : '0';
    EXPECT_NE(html.find("<tr><td>" + std::to_string(t.code) + "</td><td class=\"mono\">" + bits + "</td><td>" +
                        GroupedCount(t.events) + "</td></tr>"),
              std::string::npos)
        << t.code;
  }
  // Seven histograms with their rulers; one plate; two pages.
  EXPECT_EQ(Occurrences(html, "fill=\"#3b6fb6\""), 7u);
  EXPECT_EQ(Occurrences(html, "<svg class=\"plate\""), 1u);
  EXPECT_EQ(Occurrences(html, "<section class=\"page\">"), 2u);
  EXPECT_GE(Occurrences(html, "10<tspan"), 7u);
}

TEST_F(Report, IsSelfContained) {
  const std::string html = ReadFile(out + "/" + kReportName);
  for (const char* banned : {"<script", "<link", "<img", "<iframe", "src=", "href=", "url(", "@import", "https:"})
    EXPECT_EQ(html.find(banned), std::string::npos) << banned;
  // The only address is the SVG namespace, which is never fetched.
  EXPECT_EQ(Occurrences(html, "http://"), Occurrences(html, "xmlns=\"http://www.w3.org/2000/svg\""));
}

TEST_F(Report, EscapesWhatFilesName) {
  ReportData d = engine.Report(engine.LastRecord());
  d.record.bits[0].parameter = "CD<3>&\"x'";
  d.record.input.path = "/data/a&b<c>.fcs";
  const std::string html = ReportHtml(d);
  EXPECT_NE(html.find("CD&lt;3&gt;&amp;&quot;x&#39;"), std::string::npos);
  EXPECT_NE(html.find("<title>Debarcoding report: a&amp;b&lt;c&gt;.fcs</title>"), std::string::npos);
  EXPECT_EQ(html.find("<3>"), std::string::npos);
}

TEST_F(Report, IsRebuiltFromTheFolder) {
  const std::string exported = ReadFile(out + "/" + kReportName);
  fs::remove(out + "/" + kReportName);
  const ReportData again = ReportFromFolder(out);
  EXPECT_EQ(again.histogramNote, "");
  EXPECT_TRUE(ReportHtml(again) == exported) << "the same page while the input is there";

  // Without the input: everything but the histograms, and why.
  fs::rename(input, dir / "elsewhere.fcs");
  const ReportData bare = ReportFromFolder(out);
  EXPECT_EQ(bare.histogramNote, "The input is no longer at " + input + ": the histograms cannot be drawn.");
  const std::string html = ReportHtml(bare);
  EXPECT_EQ(Occurrences(html, "fill=\"#3b6fb6\""), 0u);
  EXPECT_EQ(Occurrences(html, ">no histogram</text>"), 7u);
  EXPECT_NE(html.find(bare.histogramNote), std::string::npos);
  EXPECT_NE(html.find(ReadRunRecord(out).input.sha256), std::string::npos);

  // Another file at the input's path.
  std::ofstream(input) << "not the plate";
  EXPECT_EQ(ReportFromFolder(out).histogramNote,
            "The file at " + input + " is no longer the input of this run (another SHA-256): the histograms cannot be "
            "drawn.");

  fs::remove(out + "/" + kRunRecordName);
  EXPECT_THROW_MSG(ReportFromFolder(out), Exception,
                   "Cannot read file \"" + out + "/" + kRunRecordName + "\". No such file or directory");
}

TEST(GroupedCount, ThousandsApart) {
  const struct {
    std::int64_t n;
    const char* text;
  } cases[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {123456, "123,456"}, {1234567, "1,234,567"}, {-1000, "-1,000"}};
  for (const auto& c : cases) EXPECT_EQ(GroupedCount(c.n), c.text);
}

}  // namespace
}  // namespace dbc
