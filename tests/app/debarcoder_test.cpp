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
#include "app/run_record.h"
#include "app/synthetic_plate.h"
#include "app/verify_folder.h"
#include "app/progress.h"
#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "stats/log_scale.h"
#include "support/expect_error.h"
#include "support/fcs_builder.h"
#include "util/errors.h"

namespace dbc {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

// Codes, ambiguous bits and counts of the engine's transformed columns,
// thresholds and margin, computed the plain way.
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
  const TByteVector ambiguous = AmbiguousBitsOf(columns, static_cast<std::size_t>(engine.Events()), index,
                                                engine.Thresholds(), engine.Margin());
  ASSERT_TRUE(ambiguous == engine.AmbiguousBits());
  const PlateCounts fresh = CountCodes(codes, &ambiguous);
  const PlateCounts& live = engine.Counts();
  EXPECT_EQ(live.perCode, fresh.perCode);
  EXPECT_EQ(live.ambiguousPerCode, fresh.ambiguousPerCode);
  EXPECT_EQ(live.trash, fresh.trash);
  EXPECT_EQ(live.ambiguous, fresh.ambiguous);
  EXPECT_EQ(live.total, fresh.total);
  EXPECT_EQ(live.total, engine.Events());
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
  // Margins: none, tiny, usual, wide enough to hold every event, and the
  // distance between two neighbouring values (ties on the bounds).
  const double margins[] = {0, 1e-7, 0.05, 0.1, 0.3, 10};
  for (int move = 0; move < 400; ++move) {
    const int bit = 1 + static_cast<int>(rng() % 7);
    const TSingleVector& v = engine.TransformedColumn(bit);
    if (rng() % 5 == 0) {
      double m = margins[rng() % std::size(margins)];
      if (rng() % 4 == 0) m = std::abs(static_cast<double>(v[rng() % v.size()]) - engine.Threshold(bit));
      if (!std::isfinite(m)) m = 0;
      engine.SetMargin(m);
      ASSERT_EQ(engine.Margin(), m);
      ExpectClassifiedFromScratch(engine);
      continue;
    }
    double t = 0;
    switch (rng() % 8) {
      case 0: t = -inf; break;                                          // every event on
      case 1: t = inf; break;                                           // every event off
      case 2: t = v[rng() % v.size()]; break;                           // a value itself: ties
      case 3: t = std::nextafter(static_cast<double>(v[rng() % v.size()]), inf); break;
      case 4: t = std::nextafter(static_cast<double>(v[rng() % v.size()]), -inf); break;
      case 5: t = engine.GuessedThreshold(bit); break;                  // back to the guess
      case 6: t = rng() % 2 ? 1e39 : -1e39; break;                      // beyond any float
      default: t = -1.0 + 6.0 * static_cast<double>(rng()) / 4294967295.0; break;
    }
    engine.SetThreshold(bit, t);
    ASSERT_EQ(engine.Threshold(bit), t);
    ExpectClassifiedFromScratch(engine);
  }
  // NaN as a threshold: no event is at or above it, none is near it.
  engine.SetMargin(0.2);
  engine.SetThreshold(2, std::numeric_limits<double>::quiet_NaN());
  ExpectClassifiedFromScratch(engine);
  engine.SetMargin(0);
  ExpectClassifiedFromScratch(engine);
  EXPECT_EQ(engine.Counts().ambiguous, 0);
}

TEST(Debarcoder, MarginSetsEventsAsideIntoTheirOwnFile) {
  TempDir dir;
  SyntheticPlateOptions o;
  o.events = 6000;
  o.params = 9;
  WriteSyntheticPlate(dir / "plate.fcs", o);
  Debarcoder engine;
  // A margin set before Load (or before a file) holds for it.
  engine.SetMargin(0.15);
  engine.Open(dir / "plate.fcs");
  engine.ProposeBits();
  engine.Load();
  ExpectClassifiedFromScratch(engine);
  const PlateCounts counts = engine.Counts();
  ASSERT_GT(counts.ambiguous, 0);
  EXPECT_EQ(counts.InWells() + counts.trash + counts.ambiguous, o.events);

  engine.SetGuess(ThresholdGuess::Valley);  // for the next Load; the record names the guess in force
  const ExportResult r = engine.Export(dir / "out", false);
  EXPECT_EQ(r.ambiguous, counts.ambiguous);
  EXPECT_EQ(r.trash, counts.trash);
  EXPECT_EQ(r.files.back(), AmbiguousFileName(dir / "out"));
  // The run record says how and what: the guess, the margin, the ambiguous
  // count and file, the trash per code without the ambiguous events; the
  // folder verifies against it.
  const RunRecord record = ReadRunRecord(dir / "out");
  EXPECT_EQ(record.guess, "valley");
  EXPECT_EQ(record.margin, 0.15);
  EXPECT_EQ(record.ambiguous, counts.ambiguous);
  ASSERT_EQ(record.outputs.back().name, "trash/ambiguous.fcs");
  EXPECT_EQ(record.outputs.back().events, counts.ambiguous);
  std::int64_t byCode = 0;
  for (const RecordedTrashCode& t : record.trashByCode) byCode += t.events;
  EXPECT_EQ(byCode, counts.trash);
  EXPECT_EQ(VerifyOutputFolder(dir / "out").differences, std::vector<std::string>{});
  EXPECT_NE(DoneMessage(dir / "out", record).find(", " + std::to_string(counts.ambiguous) + " set aside as ambiguous"),
            std::string::npos);
  Debarcoder aside;
  aside.Open(AmbiguousFileName(dir / "out"));
  EXPECT_EQ(aside.Events(), counts.ambiguous);
  EXPECT_EQ(aside.ParameterCount(), 9);  // every parameter, like the trash

  // Without a margin: nothing aside, no ambiguous file, the counts of a
  // classification without one.
  engine.SetMargin(0);
  EXPECT_EQ(engine.Counts().ambiguous, 0);
  EXPECT_EQ(engine.Counts().perCode, CountCodes(engine.Codes()).perCode);
  const ExportResult none = engine.Export(dir / "none", false);
  EXPECT_EQ(none.ambiguous, 0);
  EXPECT_FALSE(std::filesystem::exists(AmbiguousFileName(dir / "none")));
  EXPECT_EQ(DoneMessage(dir / "none", engine.LastRecord()).find("ambiguous"), std::string::npos);
  // An export into the folder with the ambiguous file removes it with the
  // other stale outputs.
  engine.Export(dir / "out", false);
  EXPECT_FALSE(std::filesystem::exists(AmbiguousFileName(dir / "out")));
  EXPECT_EQ(VerifyOutputFolder(dir / "out").differences, std::vector<std::string>{});

  for (const double bad : {-0.1, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW_MSG(engine.SetMargin(bad), Exception, "The margin must be a number of decades, 0 or more");
  EXPECT_EQ(engine.Margin(), 0);
}

// The keywords of a float file of `events` events whose parameters 1..7
// are BC7..BC1 (bits 1..7) and the others X8, X9, ...; the caller adds the
// values.
test::FcsBuilder BarcodeChannels(int events, int par) {
  test::FcsBuilder b;
  b.Key("$BYTEORD", "1,2,3,4").Key("$DATATYPE", "F").Key("$MODE", "L");
  b.Key("$PAR", std::to_string(par)).Key("$TOT", std::to_string(events));
  for (int p = 1; p <= par; ++p) {
    const std::string n = "$P" + std::to_string(p);
    b.Key(n + "N", p <= 7 ? "BC" + std::to_string(8 - p) : "X" + std::to_string(p)).Key(n + "B", "32").Key(n + "R", "1024");
  }
  return b;
}

TEST(Debarcoder, NaNValuesStayOffAndLoadKeepsTheFilesValues) {
  // Ten parameters, 200 events; parameter 0 (BC7's bit 1) holds NaN values.
  const int events = 200, par = 10;
  test::FcsBuilder b = BarcodeChannels(events, par);
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

// Load (the columns side by side on the workers, the log scale and the
// outlier bounds without sorting, the vectorized histogram fill) against
// the plain algorithms one column after the other, on barcode channels with
// NaN, infinities, a constant value, signed zeros, saturated events and one
// that the file declares logarithmic; then Reclassify against the plain
// classification for thresholds between, on and beyond the values.
TEST(Debarcoder, LoadAndClassificationMatchThePlainAlgorithms) {
  const int events = 3001, par = 10;
  test::FcsBuilder b = BarcodeChannels(events, par);
  b.Key("$P6D", "Log");
  std::mt19937 rng(8);
  std::lognormal_distribution<float> off(3.0f, 0.6f), on(7.6f, 0.4f);
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (int e = 0; e < events; ++e)
    for (int p = 0; p < par; ++p) {
      float v = (rng() % 2 ? on : off)(rng);
      if (e % 97 == 3) v = 262143.0f;  // saturated
      if (e % 89 == 5) v *= 0.001f;    // debris
      if (p == 1 && e % 13 == 0) v = nan;
      if (p == 2 && e % 500 == 7) v = e % 1000 == 7 ? inf : -inf;
      if (p == 3) v = 12.5f;
      if (p == 4) v = e % 3 == 0 ? (e % 2 ? 0.0f : -0.0f) : v - 40;
      b.data += test::F32(v);
    }
  Debarcoder engine;
  engine.OpenBytes(b.Build(), "odd.fcs");
  engine.ProposeBits();
  const TDataSet& ds = *engine.DataSet();
  ASSERT_TRUE(ds.logpar[5]);
  for (int round = 0; round < 2; ++round) {  // the second Load reuses every buffer
    engine.Load();
    for (int bit = 1; bit <= 7; ++bit) {
      const auto p = static_cast<std::size_t>(engine.BitParameter(bit));
      TSingleVector column = ds.data[p];
      TColumnScratch reference;
      reference.reference = true;
      if (!ds.logpar[p]) {
        TScale scale;
        float low = 0, high = 0;
        CropAndLogColumn(column, true, ds.Decades, ds.CropOutliers, scale, low, high, reference);
      }
      const Thistogram h = Thistogram::Create(column, Debarcoder::kHistogramPoints, -1, reference);
      const TSingleVector& loaded = engine.TransformedColumn(bit);
      ASSERT_EQ(loaded.size(), column.size());
      for (std::size_t e = 0; e < column.size(); ++e)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(loaded[e]), std::bit_cast<std::uint32_t>(column[e])) << bit << " " << e;
      const Thistogram& g = *engine.Histogram(bit);
      for (std::size_t i = 0; i < h.Yvalue.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint64_t>(g.Yvalue[i]), std::bit_cast<std::uint64_t>(h.Yvalue[i])) << bit;
      EXPECT_EQ(g.Yvalue.size(), h.Yvalue.size());
      EXPECT_EQ(std::bit_cast<std::uint64_t>(g.Sum), std::bit_cast<std::uint64_t>(h.Sum)) << bit;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(g.xmin), std::bit_cast<std::uint32_t>(h.xmin)) << bit;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(g.xmax), std::bit_cast<std::uint32_t>(h.xmax)) << bit;
      const float guess = h.GuessThreshold();
      EXPECT_EQ(std::bit_cast<std::uint64_t>(engine.GuessedThreshold(bit)),
                std::bit_cast<std::uint64_t>(static_cast<double>(guess)))
          << bit;
    }
    ExpectClassifiedFromScratch(engine);
  }

  const double dinf = std::numeric_limits<double>::infinity();
  for (int move = 0; move < 60; ++move) {
    if (move == 30) engine.SetMargin(0.05);  // the rest with ambiguous events set aside
    const int bit = 1 + move % 7;
    const TSingleVector& v = engine.TransformedColumn(bit);
    const double at = v[rng() % v.size()];
    const double choices[] = {at, std::nextafter(at, dinf), std::nextafter(at, -dinf), -dinf, dinf, 1e300, -1e300,
                              std::numeric_limits<double>::quiet_NaN(), 0.0, -0.0};
    engine.SetThreshold(bit, choices[rng() % std::size(choices)]);
    // The events at or above each threshold, from the codes' counts,
    // against a scan of the column.
    for (int b2 = 1; b2 <= 7; ++b2) {
      const double t = engine.Threshold(b2);
      const TSingleVector& col = engine.TransformedColumn(b2);
      const auto above = std::count_if(col.begin(), col.end(), [t](float x) { return static_cast<double>(x) >= t; });
      ASSERT_EQ(engine.EventsAbove(b2), above) << b2;
    }
    engine.Reclassify();
    ExpectClassifiedFromScratch(engine);
  }
}

}  // namespace
}  // namespace dbc
