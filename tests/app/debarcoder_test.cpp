// The debarcoding engine on its own: the live update of codes and counts
// on threshold moves against a classification from scratch, and what Load
// leaves of the file's values.
#include "app/debarcoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "app/export.h"
#include "app/plate.h"
#include "app/synthetic_plate.h"
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

}  // namespace
}  // namespace dbc
