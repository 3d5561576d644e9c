// The workspace driven through a fake window: Open and the proposed bits,
// parameter reassignment, Load, the cursor, Export and their messages.
#include "app/workspace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include "app/fake_view.h"
#include "app/plate.h"
#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "stats/histogram.h"
#include "support/fcs_builder.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;
using testing_support::FakeView;
using testing_support::FilesBelow;
using testing_support::ReadFile;
using testing_support::TempDir;

// A list-mode float file; every parameter two populations around 15 and
// 1500 unless its column is given.
std::string FcsBytes(const std::vector<std::string>& names, int events,
                     const test::Keywords& extra = {}, std::vector<std::vector<float>> columns = {}) {
  std::mt19937 rng(7);
  columns.resize(names.size());
  for (auto& c : columns)
    if (c.empty())
      for (int e = 0; e < events; ++e)
        c.push_back((rng() % 2 ? 1500.0f : 15.0f) * (0.8f + 0.4f * static_cast<float>(rng() % 1000) / 1000));
  test::FcsBuilder b;
  b.Key("$BYTEORD", "1,2,3,4").Key("$DATATYPE", "F").Key("$MODE", "L");
  b.Key("$PAR", std::to_string(names.size())).Key("$TOT", std::to_string(events));
  for (std::size_t p = 0; p < names.size(); ++p) {
    const std::string n = "$P" + std::to_string(p + 1);
    b.Key(n + "N", names[p]).Key(n + "B", "32").Key(n + "R", "262144");
  }
  for (const auto& kv : extra) b.Key(kv.first, kv.second);
  for (int e = 0; e < events; ++e)
    for (const auto& c : columns) b.data += test::F32(c[static_cast<std::size_t>(e)]);
  return b.Build();
}

const std::vector<std::string> kPlate = {"Time", "BC1-a", "BC2-b", "CD3", "BC3-c", "BC4-d",
                                         "BC5-e", "CD4", "BC6-f", "BC7-g"};

class WorkspaceTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { BuildPlateTables(); }
  void SetUp() override { ws.FormCreate(); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  bool Open(const std::string& path) {
    view.dialogAnswer = path;
    return ws.OpenBtnClick();
  }
  void SelectBit(int bit) {
    view.bit = bit;
    ws.BitnumChange();
  }
  void Assign(int bit, int par) {
    SelectBit(bit);
    view.selected = par;
    ws.ParChange();
  }
  std::vector<int> Bits() const {
    std::vector<int> b;
    for (int bit = 1; bit <= 7; ++bit) b.push_back(ws.bit2par(bit));
    return b;
  }

  TempDir dir;
  FakeView view;
  Workspace ws{view};
};

TEST_F(WorkspaceTest, OpenProposesBitsFromNames) {
  const std::string path = Write("plate.fcs", FcsBytes(kPlate, 50));
  EXPECT_TRUE(Open(path));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.items, kPlate);
  // BC1 carries bit 7, ..., BC7 bit 1.
  EXPECT_EQ(Bits(), (std::vector<int>{9, 8, 6, 5, 4, 2, 1}));
  EXPECT_EQ(view.selected, 9) << "bit 1's parameter is shown";
  EXPECT_EQ(ws.dir(), dir / "plate");
  EXPECT_FALSE(fs::exists(ws.dir())) << "the folder is made by Export";
  for (int bit = 1; bit <= 7; ++bit) EXPECT_EQ(ws.Histo(bit), nullptr);
}

TEST_F(WorkspaceTest, ProposalIsAPlainCaseSensitivePrefixTest) {
  struct Case {
    std::vector<std::string> names;
    std::vector<int> bits;
  };
  const Case cases[] = {
      // BC10 comes first and begins with "BC1".
      {{"BC10-x", "BC1-y", "BC2", "BC3", "BC4", "BC5", "BC6", "BC7"}, {7, 6, 5, 4, 3, 2, 0}},
      // Lower case, and "BC1" elsewhere than at the start, are not proposed.
      {{"bc1", "CD-BC1", "BC2", "x", "y", "z", "w"}, {-1, -1, -1, -1, -1, 2, -1}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Open(Write("names.fcs", FcsBytes(c.names, 5))));
    EXPECT_EQ(Bits(), c.bits);
  }
}

TEST_F(WorkspaceTest, FailedOpens) {
  ASSERT_TRUE(Open(Write("first.fcs", FcsBytes(kPlate, 20))));
  const TFCStream* first = ws.fcsfile();
  ASSERT_NE(first, nullptr);

  // Cancelled: everything stays as it was, the loaded thresholds too.
  ASSERT_TRUE(ws.LoadClick());
  const double t3 = ws.Threshold(3);
  view.dialogAnswer.reset();
  EXPECT_FALSE(ws.OpenBtnClick());
  EXPECT_EQ(ws.fcsfile(), first);
  EXPECT_EQ(Bits(), (std::vector<int>{9, 8, 6, 5, 4, 2, 1}));
  EXPECT_EQ(ws.Threshold(3), t3);
  EXPECT_NE(ws.Histo(3), nullptr);
  EXPECT_EQ(view.items, kPlate);

  // A reader error: the message, and no file: the list and chart are empty.
  test::FcsBuilder broken;
  broken.Key("$MODE", "L").Key("$PAR", "1").Key("$TOT", "0");
  EXPECT_FALSE(Open(Write("broken.fcs", broken.Build())));
  EXPECT_EQ(view.messages.back(), "FCS Error: Cannot get mandatory pars");
  EXPECT_FALSE(ws.HasFile());
  EXPECT_EQ(ws.dir(), "");
  EXPECT_TRUE(view.items.empty());
  EXPECT_TRUE(view.points.empty());
  EXPECT_EQ(Bits(), std::vector<int>(7, -1));

  // Six parameters: refused, no file, no folder.
  ASSERT_TRUE(Open(dir / "first.fcs"));
  EXPECT_FALSE(Open(Write("six.fcs", FcsBytes({"a", "b", "c", "d", "e", "f"}, 3))));
  EXPECT_EQ(view.messages.back(), "Not enough parameters");
  EXPECT_FALSE(ws.HasFile());
  EXPECT_TRUE(view.items.empty());
  EXPECT_FALSE(fs::exists(dir / "six"));
  view.messages.clear();
  EXPECT_FALSE(ws.LoadClick());
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.messages, (std::vector<std::string>{"No file is open", "No file is open"}));

  // Not an FCS file: the library's notice only.
  view.messages.clear();
  const std::string junk = Write("junk.fcs", std::string(300, 'x'));
  EXPECT_FALSE(Open(junk));
  EXPECT_EQ(view.messages, std::vector<std::string>{"File " + junk + " does not look like FCS file!"});
  EXPECT_FALSE(ws.HasFile());

  // Seven parameters open.
  EXPECT_TRUE(Open(Write("seven.fcs", FcsBytes({"a", "b", "c", "d", "e", "f", "g"}, 3))));

  // No extension: the folder would be the file itself; no error at Open.
  view.messages.clear();
  const std::string bare = Write("bare", FcsBytes(kPlate, 3));
  EXPECT_TRUE(Open(bare));
  EXPECT_EQ(ws.dir(), bare);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(WorkspaceTest, ReassigningABitsParameterUnassignsItsOldBit) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 200))));
  // Bit 3 holds parameter 6 (BC5); give it to bit 5.
  ASSERT_EQ(ws.bit2par(3), 6);
  Assign(5, 6);
  EXPECT_EQ(ws.bit2par(5), 6);
  EXPECT_EQ(ws.bit2par(3), -1);
  const std::vector<float> before(ws.DataSet()->data[6].begin(), ws.DataSet()->data[6].end());
  EXPECT_FALSE(ws.LoadClick());
  EXPECT_EQ(view.messages.back(), "Bit 3 is not defined");
  EXPECT_EQ(std::vector<float>(ws.DataSet()->data[6].begin(), ws.DataSet()->data[6].end()), before);
  for (int bit = 1; bit <= 7; ++bit) {
    EXPECT_EQ(ws.Histo(bit), nullptr);
    EXPECT_EQ(ws.Threshold(bit), 0.0);
  }
  // Export refuses the same way and writes nothing.
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.messages.back(), "Bit 3 is not defined");
  EXPECT_FALSE(fs::exists(ws.dir()));
  // Clearing the selection unassigns the current bit.
  Assign(2, -1);
  EXPECT_EQ(ws.bit2par(2), -1);
}

TEST_F(WorkspaceTest, LoadGuessesThresholdsOnceTransformed) {
  // Parameter 4 (BC3-c) is declared logarithmic by the file: used as loaded.
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 2000, {{"$P5DISPLAY", "LOG"}}))));
  const TDataSet* ds = ws.DataSet();
  const std::vector<float> raw4(ds->data[4].begin(), ds->data[4].end());
  const std::vector<float> raw9(ds->data[9].begin(), ds->data[9].end());
  SelectBit(2);
  EXPECT_TRUE(ws.LoadClick());
  // Load never changes the file's values; a parameter the file declares
  // logarithmic is used as it is, the others are put on the log scale.
  EXPECT_EQ(std::vector<float>(ds->data[4].begin(), ds->data[4].end()), raw4);
  EXPECT_EQ(std::vector<float>(ds->data[9].begin(), ds->data[9].end()), raw9);
  EXPECT_EQ(std::vector<float>(ws.engine().TransformedColumn(5).begin(), ws.engine().TransformedColumn(5).end()),
            raw4);
  EXPECT_LE(*std::max_element(ws.engine().TransformedColumn(1).begin(), ws.engine().TransformedColumn(1).end()),
            4.0f);
  std::vector<double> guesses;
  for (int bit = 1; bit <= 7; ++bit) {
    ASSERT_NE(ws.Histo(bit), nullptr);
    EXPECT_EQ(ws.Histo(bit)->Count(), 1024);
    EXPECT_EQ(ws.Threshold(bit), ws.Histo(bit)->GuessThreshold());
    guesses.push_back(ws.Threshold(bit));
  }
  // The chart shows bit 2 with the cursor at its threshold.
  ASSERT_EQ(view.points.size(), 1024u);
  EXPECT_EQ(view.points[5].first, ws.Histo(2)->Xvalue[5]);
  EXPECT_EQ(view.points[5].second, ws.Histo(2)->Yvalue[5]);
  EXPECT_EQ(view.cursor, ws.Threshold(2));
  // Both populations lie on either side of the guess (log scale of 4 decades).
  const TSingleVector& bc7 = ws.engine().TransformedColumn(1);
  EXPECT_LT(*std::min_element(bc7.begin(), bc7.end()), ws.Threshold(1));
  EXPECT_GT(*std::max_element(bc7.begin(), bc7.end()), ws.Threshold(1));

  // The cursor moves the selected bit's threshold.
  view.cursor = 1.25;
  ws.ChartCursorChange();
  EXPECT_EQ(ws.Threshold(2), 1.25);

  // A second Load gives the same columns and brings the guesses back.
  const std::vector<float> logged(bc7.begin(), bc7.end());
  EXPECT_TRUE(ws.LoadClick());
  EXPECT_EQ(std::vector<float>(bc7.begin(), bc7.end()), logged);
  for (int bit = 1; bit <= 7; ++bit) EXPECT_EQ(ws.Threshold(bit), guesses[static_cast<std::size_t>(bit - 1)]);
}

TEST_F(WorkspaceTest, GuessBesideLoadAndTheMarginField) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 2000))));
  view.guess = ThresholdGuess::Valley;
  ASSERT_TRUE(ws.LoadClick());
  EXPECT_EQ(ws.engine().Guess(), ThresholdGuess::Valley);
  for (int bit = 1; bit <= 7; ++bit)
    EXPECT_EQ(ws.Threshold(bit), static_cast<double>(ws.Histo(bit)->ValleyPoint())) << bit;
  EXPECT_EQ(view.cursor, ws.Threshold(1));

  // The margin follows its field live; a margin wide enough to reach both
  // populations sets every event aside.
  EXPECT_EQ(ws.engine().Counts().ambiguous, 0);
  view.margin = 10;
  ws.MarginChange();
  EXPECT_EQ(ws.engine().Margin(), 10);
  EXPECT_EQ(ws.engine().Counts().ambiguous, 2000);
  EXPECT_EQ(ws.engine().Counts().InWells(), 0);
  // The plate follows; the share above the threshold still counts every
  // event on its side.
  EXPECT_EQ(view.plate.ambiguous, 2000);
  const PlateCounts none = CountCodes(ws.Codes());
  std::int64_t above = 0;
  for (std::size_t code = 0; code < 128; ++code)
    if (code & 1) above += none.perCode[code];
  ASSERT_TRUE(view.shareShown);
  EXPECT_DOUBLE_EQ(*view.shareShown, static_cast<double>(above) / 2000);
  view.margin = -1;
  ws.MarginChange();
  EXPECT_EQ(view.messages.back(), "The margin must be a number of decades, 0 or more");
  EXPECT_EQ(ws.engine().Margin(), 10);
  view.margin = 0;
  ws.MarginChange();
  EXPECT_EQ(ws.engine().Counts().ambiguous, 0);
}

TEST_F(WorkspaceTest, CursorAndBitSelectionWithoutHistograms) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 50))));
  SelectBit(4);
  EXPECT_EQ(view.selected, ws.bit2par(4));
  EXPECT_TRUE(view.points.empty()) << "no histogram: the chart is empty";
  view.cursor = 2.5;
  ws.ChartCursorChange();
  EXPECT_EQ(ws.Threshold(4), 2.5);

  // A bit whose parameter changes after Load is loaded again at once and
  // shown; the other bits keep theirs.
  ASSERT_TRUE(ws.LoadClick());
  const std::vector<double> before = {ws.Threshold(1), ws.Threshold(2), ws.Threshold(3)};
  view.cursor = 0.5;
  ws.ChartCursorChange();
  Assign(4, 3);
  ASSERT_NE(ws.Histo(4), nullptr);
  EXPECT_EQ(ws.Threshold(4), ws.Histo(4)->GuessThreshold());
  EXPECT_EQ(ws.Histo(4)->Count(), 1024);
  EXPECT_EQ(view.points.size(), 1024u);
  EXPECT_EQ(view.cursor, ws.Threshold(4));
  EXPECT_EQ((std::vector<double>{ws.Threshold(1), ws.Threshold(2), ws.Threshold(3)}), before);
  EXPECT_FALSE(ws.Codes().empty()) << "the codes follow the new parameter";
}

TEST_F(WorkspaceTest, ExportRefusesBeforeLoadAndWithoutEvents) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 64))));
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.messages.back(), "Press Load before Export: bit 1 has no threshold yet");
  EXPECT_FALSE(fs::exists(ws.dir()));

  ASSERT_TRUE(Open(Write("empty.fcs", FcsBytes(kPlate, 0))));
  view.messages.clear();
  EXPECT_FALSE(ws.LoadClick());
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.messages, (std::vector<std::string>{"The file holds no events", "The file holds no events"}));
  EXPECT_FALSE(fs::exists(ws.dir()));
}

TEST_F(WorkspaceTest, FailedExportReportsAndLeavesNoPartialFile) {
  // Events of two wells (A01 = code 4, A02 = code 5) and the trash.
  const int n = 30;
  std::vector<std::vector<float>> cols(10);
  for (int e = 0; e < n; ++e) {
    const int code = e % 3 == 0 ? 4 : e % 3 == 1 ? 5 : 0;
    for (std::size_t p = 0; p < 10; ++p) cols[p].push_back(static_cast<float>(p));
    // The parameters kPlate's names propose for bits 1..7.
    const int bitPar[7] = {9, 8, 6, 5, 4, 2, 1};
    // Two populations a hundredfold apart, each with some spread.
    const float spread = 1.0f + 0.01f * static_cast<float>(e);
    for (int j = 0; j < 7; ++j)
      cols[static_cast<std::size_t>(bitPar[j])][static_cast<std::size_t>(e)] = ((code >> j) & 1 ? 1000.0f : 10.0f) * spread;
  }
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, n, {}, cols))));
  ASSERT_TRUE(ws.LoadClick());
  // Each bit cut halfway between its off and its on events on the log scale.
  for (int bit = 1; bit <= 7; ++bit) {
    const TSingleVector& v = ws.engine().TransformedColumn(bit);
    float off = -1e30f, on = 1e30f;
    for (int e = 0; e < n; ++e) {
      const int code = e % 3 == 0 ? 4 : e % 3 == 1 ? 5 : 0;
      float& side = (code >> (bit - 1)) & 1 ? on : off;
      side = (code >> (bit - 1)) & 1 ? std::min(side, v[static_cast<std::size_t>(e)])
                                     : std::max(side, v[static_cast<std::size_t>(e)]);
    }
    SelectBit(bit);
    view.cursor = (static_cast<double>(off) + on) / 2.0;  // bits never on: above every event
    ws.ChartCursorChange();
  }
  ASSERT_TRUE(ws.ExportBtnClick());
  EXPECT_EQ(FilesBelow(ws.dir()),
            (std::set<std::string>{"trash/trash.fcs", "Well_A01.fcs", "Well_A02.fcs", "debarcode-run.json", "report.html"}));
  const std::string a01 = ReadFile(ws.dir() + "/Well_A01.fcs");

  // A folder in the place of Well_A02.fcs.
  fs::remove(ws.dir() + "/Well_A02.fcs");
  fs::create_directory(ws.dir() + "/Well_A02.fcs");
  view.messages.clear();
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.messages, std::vector<std::string>{"Cannot create file \"" + ws.dir() +
                                                    "/Well_A02.fcs\". Is a directory"});
  // The first export's record stays: the failed one writes none.
  EXPECT_EQ(FilesBelow(ws.dir()), (std::set<std::string>{"trash/trash.fcs", "Well_A01.fcs", "debarcode-run.json", "report.html"}));
  EXPECT_EQ(ReadFile(ws.dir() + "/Well_A01.fcs"), a01);

  // A read-only output folder (root may write anyway: then there is no case).
  fs::remove(ws.dir() + "/Well_A02.fcs");
  fs::permissions(ws.dir(), fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(ws.dir().c_str(), W_OK) != 0) {
    view.messages.clear();
    EXPECT_FALSE(ws.ExportBtnClick());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              "Cannot create file \"" + ws.dir() + "/Well_A01.fcs\". Permission denied");
    EXPECT_EQ(FilesBelow(ws.dir()), (std::set<std::string>{"trash/trash.fcs", "Well_A01.fcs", "debarcode-run.json", "report.html"}));
  }
  fs::permissions(ws.dir(), fs::perms::owner_all);
}

// The plate, the small histograms, the threshold field, the ruler and the
// title follow the workspace through Open, Load and cursor moves.
TEST_F(WorkspaceTest, WhatTheWindowShowsBesideTheControls) {
  EXPECT_EQ(view.plate.total, 0);
  const std::string path = Write("plate.fcs", FcsBytes(kPlate, 400));
  ASSERT_TRUE(Open(path));
  for (int bit = 1; bit <= 7; ++bit) {
    const auto& strip = view.strips[static_cast<std::size_t>(bit - 1)];
    EXPECT_EQ(strip.parameter, kPlate[static_cast<std::size_t>(ws.bit2par(bit))]);
    EXPECT_TRUE(strip.x.empty());
  }
  EXPECT_EQ(view.plate.total, 0);
  EXPECT_TRUE(view.ruler.empty());
  EXPECT_FALSE(view.shareShown.has_value());

  SelectBit(3);
  ASSERT_TRUE(ws.LoadClick());
  EXPECT_EQ(view.longRuns, std::vector<std::string>{"Load"});
  ASSERT_FALSE(view.progress.empty());
  EXPECT_EQ(view.progress.front().first, "Loading bit 1");
  EXPECT_EQ(view.progress.back().second, 1.0);
  for (int bit = 1; bit <= 7; ++bit) {
    const auto& strip = view.strips[static_cast<std::size_t>(bit - 1)];
    EXPECT_EQ(strip.x, std::vector<double>(ws.Histo(bit)->Xvalue.begin(), ws.Histo(bit)->Xvalue.end()));
    EXPECT_EQ(strip.y, std::vector<double>(ws.Histo(bit)->Yvalue.begin(), ws.Histo(bit)->Yvalue.end()));
    EXPECT_EQ(strip.threshold, ws.Threshold(bit));
  }
  EXPECT_EQ(view.plate.perCode, ws.engine().Counts().perCode);
  EXPECT_EQ(view.plate.total, 400);
  ASSERT_FALSE(view.ruler.empty());
  for (const RulerTick& t : view.ruler) {
    EXPECT_GE(t.x, ws.Histo(3)->Xvalue.front());
    EXPECT_LE(t.x, ws.Histo(3)->Xvalue.back());
  }

  // The share above the threshold, counted straight from bit 3's column.
  auto shareAbove = [&](double t) {
    const TSingleVector& v = ws.engine().TransformedColumn(3);
    return static_cast<double>(std::count_if(v.begin(), v.end(), [t](float x) { return x >= t; })) /
           static_cast<double>(v.size());
  };
  EXPECT_EQ(view.thresholdShown, ws.Threshold(3));
  ASSERT_TRUE(view.shareShown.has_value());
  EXPECT_DOUBLE_EQ(*view.shareShown, shareAbove(ws.Threshold(3)));

  // A cursor move: the plate, bit 3's line and the field follow.
  const int shows = view.plateShows;
  view.cursor = ws.Threshold(3) + 0.8;
  ws.ChartCursorChange();
  EXPECT_GT(view.plateShows, shows);
  EXPECT_EQ(view.plate.perCode, ws.engine().Counts().perCode);
  EXPECT_EQ(view.strips[2].threshold, view.cursor);
  EXPECT_EQ(view.thresholdShown, view.cursor);
  EXPECT_DOUBLE_EQ(*view.shareShown, shareAbove(view.cursor));

  // Giving bit 3's parameter to bit 5 unloads bit 3: its strip empties and
  // the plate is no longer classified.
  Assign(5, ws.bit2par(3));
  EXPECT_TRUE(view.strips[2].x.empty());
  EXPECT_EQ(view.strips[2].parameter, "");
  EXPECT_EQ(view.plate.total, 0);

  // A file that cannot be used leaves nothing of the last one shown.
  EXPECT_FALSE(Open(Write("junk.fcs", std::string(400, 'x'))));
  EXPECT_EQ(view.shownPath, "");
  EXPECT_EQ(view.plate.total, 0);
  for (const auto& strip : view.strips) EXPECT_EQ(strip.parameter, "");
}

TEST_F(WorkspaceTest, TypedThresholds) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 100))));
  SelectBit(2);
  struct Case {
    const char* text;
    std::optional<double> value;  // nothing: refused, the threshold stays
  };
  const Case cases[] = {{"1.5", 1.5}, {" 2.25 ", 2.25}, {"+0.5", 0.5}, {"-1", -1.0}, {"1e0", 1.0},
                        {"", {}},     {"abc", {}},      {"1,5", {}},  {"1.5x", {}}, {"inf", {}},
                        {"nan", {}},  {"--1", {}}};
  for (const auto& c : cases) {
    const double before = ws.Threshold(2);
    view.thresholdShown = -99;
    ws.ThresholdTyped(c.text);
    const double expected = c.value.value_or(before);
    EXPECT_EQ(ws.Threshold(2), expected) << c.text;
    EXPECT_EQ(view.cursor, expected) << c.text;
    EXPECT_EQ(view.thresholdShown, expected) << "the field shows the threshold in force: " << c.text;
  }
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(WorkspaceTest, ArrowKeysStepThroughTheHistogramPoints) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 300))));
  view.cursor = 0.75;
  ws.CursorStep(1);  // before Load: nothing to step through
  EXPECT_EQ(view.cursor, 0.75);
  ASSERT_TRUE(ws.LoadClick());
  SelectBit(4);
  const TVector& xs = ws.Histo(4)->Xvalue;
  const double guess = ws.Threshold(4);
  const auto above = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), guess) - xs.begin());
  ASSERT_GT(above, 1u);
  ASSERT_LT(above + 12, xs.size());
  struct Case {
    int steps;
    double expected;
  };
  // From the guess, which lies between points, then from point to point.
  const Case cases[] = {
      {1, xs[above]},
      {1, xs[above + 1]},
      {-1, xs[above]},
      {10, xs[above + 10]},
      {-10, xs[above]},
      {-1, xs[above - 1]},
      {5000, xs.back()},
      {1, xs.back()},
      {-5000, xs.front()},
  };
  for (const auto& c : cases) {
    ws.CursorStep(c.steps);
    EXPECT_EQ(view.cursor, c.expected) << c.steps;
    EXPECT_EQ(ws.Threshold(4), c.expected);
    EXPECT_EQ(view.plate.perCode, ws.engine().Counts().perCode);
  }
}

TEST_F(WorkspaceTest, CancelledExportEndsQuietlyWithoutFiles) {
  ASSERT_TRUE(Open(Write("plate.fcs", FcsBytes(kPlate, 500))));
  ASSERT_TRUE(ws.LoadClick());
  view.cancelAtStage = "Writing the wells";
  EXPECT_FALSE(ws.ExportBtnClick());
  EXPECT_EQ(view.longRuns.back(), "Export");
  EXPECT_TRUE(view.messages.empty()) << "a stop asked for is no error";
  EXPECT_FALSE(fs::exists(ws.dir()));
  view.cancelAtStage.reset();
  EXPECT_TRUE(ws.ExportBtnClick());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("Done\n", 0), 0u);
  EXPECT_TRUE(fs::exists(ws.dir() + "/trash/trash.fcs"));
  EXPECT_EQ(view.longRuns, (std::vector<std::string>{"Load", "Export", "Export", "Export", "Export"}));
}

// The demo plate button: the plate written into the demo folder, opened
// as Open would, and a word on where it is and where Export writes.
TEST(WorkspaceDemo, DemoPlateOpensLikeAnyFile) {
  TempDir dir;
  FakeView view;
  WorkspaceOptions options;
  options.demoDir = dir / "demo";
  Workspace ws(view, options);
  ws.FormCreate();
  ASSERT_TRUE(ws.DemoPlateClick());
  const std::string path = dir / "demo/demo-plate.fcs";
  EXPECT_EQ(view.longRuns, std::vector<std::string>{"Demo plate"});
  EXPECT_EQ(view.shownPath, path);
  EXPECT_EQ(ws.dir(), dir / "demo/demo-plate");
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_NE(view.messages[0].find(path), std::string::npos);
  EXPECT_NE(view.messages[0].find(ws.dir()), std::string::npos);
  for (int bit = 1; bit <= 7; ++bit) EXPECT_GE(ws.bit2par(bit), 0) << "proposed from the names";

  // A folder that cannot be made: said, and no file open.
  std::ofstream(dir / "file") << "x";
  WorkspaceOptions bad;
  bad.demoDir = dir / "file/demo";
  FakeView view2;
  Workspace ws2(view2, bad);
  ws2.FormCreate();
  EXPECT_FALSE(ws2.DemoPlateClick());
  ASSERT_EQ(view2.messages.size(), 1u);
  EXPECT_EQ(view2.messages[0].rfind("Cannot create folder", 0), 0u);
  EXPECT_FALSE(ws2.HasFile());
}

}  // namespace
}  // namespace dbc
