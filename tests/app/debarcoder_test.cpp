// The debarcoding engine on its own: the live update of codes and counts
// on threshold moves against a classification from scratch, and what Load
// leaves of the file's values.
#include "app/debarcoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <random>
#include <set>

#include "app/export.h"
#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/progress.h"
#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "support/expect_error.h"
#include "support/fcs_builder.h"
#include "util/errors.h"

namespace dbc {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

// Codes and counts of the engine's transformed columns and thresholds,
// computed the plain way.
void ExpectClassifiedFromScratch(const Debarcoder& engine) {
  TSingleMatrix columns;
  BitParams index{};
  for (int bit = 1; bit <= 7; ++bit) {
    columns.push_back(engine.TransformedColumn(bit));
    index[static_cast<std::size_t>(bit - 1)] = bit - 1;
  }
  const TByteVector codes =
      ClassifyEvents(columns, static_cast<std::size_t>(engine.Events()), index, engine.Thresholds());
  ASSERT_TRUE(codes == engine.Codes());
  const PlateCounts fresh = CountCodes(codes);
  const PlateCounts& live = engine.Counts();
  EXPECT_EQ(live.perCode, fresh.perCode);
  EXPECT_EQ(live.trash, fresh.trash);
  EXPECT_EQ(live.total, fresh.total);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 12; ++c) ASSERT_EQ(live.wells[r][c], fresh.wells[r][c]);
}

TEST(Debarcoder, LiveMovesMatchAClassificationFromScratch) {
  TempDir dir;
  SyntheticPlateOptions o;
  o.events = 20000;
  o.params = 10;
  o.seed = 3;
  WriteSyntheticPlate(dir / "plate.fcs", o);
  std::string bytes = ReadFile(dir / "plate.fcs");
  Debarcoder engine;
  engine.OpenBytes(std::move(bytes), "plate.fcs");
  engine.ProposeBits();
  engine.Load();
  ExpectClassifiedFromScratch(engine);
  EXPECT_EQ(engine.Counts().total, o.events);

  std::mt19937 rng(42);
  const double inf = std::numeric_limits<double>::infinity();
  for (int move = 0; move < 300; ++move) {
    const int bit = 1 + static_cast<int>(rng() % 7);
    const TSingleVector& v = engine.TransformedColumn(bit);
    double t = 0;
    switch (rng() % 6) {
      case 0: t = -inf; break;                                          // every event on
      case 1: t = inf; break;                                           // every event off
      case 2: t = v[rng() % v.size()]; break;                           // a value itself: ties
      case 3: t = std::nextafter(static_cast<double>(v[rng() % v.size()]), inf); break;
      case 4: t = engine.GuessedThreshold(bit); break;                  // back to the guess
      default: t = -1.0 + 6.0 * static_cast<double>(rng()) / 4294967295.0; break;
    }
    engine.SetThreshold(bit, t);
    ASSERT_EQ(engine.Threshold(bit), t);
    ExpectClassifiedFromScratch(engine);
  }
  // NaN as a threshold: no event is at or above it.
  engine.SetThreshold(2, std::numeric_limits<double>::quiet_NaN());
  ExpectClassifiedFromScratch(engine);
}

TEST(Debarcoder, NaNValuesStayOffAndLoadKeepsTheFilesValues) {
  // Ten parameters, 200 events; parameter 0 (BC7's bit 1) holds NaN values.
  test::FcsBuilder b;
  const int events = 200, par = 10;
  b.Key("$BYTEORD", "1,2,3,4").Key("$DATATYPE", "F").Key("$MODE", "L");
  b.Key("$PAR", std::to_string(par)).Key("$TOT", std::to_string(events));
  for (int p = 1; p <= par; ++p) {
    const std::string n = "$P" + std::to_string(p);
    b.Key(n + "N", p <= 7 ? "BC" + std::to_string(8 - p) : "X" + std::to_string(p)).Key(n + "B", "32").Key(n + "R", "1024");
  }
  std::mt19937 rng(1);
  std::vector<std::vector<float>> raw(par);
  for (int e = 0; e < events; ++e)
    for (int p = 0; p < par; ++p) {
      float v = (rng() % 2 ? 800.0f : 8.0f) * (1.0f + static_cast<float>(rng() % 100) / 100.0f);
      if (p == 0 && e % 17 == 0) v = std::numeric_limits<float>::quiet_NaN();
      raw[static_cast<std::size_t>(p)].push_back(v);
      b.data += test::F32(v);
    }
  Debarcoder engine;
  engine.OpenBytes(b.Build(), "nan.fcs");
  engine.ProposeBits();
  for (int bit = 1; bit <= 7; ++bit) EXPECT_EQ(engine.BitParameter(bit), bit - 1);
  engine.Load();
  ExpectClassifiedFromScratch(engine);
  for (int e = 0; e < events; e += 17) EXPECT_EQ(engine.Codes()[static_cast<std::size_t>(e)] & 1, 0) << e;
  for (int p = 0; p < par; ++p)
    for (int e = 0; e < events; ++e)
      ASSERT_EQ(std::bit_cast<std::uint32_t>(engine.DataSet()->data[static_cast<std::size_t>(p)][static_cast<std::size_t>(e)]),
                std::bit_cast<std::uint32_t>(raw[static_cast<std::size_t>(p)][static_cast<std::size_t>(e)]));
  engine.SetThreshold(1, -100);
  ExpectClassifiedFromScratch(engine);
}

TEST(Debarcoder, RefusalsAndBitAssignment) {
  Debarcoder engine;
  EXPECT_THROW_MSG(engine.Load(), Exception, "No file is open");
  EXPECT_THROW_MSG(engine.Export("/nonexistent", false), Exception, "No file is open");
  EXPECT_THROW_MSG(engine.OpenBytes(std::string(300, 'x'), "junk"), Exception,
                   "File junk does not look like FCS file!");
  EXPECT_FALSE(engine.HasFile());

  TempDir dir;
  SyntheticPlateOptions o;
  o.events = 3000;
  o.params = 9;
  const SyntheticPlateSummary sum = WriteSyntheticPlate(dir / "p.fcs", o);
  engine.Open(dir / "p.fcs");
  EXPECT_EQ(engine.DefaultOutputDir(), dir / "p");
  EXPECT_THROW_MSG(engine.Load(), Exception, "Bit 1 is not defined");
  engine.ProposeBits();
  EXPECT_EQ(engine.FindParameter(sum.names[3]), 3);
  EXPECT_EQ(engine.FindParameter("nothing"), -1);
  EXPECT_THROW_MSG(engine.Export(dir / "out", false), Exception,
                   "Press Load before Export: bit 1 has no threshold yet");
  engine.Load();
  EXPECT_TRUE(engine.AllLoaded());
  // A parameter taken by another bit leaves its old bit unloaded and the
  // codes empty until that bit has a parameter again.
  const int p7 = engine.BitParameter(7);
  engine.AssignBit(1, p7);
  EXPECT_EQ(engine.BitParameter(7), -1);
  EXPECT_FALSE(engine.IsLoaded(7));
  EXPECT_TRUE(engine.IsLoaded(1));
  EXPECT_TRUE(engine.Codes().empty());
  EXPECT_EQ(engine.Counts().total, 0);
  EXPECT_THROW_MSG(engine.Export(dir / "out", false), Exception, "Bit 7 is not defined");
  EXPECT_THROW_MSG(engine.AssignBit(8, 0), Exception, "Bit 8 is not 1..7");
  EXPECT_THROW_MSG(engine.AssignBit(2, 99), Exception, "List index out of bounds (99)");
}

// A synthetic plate opened, proposed and loaded.
struct LoadedPlate {
  TempDir dir;
  Debarcoder engine;
  std::vector<std::pair<std::string, double>> loadReports;
  explicit LoadedPlate(std::int64_t events = 6000) {
    SyntheticPlateOptions o;
    o.events = events;
    o.params = 10;
    WriteSyntheticPlate(dir / "plate.fcs", o);
    engine.Open(dir / "plate.fcs");
    engine.ProposeBits();
    engine.Load([this](const std::string& stage, double f) {
      loadReports.emplace_back(stage, f);
      return true;
    });
  }
};

TEST(Debarcoder, LoadReportsEachBit) {
  LoadedPlate p;
  std::vector<std::pair<std::string, double>> expected;
  for (int bit = 1; bit <= 7; ++bit) expected.emplace_back("Loading bit " + std::to_string(bit), (bit - 1) / 7.0);
  expected.emplace_back("Loading bit 7", 1.0);
  EXPECT_EQ(p.loadReports, expected);
  // Load does not stop halfway: an answer "stop" is not asked for.
  p.engine.Load([](const std::string&, double) { return false; });
  EXPECT_TRUE(p.engine.AllLoaded());
}

TEST(Debarcoder, LogScaleOfEachBit) {
  LoadedPlate p;
  for (int bit = 1; bit <= 7; ++bit) {
    const std::optional<TScale> s = p.engine.LogScale(bit);
    ASSERT_TRUE(s.has_value()) << bit;
    EXPECT_EQ(s->decade, 4.0f);
    EXPECT_LT(s->minval, s->maxval);
  }
  Debarcoder empty;
  EXPECT_FALSE(empty.LogScale(1).has_value());
}

// Export stopped at each point it reports leaves no output file, no
// temporary file and no folder it made; files of an earlier export stay
// as they were.
TEST(Debarcoder, CancelledExportLeavesNoFile) {
  LoadedPlate p(20000);
  const std::string out = p.dir / "out";
  // Where the export reports: the wells as they are written, then the
  // run record (no longer to be stopped).
  std::vector<double> points;
  std::vector<std::string> after;
  p.engine.Export(p.dir / "probe", false, [&](const std::string& stage, double f) {
    if (stage == "Writing the wells")
      points.push_back(f);
    else
      after.push_back(stage);
    return true;
  });
  EXPECT_EQ(after, std::vector<std::string>{"Writing the run record"});
  ASSERT_GE(points.size(), 3u);
  EXPECT_EQ(points.front(), 0.0);
  EXPECT_EQ(points.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(points.begin(), points.end()));

  for (std::size_t stopAt : {std::size_t{0}, points.size() / 2, points.size() - 1}) {
    std::size_t calls = 0;
    auto stop = [&](const std::string&, double) { return calls++ < stopAt; };
    EXPECT_THROW(p.engine.Export(out, false, stop), ECancelled) << stopAt;
    EXPECT_FALSE(std::filesystem::exists(out)) << "stopped at report " << stopAt;
  }

  // Over an earlier export: its files stay, byte for byte, and nothing is added.
  p.engine.Export(out, false);
  const std::set<std::string> before = testing_support::FilesBelow(out);
  const std::string a01 = ReadFile(out + "/Well_A01.fcs");
  p.engine.SetThreshold(1, p.engine.Threshold(1) + 0.3);
  std::size_t calls = 0;
  EXPECT_THROW(p.engine.Export(out, true, [&](const std::string&, double) { return calls++ < 2; }), ECancelled);
  EXPECT_EQ(testing_support::FilesBelow(out), before);
  EXPECT_EQ(ReadFile(out + "/Well_A01.fcs"), a01);
}

}  // namespace
}  // namespace dbc
