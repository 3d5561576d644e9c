#include "stats/histogram.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace dbc {
namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(Thistogram, ThreePoints) {
  const Thistogram h = Thistogram::Create(TSingleVector{0, 1, 2, 3}, 3, -1);
  EXPECT_EQ(h.step, 1);
  EXPECT_EQ(h.halfstep, 0.5f);
  EXPECT_EQ(h.scale, 1);
  EXPECT_EQ(h.Xvalue, (TVector{0.5, 1.5, 2.5}));
  EXPECT_EQ(h.Yvalue, (TVector{1, 1, 2}));
  EXPECT_EQ(h.Total, 4);
  EXPECT_EQ(h.Average(), 1.5f);
  EXPECT_EQ(h.MinValue(), 0);
  EXPECT_EQ(h.MaxValue(), 3);
  EXPECT_EQ(h.Count(), 3);
  EXPECT_EQ(h.HistoPoints, 3);
}

TEST(Thistogram, TenPointsSplitAValueBetweenNeighbours) {
  struct Case {
    float value;
    int point;
    double here, next;  // added to point and point + 1
  };
  const Case cases[] = {
      {3.5f, 3, 0.5, 0.5},  // a centre
      {3.0f, 3, 1.0, 0.0},  // a lower edge
      {9.2f, 9, 1.0, 0.0},  // offset 9.2 steps: the last point takes it all
      {-5.0f, 0, 1.0, 0.0}, // below the range
      {12.0f, 9, 1.0, 0.0}, // above the range
      {0.4f, 0, 1.0, 0.0},  // left of the first centre
  };
  for (const Case& c : cases) {
    Thistogram h = Thistogram::Create(0.0f, 10.0f, 10);
    h.AddValue(c.value);
    TVector expected(10, 0.0);
    expected[static_cast<std::size_t>(c.point)] += c.here;
    if (c.point + 1 < 10) expected[static_cast<std::size_t>(c.point + 1)] += c.next;
    EXPECT_EQ(h.Yvalue, expected) << c.value;
    EXPECT_EQ(h.Total, 1);
    EXPECT_EQ(h.Sum, c.value);
  }
}

TEST(Thistogram, SampleSize) {
  TSingleVector v;
  for (int i = 0; i < 100; ++i) v.push_back(static_cast<float>(i));
  const Thistogram all = Thistogram::Create(v, 1024, -1);
  EXPECT_EQ(all.Total, 100);
  EXPECT_EQ(all.Count(), 1024);
  EXPECT_EQ(all.MaxValue(), 99);
  const Thistogram ten = Thistogram::Create(v, 1024, 10);
  EXPECT_EQ(ten.Total, 10);
  EXPECT_EQ(ten.MaxValue(), 9);
  EXPECT_EQ(Thistogram::Create(v, 1024, 500).Total, 100);
  EXPECT_EQ(Thistogram::Create(v, 1024, -2).Total, 0);
}

TEST(Thistogram, NoSpreadGivesOnePoint) {
  const Thistogram same = Thistogram::Create(TSingleVector{4, 4, 4}, 1024, -1);
  EXPECT_EQ(same.Xvalue, TVector{4});
  EXPECT_EQ(same.Yvalue, TVector{3});
  EXPECT_EQ(same.Total, 3);
  EXPECT_EQ(same.GuessThreshold(), 4);
  EXPECT_EQ(same.ValleyPoint(), 4);

  const Thistogram empty = Thistogram::Create(TSingleVector{}, 1024, -1);
  EXPECT_EQ(empty.Xvalue, TVector{0});
  EXPECT_EQ(empty.Yvalue, TVector{0});
  EXPECT_EQ(empty.Total, 0);
  EXPECT_EQ(empty.Average(), 0);
  EXPECT_EQ(empty.GuessThreshold(), 0);
  EXPECT_EQ(empty.ValleyPoint(), 0);

  // The point sits at the value the stable sort puts first.
  const Thistogram zeros = Thistogram::Create(TSingleVector{-0.0f, 0.0f}, 1024, -1);
  EXPECT_TRUE(std::signbit(zeros.Xvalue[0]));
  EXPECT_TRUE(std::signbit(zeros.GuessThreshold()));
  EXPECT_TRUE(std::signbit(zeros.ValleyPoint()));
}

TEST(Thistogram, OtherSamples) {
  const TMatrix ragged{{1, 2, 3}, {4}, {5, 6, 7, 8}};  // rows read up to the first row's length
  const Thistogram m = Thistogram::Create(ragged, 8);
  EXPECT_EQ(m.Total, 7);
  EXPECT_EQ(m.Sum, 28);
  EXPECT_EQ(m.MaxValue(), 7);

  const std::uint8_t bytes[] = {0, 255, 7};
  const Thistogram b = Thistogram::Create(bytes, 3, 16);
  EXPECT_EQ(b.Total, 3);
  EXPECT_EQ(b.MaxValue(), 255);

  const float floats[] = {1.5f, -2.5f};
  const Thistogram f = Thistogram::Create(floats, 2, 4);
  EXPECT_EQ(f.MinValue(), -2.5f);
  EXPECT_EQ(f.Sum, -1);

  const Thistogram i = Thistogram::Create(TIntVector{-3, 9}, 12);
  EXPECT_EQ(i.Count(), 12);
  EXPECT_EQ(i.step, 1);
}

TEST(Thistogram, ResetAddValuesSmooth) {
  Thistogram h = Thistogram::Create(TSingleVector{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10, -1);
  const TVector positions = h.Xvalue;
  h.Reset();
  EXPECT_EQ(h.Total, 0);
  EXPECT_EQ(h.Sum, 0);
  EXPECT_EQ(h.Yvalue, TVector(10, 0.0));
  EXPECT_EQ(h.Xvalue, positions);

  h.AddValues(TSingleVector{1, 2, 3, 4}, 1, 2);
  EXPECT_EQ(h.Total, 2);
  EXPECT_EQ(h.Sum, 5);
  h.AddValues(TSingleVector{1, 2}, 1, 0);
  h.AddValues(TSingleVector{1, 2}, -4, 9);  // limited to the elements present
  EXPECT_EQ(h.Total, 4);

  Thistogram spike = Thistogram::Create(0.0f, 11.0f, 11);
  spike.Yvalue[5] = 1;
  spike.Smooth();
  EXPECT_NEAR(spike.Yvalue[5], 0.39905, 5e-6);
  EXPECT_NEAR(spike.Yvalue[8], 0.00443, 5e-6);
}

TEST(Thistogram, Percentile) {
  Thistogram h = Thistogram::Create(0.0f, 4.0f, 4);
  h.Yvalue = {1, 1, 1, 1};
  std::int32_t index = -1;
  EXPECT_EQ(h.Percentile(0.5f), 2.0f);
  h.Percentile(0.5f, &index);
  EXPECT_EQ(index, 2);  // position 1.5 rounds to the even neighbour
  h.Percentile(0.3f, &index);
  EXPECT_EQ(index, 1);
}

TEST(Thistogram, ThresholdBetweenTwoPopulations) {
  // 60 % evenly in [0, 1], 40 % evenly in [3, 4]: the walk from the median
  // ends in the empty gap, where the smoothed heights first reach 0 (the
  // kernel reaches 31 points, 0.12, beyond the last value): the valley
  // point; the threshold lies 2.5 % into the upper population.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> low(0, 1), high(3, 4);
  TSingleVector v;
  for (int i = 0; i < 60000; ++i) v.push_back(low(rng));
  for (int i = 0; i < 40000; ++i) v.push_back(high(rng));
  std::shuffle(v.begin(), v.end(), rng);
  const Thistogram h = Thistogram::Create(v, 1024, -1);
  EXPECT_NEAR(h.GuessThreshold(), 3.025, 0.01);
  EXPECT_GT(h.ValleyPoint(), 1.1f);
  EXPECT_LT(h.ValleyPoint(), 1.2f);
  // The valley point is a point's position, rounded to 32 bits.
  EXPECT_TRUE(std::any_of(h.Xvalue.begin(), h.Xvalue.end(),
                          [&h](double x) { return static_cast<float>(x) == h.ValleyPoint(); }));
}

TEST(Thistogram, MedianOnTheFirstPoint) {
  // Most values sit on the lower end: both walks end at once on point 0 and
  // the threshold is its centre, with no 2.5 % step.
  TSingleVector v(100, 0.0f);
  v.push_back(5);
  v.push_back(10);
  const Thistogram h = Thistogram::Create(v, 1024, -1);
  EXPECT_EQ(h.GuessThreshold(), static_cast<float>(h.Xvalue[0]));
  EXPECT_EQ(h.ValleyPoint(), h.GuessThreshold());
}

std::vector<std::uint64_t> Bits(const TVector& v) {
  std::vector<std::uint64_t> out;
  for (const double d : v) out.push_back(std::bit_cast<std::uint64_t>(d));
  return out;
}

void ExpectSameBits(const Thistogram& a, const Thistogram& b, int round) {
  EXPECT_EQ(Bits(a.Xvalue), Bits(b.Xvalue)) << round;
  EXPECT_EQ(Bits(a.Yvalue), Bits(b.Yvalue)) << round;
  const float fa[] = {a.scale, a.step, a.xmax, a.xmin, a.halfstep, a.delta, a.GuessThreshold()};
  const float fb[] = {b.scale, b.step, b.xmax, b.xmin, b.halfstep, b.delta, b.GuessThreshold()};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(std::bit_cast<std::uint32_t>(fa[i]), std::bit_cast<std::uint32_t>(fb[i])) << round << " field " << i;
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a.Sum), std::bit_cast<std::uint64_t>(b.Sum)) << round;
  EXPECT_EQ(a.Total, b.Total);
}

// Extremes found by a scan must equal those of the sorted sample, ties,
// signed zeros, NaN and infinities included.
TEST(Thistogram, FastExtremesMatchSortedSample) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> pick(0, 99);
  std::normal_distribution<float> low(0.5f, 0.2f), high(2.5f, 0.3f);
  TColumnScratch fast;
  for (int round = 0; round < 40; ++round) {
    const std::size_t n = static_cast<std::size_t>(1 + round * 97);
    TSingleVector v(n);
    for (float& x : v) {
      const int k = pick(rng);
      x = k < 55 ? low(rng) : high(rng);
      if (round % 2 == 1) x = std::round(x * 4) / 4;
      if (round % 5 == 1 && k < 30) x = (k % 2) ? 0.0f : -0.0f;
      if (round % 7 == 3 && k == 0) x = kNaN;
      if (round % 6 == 5 && k == 1) x = (pick(rng) % 2) ? kInf : -kInf;
      if (round % 8 == 7) x = (k % 2) ? 0.0f : -0.0f;
    }
    TColumnScratch reference;
    reference.reference = true;
    const int size = round % 3 == 0 ? -1 : static_cast<int>(n / 2);
    const Thistogram a = Thistogram::Create(v, 1024, size, fast);
    const Thistogram b = Thistogram::Create(v, 1024, size, reference);
    ExpectSameBits(a, b, round);
    ExpectSameBits(Thistogram::Create(v, 1024, size), b, round);
  }
}

// The fill four values at a time against the plain one, on scales from one
// point up, with values on the centres and the half-steps, at and beyond
// both ends, NaN and infinities, and lengths that leave partial groups.
TEST(Thistogram, AddRangeMatchesReference) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<float> any(-1.5f, 4.5f);
  const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
  for (const int points : {1, 2, 3, 7, 1024})
    for (const std::size_t n : {std::size_t{1}, std::size_t{3}, std::size_t{255}, std::size_t{257}, std::size_t{5001}}) {
      Thistogram a = Thistogram::Create(0.0f, 3.0f, points);
      if (points == 1) a = Thistogram::Create(TSingleVector{2.0f, 2.0f}, 1024, -1);  // one point, no step
      Thistogram b = a;
      TSingleVector v(n);
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = rng() % 9;
        const float step = a.step, at = static_cast<float>(rng() % static_cast<unsigned>(points));
        switch (k) {
          case 0: v[i] = a.xmin + (at + 0.5f) * step; break;  // a centre
          case 1: v[i] = a.xmin + at * step; break;           // between two centres
          case 2: v[i] = (rng() % 2) ? a.xmin : a.xmax; break;
          case 3: v[i] = (rng() % 2) ? a.xmin + a.halfstep : a.xmax - a.halfstep; break;
          case 4: v[i] = (rng() % 3 == 0) ? kNaN : (rng() % 2 ? kInf : -kInf); break;
          case 5:  // the float nearest to the last centre from above (xmin is 0)
            v[i] = FloatAtOrAbove(static_cast<double>(a.delta) - a.halfstep);
            break;
          default: v[i] = any(rng); break;
        }
      }
      a.AddRange(v.data(), n);
      b.AddRangeReference(v.data(), n);
      ExpectSameBits(a, b, points);
      a.AddRange(v.data(), n / 2);  // onto counts already there
      b.AddRangeReference(v.data(), n / 2);
      ExpectSameBits(a, b, points);
    }
}

}  // namespace
}  // namespace dbc
