// Classification, the keyword texts of the outputs, and the staged export
// against the plain per-well scans.
#include "app/export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "app/plate.h"
#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"

namespace dbc {
namespace {

using testing_support::FilesBelow;
using testing_support::ReadFile;
using testing_support::TempDir;

class ExportTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { BuildPlateTables(); }
};

TPreText SourceText(int par, const std::string& datatype, int bits) {
  TPreText t(false);
  t.SetValue("$BYTEORD", "4,3,2,1");
  t.SetValue("$DATATYPE", datatype);
  t.SetValue("$MODE", "L");
  t.SetValue("$PAR", std::to_string(par));
  t.SetValue("$TOT", "0");
  for (int n = 1; n <= par; ++n) {
    t.SetValue("$P" + std::to_string(n) + "N", "P" + std::to_string(n));
    t.SetValue("$P" + std::to_string(n) + "B", std::to_string(bits));
    t.SetValue("$P" + std::to_string(n) + "R", "1024");
  }
  t.SetValue("$SPILLOVER", "2,P1,P2,1,0,0,1");
  t.SetValue("$FIL", "pool.fcs");
  return t;
}

TEST_F(ExportTest, ClassifyEdgeCases) {
  // Seven parameters, one per bit; thresholds 1..7.
  const BitParams bits{0, 1, 2, 3, 4, 5, 6};
  const BitThresholds t{1, 2, 3, 4, 5, 6, 7};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    std::array<float, 7> v;
    int code;
  };
  const Case cases[] = {
      {{1, 2, 3, 4, 5, 6, 7}, 127},            // equal to every threshold
      {{0, 0, 0, 0, 0, 0, 0}, 0},
      {{1, 0, 0, 0, 0, 0, 0}, 1},              // equal to bit 1 only
      {{nan, 2, 0, 0, 0, 0, 0}, 2},            // NaN clears its bit
      {{0.999999f, 0, 3, 0, 0, 0, 0}, 4},
      {{0, 0, 3, 0, 5, 0, 7}, 84},
  };
  TSingleMatrix data(7);
  for (const auto& c : cases)
    for (int p = 0; p < 7; ++p) data[static_cast<std::size_t>(p)].push_back(c.v[static_cast<std::size_t>(p)]);
  const TByteVector codes = ClassifyEvents(data, std::size(cases), bits, t);
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(codes[i], cases[i].code) << i;
  // The 64-bit threshold is not rounded to 32 bits: 0.1f lies above 0.1.
  TSingleMatrix one(7, TSingleVector{0.1f});
  EXPECT_EQ(ClassifyEvents(one, 1, bits, BitThresholds{0.1, 1, 1, 1, 1, 1, 1})[0], 1);
  EXPECT_EQ(ClassifyEvents(one, 1, bits, BitThresholds{static_cast<double>(0.1f) + 1e-12, 1, 1, 1, 1, 1, 1})[0], 0);
}

TEST_F(ExportTest, AmbiguousBitsLieStrictlyWithinTheMargin) {
  const BitParams bits{0, 1, 2, 3, 4, 5, 6};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    float value;       // of bit 1, threshold 1; the other bits lie far off
    double threshold;
    double margin;
    bool ambiguous;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"at the threshold", 1, 1, 0.25, true},
      {"just inside above", 1.2499f, 1, 0.25, true},
      {"just inside below", 0.7501f, 1, 0.25, true},
      {"on the upper bound", 1.25f, 1, 0.25, false},
      {"on the lower bound", 0.75f, 1, 0.25, false},
      {"no margin, at the threshold", 1, 1, 0, false},
      {"NaN value", nan, 1, 0.25, false},
      {"NaN threshold", 1, std::numeric_limits<double>::quiet_NaN(), 0.25, false},
      {"infinite threshold", 1e30f, inf, 0.25, false},
      {"value below an infinite low threshold", -1e30f, -inf, 0.25, false},
      // The bounds are 64-bit: 0.1f lies 1.49e-9 above 0.1.
      {"64-bit bounds, inside", 0.1f, 0.1, 2e-9, true},
      {"64-bit bounds, outside", 0.1f, 0.1, 1e-9, false},
  };
  for (const Case& c : cases) {
    TSingleMatrix data(7, TSingleVector{100.0f});
    data[0][0] = c.value;
    const BitThresholds t{c.threshold, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(AmbiguousBitsOf(data, 1, bits, t, c.margin)[0], c.ambiguous ? 1 : 0) << c.name;
  }
  // Every bit has its own flag.
  TSingleMatrix data(7, TSingleVector{1.0f, 5.0f});
  EXPECT_EQ(AmbiguousBitsOf(data, 2, bits, BitThresholds{1, 0, 1, 0, 1, 0, 1}, 0.5),
            (TByteVector{0b1010101, 0}));
}

// The plan of an export of `src` (10 parameters, no events).
ExportPlan Plan(const TPreText& src, const BitParams& bits, bool include) {
  static const TSingleMatrix data(10);
  static const TByteVector codes;
  return PlanExport(ExportJob{&src, &data, 0, &codes, bits, include, "/x", "/data/pool.fcs"});
}

TEST_F(ExportTest, WellTextDropsTheBitParameters) {
  const TPreText src = SourceText(10, "F", 32);
  const ExportPlan plan = Plan(src, BitParams{9, 0, 5, 2, 8, 3, 6}, false);
  const TPreText& well = plan.wellText;
  EXPECT_EQ(plan.keep, (TIntVector{1, 4, 7}));
  EXPECT_EQ(well.GetValue("$PAR"), "3");
  EXPECT_EQ(well.GetValue("$P1N"), "P2");
  EXPECT_EQ(well.GetValue("$P2N"), "P5");
  EXPECT_EQ(well.GetValue("$P3N"), "P8");
  EXPECT_EQ(well.KeyIndex("$P4N"), -1);
  // The matrix of P1 and P2, of which P2 remains.
  EXPECT_EQ(well.GetValue("$SPILLOVER"), "1,P2,1");
  EXPECT_EQ(well.GetValue("$BYTEORD"), "1,2,3,4");
  EXPECT_EQ(well.GetValue("$DATATYPE"), "F");
  EXPECT_EQ(well.GetValue("$FIL"), "pool.fcs");
  EXPECT_EQ(well.keys[plan.wellKey], "DEBARCODE_WELL");
  EXPECT_EQ(well.GetValue("DEBARCODE_SOURCE"), "pool.fcs");

  const ExportPlan with = Plan(src, BitParams{9, 0, 5, 2, 8, 3, 6}, true);
  EXPECT_EQ(with.keep.size(), 10u);
  EXPECT_EQ(with.wellText.GetValue("$PAR"), "10");
  EXPECT_EQ(with.wellText.GetValue("$SPILLOVER"), "2,P1,P2,1,0,0,1");

  const TPreText& trash = plan.trashText;
  EXPECT_EQ(trash.GetValue("$PAR"), "10");
  EXPECT_EQ(trash.GetValue("$BYTEORD"), "1,2,3,4");
  EXPECT_EQ(trash.GetValue("$SPILLOVER"), "2,P1,P2,1,0,0,1");
  EXPECT_EQ(trash.GetValue("DEBARCODE_WELL"), "trash");
  EXPECT_EQ(trash.GetValue("DEBARCODE_SOURCE"), "pool.fcs");
}

TEST_F(ExportTest, OutputTextDescribesFloatData) {
  struct Case {
    const char* datatype;
    int bits;
    int odd;  // parameter number given another $PnB, 0 for none
    bool rewritten;
  };
  const Case cases[] = {
      {"F", 32, 0, false}, {"f", 32, 0, false}, {"I", 16, 0, true},
      {"D", 64, 0, true},  {"F", 32, 9, true},  {"A", 8, 0, true},
  };
  for (const auto& c : cases) {
    TPreText src = SourceText(10, c.datatype, c.bits);
    if (c.odd) src.SetValue("$P" + std::to_string(c.odd) + "B", "64");
    const ExportPlan plan = Plan(src, BitParams{0, 1, 2, 3, 4, 5, 6}, false);
    const TPreText& well = plan.wellText;
    const TPreText& trash = plan.trashText;
    EXPECT_EQ(well.GetValue("$DATATYPE"), c.rewritten ? "F" : c.datatype) << c.datatype;
    EXPECT_EQ(trash.GetValue("$DATATYPE"), c.rewritten ? "F" : c.datatype) << c.datatype;
    const std::string kept = c.rewritten ? "32" : std::to_string(c.bits);
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(well.GetValue("$P" + std::to_string(n) + "B"), kept);
    for (int n = 1; n <= 10; ++n) {
      if (n != c.odd) {
        EXPECT_EQ(trash.GetValue("$P" + std::to_string(n) + "B"), kept);
      }
    }
    EXPECT_EQ(trash.GetValue("$P" + std::to_string(c.odd ? c.odd : 1) + "R"), "1024");
  }
}

struct EquivalenceCase {
  const char* name;
  std::size_t events;
  int par;
  BitParams bits;
  bool include;
  ExportTuning tuning;
  std::vector<int> codePool;  // codes drawn from; empty: every code
  int ambiguousPercent = -1;  // share of ambiguous events; -1: no ambiguity given
};

class ExportEquivalence : public ExportTest,
                          public testing::WithParamInterface<EquivalenceCase> {};

TEST_P(ExportEquivalence, StagedExportMatchesPerWellScans) {
  const auto& c = GetParam();
  std::mt19937 rng(12345);
  TSingleMatrix data(static_cast<std::size_t>(c.par));
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), -0.0f,
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::denorm_min(), -1e30f};
  std::uniform_real_distribution<float> value(-100, 5000);
  for (std::size_t p = 0; p < data.size(); ++p)
    for (std::size_t e = 0; e < c.events; ++e) {
      float v = rng() % 50 == 0 ? specials[rng() % 5] : value(rng);
      // The log-amplified parameters (see below) hold mostly whole channel
      // numbers, some beyond their range of 1024.
      if ((p == 1 || p + 1 == data.size()) && rng() % 4 != 0) v = static_cast<float>(rng() % 1100);
      data[p].push_back(v);
    }
  TByteVector codes(c.events);
  for (auto& code : codes)
    code = static_cast<std::uint8_t>(c.codePool.empty() ? rng() % 128
                                                        : c.codePool[rng() % c.codePool.size()]);
  TByteVector ambiguous(c.events);
  for (auto& a : ambiguous)
    a = static_cast<int>(rng() % 100) < c.ambiguousPercent ? static_cast<std::uint8_t>(1 + rng() % 127) : 0;
  // Log-amplified channels: their values are written converted.
  TPreText text = SourceText(c.par, "I", 16);
  text.SetValue("$P2E", "4,1");
  text.SetValue("$P" + std::to_string(c.par) + "E", "3.5,0");
  TempDir fast, plain;
  ExportJob job{&text, &data, c.events, &codes, c.bits, c.include, fast.str(), "pool.fcs"};
  if (c.ambiguousPercent >= 0) job.ambiguous = &ambiguous;
  const ExportResult a = ExportPlate(job, c.tuning);
  job.dir = plain.str();
  const ExportResult b = ExportPlateReference(job);

  ASSERT_EQ(a.files.size(), b.files.size());
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    EXPECT_EQ(a.files[i].substr(fast.str().size()), b.files[i].substr(plain.str().size()));
    EXPECT_TRUE(ReadFile(a.files[i]) == ReadFile(b.files[i])) << a.files[i];
  }
  EXPECT_EQ(FilesBelow(fast.str()), FilesBelow(plain.str()));
  EXPECT_EQ(FilesBelow(fast.str()).size(), a.files.size()) << "stray files";
  EXPECT_EQ(a.trash, b.trash);
  EXPECT_EQ(a.ambiguous, b.ambiguous);
  EXPECT_EQ(a.ambiguous, std::count_if(ambiguous.begin(), ambiguous.end(),
                                       [&](std::uint8_t x) { return job.ambiguous && x != 0; }));
  // The ambiguous file is written only when there are ambiguous events.
  EXPECT_EQ(std::filesystem::exists(AmbiguousFileName(fast.str())), a.ambiguous > 0);
  // Each output names itself (the outputs with every parameter; a well
  // file of a seven-parameter source has none, which no reader takes).
  for (const auto& [file, well] : {std::pair{TrashFileName(fast.str()), "trash"},
                                   std::pair{AmbiguousFileName(fast.str()), "ambiguous"}}) {
    if (!std::filesystem::exists(file)) continue;
    const TFCStream back(file, false, false, [](const std::string&) {});
    EXPECT_EQ(back.dataset[0]->Text->GetValue("DEBARCODE_WELL"), well);
    EXPECT_EQ(back.dataset[0]->Text->GetValue("DEBARCODE_SOURCE"), "pool.fcs");
  }
  std::int64_t total = a.trash + a.ambiguous;
  for (int r = 0; r < 8; ++r)
    for (int col = 0; col < 12; ++col) {
      EXPECT_EQ(a.wells[r][col], b.wells[r][col]);
      total += a.wells[r][col];
    }
  EXPECT_EQ(total, static_cast<std::int64_t>(c.events));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportEquivalence,
    testing::Values(
        EquivalenceCase{"random", 3000, 10, {0, 2, 3, 5, 6, 8, 9}, false, {}, {}},
        EquivalenceCase{"tiny_blocks_and_buffers", 3000, 10, {0, 2, 3, 5, 6, 8, 9}, false, {7, 64}, {}},
        EquivalenceCase{"one_event_blocks", 500, 10, {0, 2, 3, 5, 6, 8, 9}, false, {1, 1}, {}},
        EquivalenceCase{"include_barcode", 2000, 12, {11, 1, 4, 7, 2, 0, 10}, true, {333, 4096}, {}},
        EquivalenceCase{"all_trash", 500, 8, {0, 1, 2, 3, 4, 5, 6}, false, {64, 256}, {0, 127, 85, 1}},
        EquivalenceCase{"one_well", 700, 9, {8, 7, 6, 5, 4, 3, 2}, false, {1000, 64}, {4}},
        EquivalenceCase{"no_trash", 400, 9, {8, 7, 6, 5, 4, 3, 2}, false, {50, 300}, {4, 123, 72}},
        EquivalenceCase{"seven_parameters", 900, 7, {0, 1, 2, 3, 4, 5, 6}, false, {100, 128}, {}},
        EquivalenceCase{"seven_parameters_no_trash", 90, 7, {6, 5, 4, 3, 2, 1, 0}, false, {8, 28}, {4, 5}},
        EquivalenceCase{"one_event", 1, 7, {0, 1, 2, 3, 4, 5, 6}, true, {}, {123}},
        EquivalenceCase{"ambiguous", 3000, 10, {0, 2, 3, 5, 6, 8, 9}, false, {}, {}, 10},
        EquivalenceCase{"ambiguous_tiny_blocks", 3000, 10, {0, 2, 3, 5, 6, 8, 9}, true, {7, 64}, {}, 30},
        EquivalenceCase{"ambiguity_given_none_set", 800, 9, {8, 7, 6, 5, 4, 3, 2}, false, {64, 256}, {}, 0},
        EquivalenceCase{"all_ambiguous", 600, 8, {0, 1, 2, 3, 4, 5, 6}, false, {50, 300}, {}, 100},
        EquivalenceCase{"ambiguous_no_trash", 400, 9, {8, 7, 6, 5, 4, 3, 2}, false, {50, 300}, {4, 123, 72}, 50},
        // The events shared among several workers, each writing its part
        // of every file.
        EquivalenceCase{"two_workers", 5000, 10, {0, 2, 3, 5, 6, 8, 9}, false, {64, 4096, 2}, {}},
        EquivalenceCase{"three_workers_tiny_runs", 3001, 12, {11, 1, 4, 7, 2, 0, 10}, true, {7, 64, 3}, {}},
        EquivalenceCase{"workers_without_trash", 999, 9, {8, 7, 6, 5, 4, 3, 2}, false, {50, 300, 2}, {4, 123, 72}},
        EquivalenceCase{"workers_seven_parameters", 901, 7, {0, 1, 2, 3, 4, 5, 6}, false, {100, 128, 2}, {}},
        EquivalenceCase{"more_workers_than_events", 3, 8, {0, 1, 2, 3, 4, 5, 6}, false, {1, 1, 5}, {}},
        EquivalenceCase{"many_parameters", 700, 300, {299, 0, 150, 7, 8, 9, 100}, false, {512, 8192, 2}, {}},
        EquivalenceCase{"workers_ambiguous", 4001, 10, {0, 2, 3, 5, 6, 8, 9}, true, {32, 512, 2}, {}, 20},
        EquivalenceCase{"workers_all_ambiguous", 700, 8, {0, 1, 2, 3, 4, 5, 6}, false, {16, 256, 3}, {}, 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportTest, NoEventsWritesNothing) {
  TempDir dir;
  const TPreText text = SourceText(7, "F", 32);
  const TSingleMatrix data(7);
  const TByteVector codes;
  ExportJob job{&text, &data, 0, &codes, {0, 1, 2, 3, 4, 5, 6}, false, dir / "out", "pool.fcs"};
  EXPECT_TRUE(ExportPlate(job).files.empty());
  EXPECT_TRUE(ExportPlateReference(job).files.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST_F(ExportTest, FileNames) {
  EXPECT_EQ(WellFileName("/x/run", 2, 6), "/x/run/Well_C07.fcs");
  EXPECT_EQ(WellFileName("/x/run", 7, 11), "/x/run/Well_H12.fcs");
  EXPECT_EQ(WellFileName("/x/run", 0, 0), "/x/run/Well_A01.fcs");
  EXPECT_EQ(TrashFileName("/x/run"), "/x/run/trash/trash.fcs");
  EXPECT_EQ(AmbiguousFileName("/x/run"), "/x/run/trash/ambiguous.fcs");
}

}  // namespace
}  // namespace dbc
