// A synthetic plate from end to end: written, debarcoded as the command
// line does it, and every output read back by our own reader.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <map>

#include "app/debarcoder.h"
#include "app/export.h"
#include "app/fake_view.h"
#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/temp_dir.h"
#include "app/workspace.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "support/expect_error.h"
#include "util/errors.h"

namespace dbc {
namespace {

using testing_support::FakeView;
using testing_support::FilesBelow;
using testing_support::ReadFile;
using testing_support::TempDir;

std::unique_ptr<TFCStream> OpenFile(const std::string& path) {
  return std::make_unique<TFCStream>(path, false, true, [](const std::string& n) {
    ADD_FAILURE() << "notice: " << n;
  });
}

struct PlateCase {
  char datatype;
  bool include;
};

class EndToEnd : public testing::TestWithParam<PlateCase> {
 protected:
  static void SetUpTestSuite() { BuildPlateTables(); }
};

TEST_P(EndToEnd, EveryEventReachesItsFileUnchanged) {
  const auto c = GetParam();
  TempDir dir;
  const std::string input = dir / "plate.fcs";
  SyntheticPlateOptions so;
  so.events = 20000;
  so.params = 14;
  so.seed = 11;
  so.datatype = c.datatype;
  const SyntheticPlateSummary sum = WriteSyntheticPlate(input, so);

  // The command's way: the engine alone.
  std::vector<std::string> messages;
  Debarcoder engine([&](const std::string& m) { messages.push_back(m); });
  engine.Open(input);
  engine.ProposeBits();
  engine.Load();
  const std::string outputDir = engine.DefaultOutputDir();
  EXPECT_EQ(outputDir, dir / "plate");
  engine.Export(outputDir, c.include);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(engine.Events(), so.events);
  const PlateCounts& counts = engine.Counts();

  // The same run in a workspace of our own gives the expected rows.
  FakeView view;
  Workspace ws(view);
  ws.FormCreate();
  view.dialogAnswer = input;
  ASSERT_TRUE(ws.OpenBtnClick());
  ASSERT_TRUE(ws.LoadClick());
  for (int bit = 1; bit <= 7; ++bit) {
    EXPECT_EQ(ws.Threshold(bit), engine.Threshold(bit));
    EXPECT_EQ(engine.BitParameter(bit), sum.barcodeIndex[static_cast<std::size_t>(7 - bit)]);
  }
  EXPECT_TRUE(ws.Codes() == engine.Codes());
  // Outputs are compared with the input as read anew: Load must not have
  // changed a value that an output carries.
  const auto source = OpenFile(input);
  const TDataSet& src = *source->dataset[0];
  const TByteVector& codes = engine.Codes();
  const int P = so.params;
  std::vector<int> keep;
  for (int p = 0; p < P; ++p)
    if (c.include || std::find(sum.barcodeIndex.begin(), sum.barcodeIndex.end(), p) == sum.barcodeIndex.end())
      keep.push_back(p);

  std::map<std::string, std::vector<std::size_t>> eventsOf;
  for (std::size_t e = 0; e < codes.size(); ++e) {
    const TWellPos w = code2well[codes[e]];
    eventsOf[w.col < 0 ? "trash/trash.fcs"
                       : "Well_" + std::string(WellRowLetter(w.row)) + (w.col < 9 ? "0" : "") +
                             std::to_string(w.col + 1) + ".fcs"]
        .push_back(e);
  }
  std::int64_t total = 0, wellEvents = 0, rightWell = 0;
  // The FCS outputs, beside the run record and the report.
  std::set<std::string> files = FilesBelow(outputDir);
  EXPECT_EQ(files.erase(kRunRecordName), 1u);
  EXPECT_EQ(files.erase(kReportName), 1u);
  EXPECT_EQ(files.count("trash/trash.fcs"), 1u);
  for (const std::string& rel : files) {
    const bool trash = rel == "trash/trash.fcs";
    const auto stream = OpenFile(outputDir + "/" + rel);
    ASSERT_EQ(stream->Count(), 1) << rel;
    const TDataSet& out = *stream->dataset[0];
    const TText& t = *out.Text;
    EXPECT_EQ(t.GetValue("$BYTEORD"), "1,2,3,4") << rel;
    EXPECT_EQ(t.GetValue("$DATATYPE"), "F") << rel;
    EXPECT_EQ(t.GetValue("$TOT"), std::to_string(out.GetEventCount())) << rel;
    EXPECT_EQ(t.GetValue("$CYT"), "synthetic plate") << rel;
    const std::vector<int> cols = trash ? [&] {
      std::vector<int> all(static_cast<std::size_t>(P));
      for (int p = 0; p < P; ++p) all[static_cast<std::size_t>(p)] = p;
      return all;
    }() : keep;
    ASSERT_EQ(out.parcount(), static_cast<int>(cols.size())) << rel;
    EXPECT_EQ(t.GetValue("$PAR"), std::to_string(cols.size())) << rel;
    EXPECT_EQ(t.KeyIndex("$SPILLOVER") >= 0, trash || c.include) << rel;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      EXPECT_EQ(out.ParName(static_cast<int>(k)), src.ParName(cols[k])) << rel;
      EXPECT_EQ(t.GetValue("$P" + std::to_string(k + 1) + "B"), "32") << rel;
    }
    // The events of this file, in input order.
    const std::vector<std::size_t>& expected = eventsOf[rel];
    ASSERT_EQ(static_cast<std::size_t>(out.GetEventCount()), expected.size()) << rel;
    for (std::size_t i = 0; i < expected.size(); ++i)
      for (std::size_t k = 0; k < cols.size(); ++k)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(out.data[k][i]),
                  std::bit_cast<std::uint32_t>(src.data[static_cast<std::size_t>(cols[k])][expected[i]]))
            << rel << " event " << i << " parameter " << k;
    total += out.GetEventCount();
    if (!trash) {
      const int row = rel[5] - 'A', col = std::stoi(rel.substr(6, 2)) - 1;
      EXPECT_EQ(counts.wells[row][col], out.GetEventCount()) << rel;
    } else {
      EXPECT_EQ(counts.trash, out.GetEventCount());
    }
  }
  EXPECT_EQ(total, so.events);

  // How many events meant for a well land in it with the guessed thresholds.
  const TSingleVector& truth = src.data[static_cast<std::size_t>(sum.trueCodeIndex)];
  for (std::size_t e = 0; e < codes.size(); ++e) {
    const int intended = static_cast<int>(truth[e]);
    if (code2well[intended].col < 0) continue;
    ++wellEvents;
    rightWell += codes[e] == intended;
  }
  const double share = static_cast<double>(rightWell) / static_cast<double>(wellEvents);
  RecordProperty("right_well_share", std::to_string(share));
  std::printf("datatype %c: %.2f %% of %lld well events land in their TrueCode's well\n",
              c.datatype, 100 * share, static_cast<long long>(wellEvents));
  EXPECT_GT(share, 0.90);

  // Exporting again writes the same files.
  std::map<std::string, std::string> before;
  for (const auto& rel : files) before[rel] = ReadFile(outputDir + "/" + rel);
  view.includeBarcode = c.include;
  ASSERT_TRUE(ws.ExportBtnClick());
  std::set<std::string> again = FilesBelow(outputDir);
  again.erase(kRunRecordName);
  again.erase(kReportName);
  EXPECT_EQ(again, files);
  for (const auto& rel : files) EXPECT_TRUE(ReadFile(outputDir + "/" + rel) == before[rel]) << rel;
}

INSTANTIATE_TEST_SUITE_P(Plates, EndToEnd,
                         testing::Values(PlateCase{'F', false}, PlateCase{'F', true},
                                         PlateCase{'I', false}, PlateCase{'D', false}),
                         [](const auto& info) {
                           return std::string(1, info.param.datatype) +
                                  (info.param.include ? "_with_barcode" : "_without_barcode");
                         });

TEST(SyntheticPlate, SameSeedSameFile) {
  TempDir dir;
  SyntheticPlateOptions o;
  o.events = 3000;
  o.params = 9;
  o.seed = 5;
  WriteSyntheticPlate(dir / "a.fcs", o);
  const std::string first = ReadFile(dir / "a.fcs");
  WriteSyntheticPlate(dir / "a.fcs", o);
  EXPECT_TRUE(ReadFile(dir / "a.fcs") == first);
  o.seed = 6;
  WriteSyntheticPlate(dir / "a.fcs", o);
  EXPECT_FALSE(ReadFile(dir / "a.fcs") == first);
  o.params = 8;
  EXPECT_THROW_MSG(WriteSyntheticPlate(dir / "d.fcs", o), Exception,
                   "The number of parameters must be 9 .. 1000");
}

}  // namespace
}  // namespace dbc
