// The accuracy options: what stays exactly as it was without them (the
// synthetic plate of a seed, the guessed thresholds), the guesses, the
// plate generator's separation and the accuracy measured on its truth.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "app/debarcoder.h"
#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "support/expect_error.h"
#include "util/errors.h"

namespace dbc {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

// Plates written and loaded before the accuracy options existed: the sum of
// every column of the file's values and the seven guessed thresholds as
// 32-bit patterns.
struct Recorded {
  SyntheticPlateOptions options;
  std::vector<double> sums;
  std::array<std::uint32_t, 7> thresholds;
};

std::vector<Recorded> RecordedPlates() {
  auto options = [](std::int64_t events, int params, std::uint64_t seed, char datatype) {
    SyntheticPlateOptions o;
    o.events = events;
    o.params = params;
    o.seed = seed;
    o.datatype = datatype;
    return o;
  };
  return {
      {options(20000, 10, 3, 'F'),
       {0x1.c9bda40006668p+25, 0x1.a7bf68a0489p+21, 0x1.f476b5986cfp+21, 0x1.3ef2b8c7bf4p+21, 0x1.1c14d4f4c45cp+22,
        0x1.084ee60a5b3p+21, 0x1.ba699a75817p+21, 0x1.73eef4aa446p+21, 0x1.b2ea9998p+18, 0x1.3c4b5p+20},
       {0x4002299a, 0x4007043d, 0x3feec134, 0x400e9390, 0x3ffa0a9c, 0x400a7f5d, 0x4004bb48}},
      {options(5000, 9, 1, 'I'),
       {0x1.c9ac1p+23, 0x1.a978ep+19, 0x1.f18cap+19, 0x1.40a42p+19, 0x1.168edp+20, 0x1.0028ap+19, 0x1.b6d32p+19,
        0x1.6ee74p+19, 0x1.3cf0cp+18},
       {0x40020173, 0x4006ea97, 0x3fee76bd, 0x400e4fd2, 0x3ffa076a, 0x400b6d11, 0x40061629}},
      {options(5000, 12, 8, 'D'),
       {0x1.c9ac0fffe668p+23, 0x1.a0f1a730ddp+19, 0x1.ef14389ed2cp+19, 0x1.3dc22586288p+19, 0x1.b1ccffffep+16,
        0x1.197fe0c9516p+20, 0x1.055331f65a8p+19, 0x1.393d0dd26d6p+19, 0x1.b2aeaa009b8p+19, 0x1.7a7092b9442p+19,
        0x1.4094e2275dp+18, 0x1.38064p+18},
       {0x4001a5b2, 0x40077bd9, 0x3feedd86, 0x400ef0d5, 0x3ff9d7ba, 0x4009cea5, 0x4005459b}},
  };
}

TEST(AccuracyOptions, WithoutThemPlatesAndGuessesAreThoseRecordedBefore) {
  TempDir dir;
  for (const Recorded& r : RecordedPlates()) {
    SCOPED_TRACE(r.options.datatype);
    WriteSyntheticPlate(dir / "plate.fcs", r.options);
    Debarcoder engine;
    engine.OpenBytes(ReadFile(dir / "plate.fcs"), "plate.fcs");
    const TSingleMatrix& data = engine.DataSet()->data;
    ASSERT_EQ(data.size(), r.sums.size());
    for (std::size_t p = 0; p < data.size(); ++p) {
      double sum = 0;
      for (const float v : data[p]) sum += v;
      EXPECT_EQ(sum, r.sums[p]) << "parameter " << p;
    }
    engine.ProposeBits();
    engine.Load();
    EXPECT_EQ(engine.Guess(), ThresholdGuess::UpperTail);
    for (int bit = 1; bit <= 7; ++bit) {
      const double t = engine.Threshold(bit);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(t)), r.thresholds[static_cast<std::size_t>(bit - 1)])
          << "bit " << bit;
      EXPECT_EQ(t, GuessThreshold(*engine.Histogram(bit), ThresholdGuess::UpperTail));
    }
  }
}

TEST(AccuracyOptions, GuessNamesAndWhatEachGuessPlaces) {
  EXPECT_EQ(GuessNames(), (std::vector<std::string>{"specification", "valley"}));
  for (const ThresholdGuess g : {ThresholdGuess::UpperTail, ThresholdGuess::Valley})
    EXPECT_EQ(GuessNamed(GuessName(g)), g);
  EXPECT_EQ(GuessNamed("Valley"), std::nullopt);
  EXPECT_EQ(GuessNamed(""), std::nullopt);

  TempDir dir;
  SyntheticPlateOptions o;
  o.events = 20000;
  o.params = 9;
  o.seed = 5;
  WriteSyntheticPlate(dir / "plate.fcs", o);
  Debarcoder engine;
  engine.Open(dir / "plate.fcs");
  engine.ProposeBits();
  engine.Load();
  const BitThresholds upper = engine.Thresholds();
  // A new guess waits for the next Load.
  engine.SetGuess(ThresholdGuess::Valley);
  EXPECT_EQ(engine.Thresholds(), upper);
  engine.Load();
  for (int bit = 1; bit <= 7; ++bit) {
    const Thistogram& h = *engine.Histogram(bit);
    EXPECT_EQ(engine.Threshold(bit), static_cast<double>(h.ValleyPoint())) << bit;
    EXPECT_EQ(engine.GuessedThreshold(bit), engine.Threshold(bit));
    // The step into the population above only ever moves up.
    EXPECT_LT(engine.Threshold(bit), upper[static_cast<std::size_t>(bit - 1)]) << bit;
  }
  // LoadBit uses the guess too.
  engine.SetGuess(ThresholdGuess::UpperTail);
  engine.LoadBit(3);
  EXPECT_EQ(engine.Threshold(3), upper[2]);
  EXPECT_EQ(engine.Threshold(4), static_cast<double>(engine.Histogram(4)->ValleyPoint()));
}

// Decades between the medians of a bit's "on" and "off" values in the file.
double MedianDistance(const TSingleVector& values, const TSingleVector& trueCodes, int bit) {
  std::vector<double> on, off;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int code = static_cast<int>(trueCodes[i]);
    ((code >> (bit - 1)) & 1 ? on : off).push_back(std::log10(values[i]));
  }
  auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  return median(on) - median(off);
}

TEST(AccuracyOptions, SeparationSetsTheDistanceOfThePopulations) {
  TempDir dir;
  struct Case {
    std::optional<double> separation;
    double expected;  // average distance, decades
  };
  const Case cases[] = {{std::nullopt, DefaultSeparation()}, {0.5, 0.5}, {1.0, 1.0}, {2.5, 2.5}};
  EXPECT_NEAR(DefaultSeparation(), 1.49, 0.005);
  for (const Case& c : cases) {
    SyntheticPlateOptions o;
    o.events = 20000;
    o.params = 9;
    o.separation = c.separation;
    const SyntheticPlateSummary s = WriteSyntheticPlate(dir / "plate.fcs", o);
    Debarcoder engine;
    engine.Open(dir / "plate.fcs");
    const TSingleMatrix& data = engine.DataSet()->data;
    double sum = 0;
    for (int k = 0; k < 7; ++k)
      sum += MedianDistance(data[static_cast<std::size_t>(s.barcodeIndex[static_cast<std::size_t>(k)])],
                            data[static_cast<std::size_t>(s.trueCodeIndex)], 7 - k);
    EXPECT_NEAR(sum / 7, c.expected, 0.03) << c.expected;
  }

  SyntheticPlateOptions o;
  o.events = 10;
  for (const double bad : {-0.01, 6.01, std::numeric_limits<double>::quiet_NaN()}) {
    o.separation = bad;
    EXPECT_THROW_MSG(CheckSyntheticPlateOptions(o), Exception, "The separation must be 0 .. 6 decades");
  }
  for (const double good : {0.0, 6.0}) {
    o.separation = good;
    EXPECT_NO_THROW(CheckSyntheticPlateOptions(o));
  }
}

// The figures bench_accuracy measures on 200,000 events, on a smaller
// plate: the valley sorts well-separated populations far better than the
// default guess, and a margin trades yield for precision.
TEST(AccuracyOptions, MeasuredAgainstTheIntendedCodes) {
  TempDir dir;
  SyntheticPlateOptions o;
  o.events = 20000;
  o.params = 9;
  o.seed = 5;
  const SyntheticPlateSummary s = WriteSyntheticPlate(dir / "plate.fcs", o);
  Debarcoder engine;
  engine.Open(dir / "plate.fcs");
  engine.ProposeBits();
  const TSingleVector& truth = engine.DataSet()->data[static_cast<std::size_t>(s.trueCodeIndex)];

  engine.Load();
  const PlateAccuracy upper = MeasureAccuracy(engine.Codes(), engine.AmbiguousBits(), truth);
  EXPECT_GT(upper.precision, 88);
  EXPECT_LT(upper.precision, 95);
  engine.SetGuess(ThresholdGuess::Valley);
  engine.Load();
  const PlateAccuracy valley = MeasureAccuracy(engine.Codes(), engine.AmbiguousBits(), truth);
  EXPECT_GT(valley.precision, 99.3);
  EXPECT_GT(valley.yield, 99);
  engine.SetMargin(0.1);
  const PlateAccuracy aside = MeasureAccuracy(engine.Codes(), engine.AmbiguousBits(), truth);
  EXPECT_GT(aside.precision, valley.precision);
  EXPECT_LT(aside.yield, valley.yield);
  EXPECT_GT(engine.Counts().ambiguous, 0);

  // Hand-made codes: one event in the wrong well, one in the trash, one
  // set aside, one noise event (its intended code is no well) in a well.
  const int a1 = well2code[0][0], b2 = well2code[1][1], trash = NoWellCodes()[0];
  const TSingleVector intended{float(a1), float(a1), float(a1), float(a1), float(trash)};
  const TByteVector codes{std::uint8_t(a1), std::uint8_t(b2), std::uint8_t(trash), std::uint8_t(a1), std::uint8_t(a1)};
  const PlateAccuracy hand = MeasureAccuracy(codes, TByteVector{0, 0, 0, 4, 0}, intended);
  EXPECT_DOUBLE_EQ(hand.precision, 100.0 / 3);  // placed: events 0, 1 and 4
  EXPECT_DOUBLE_EQ(hand.yield, 100.0 / 4);      // meant: events 0 .. 3
  EXPECT_DOUBLE_EQ(MeasureAccuracy(codes, {}, intended).precision, 50);
}

}  // namespace
}  // namespace dbc
