#include "stats/log_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>

#include "util/errors.h"

namespace dbc {
namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<std::uint32_t> Bits(const TSingleVector& v) {
  std::vector<std::uint32_t> out;
  for (const float f : v) out.push_back(std::bit_cast<std::uint32_t>(f));
  return out;
}

TEST(LogScaleVector, FourDecades) {
  TScale s;
  s.decade = 4;
  TSingleVector v{0, 1000};
  LogScaleVector(v, s);
  EXPECT_EQ(v, (TSingleVector{-1, 3}));
  EXPECT_EQ(s.minval, 0);
  EXPECT_EQ(s.maxval, 1000);

  TSingleVector w{0, 0, 9, 99, 999, 9999};
  LogScaleVector(w, s);
  const float expected[] = {-0.0000434f, -0.0000434f, 0.9999566f, 1.9999566f, 2.9999566f, 3.9999566f};
  for (std::size_t i = 0; i < w.size(); ++i) EXPECT_NEAR(w[i], expected[i], 1e-6) << i;
  EXPECT_EQ(s.minval, 0);
  EXPECT_EQ(s.maxval, 9999);
}

// One value on the scale of a column: the column's own transform, to float
// precision, for values inside and at the ends of its range.
TEST(LogScaleValue, AgreesWithTheColumnTransform) {
  std::mt19937 rng(5);
  for (const auto& [lo, hi] : {std::pair{0.0f, 1000.0f}, std::pair{-37.5f, 52000.0f}, std::pair{3.0f, 4.0f}}) {
    TSingleVector v{lo, hi};
    std::uniform_real_distribution<float> d(lo, hi);
    for (int i = 0; i < 200; ++i) v.push_back(d(rng));
    const TSingleVector raw = v;
    TScale s;
    s.decade = 4;
    LogScaleVector(v, s);
    for (std::size_t i = 0; i < v.size(); ++i)
      EXPECT_NEAR(LogScaleValue(raw[i], s), v[i], 1e-5) << raw[i];
  }
  TScale s{0, 1000, 4};
  EXPECT_DOUBLE_EQ(LogScaleValue(0, s), -1.0);
  EXPECT_DOUBLE_EQ(LogScaleValue(1000, s), 3.0);
  EXPECT_TRUE(std::isnan(LogScaleValue(-1, s))) << "off the scale's low end";
}

TEST(LogScaleVector, ConstantColumnStays) {
  TScale s;
  s.decade = 4;
  TSingleVector v{7, 7, 7};
  LogScaleVector(v, s);
  EXPECT_EQ(v, (TSingleVector{7, 7, 7}));
  EXPECT_EQ(s.minval, 7);
  EXPECT_EQ(s.maxval, 7);
}

struct Column {
  TSingleVector v;
  TScale scale;
  float low = -1, high = -1;
};

Column Crop(TSingleVector v, bool log_scale, bool crop = true) {
  Column c{std::move(v), {}, -1, -1};
  TColumnScratch scratch;
  CropAndLogColumn(c.v, log_scale, 4.0, crop, c.scale, c.low, c.high, scratch);
  return c;
}

// The first `a` values 0.000, 0.001, ... and then `b` values from `start`
// upwards in steps of 0.001, shuffled.
TSingleVector TwoRuns(int a, int b, float start) {
  TSingleVector v;
  for (int i = 0; i < a; ++i) v.push_back(static_cast<float>(i) / 1000);
  for (int i = 0; i < b; ++i) v.push_back(start + static_cast<float>(i) / 1000);
  std::shuffle(v.begin(), v.end(), std::mt19937(3));
  return v;
}

struct CropCase {
  std::string name;
  TSingleVector input;
  float low, high;  // expected bounds; values outside are clamped to them
};

TEST(CropAndLogColumn, GapSearchCases) {
  TSingleVector far_outliers = TwoRuns(996, 0, 0);
  for (float x : {10.0f, 11.0f, 12.0f, 13.0f}) far_outliers.push_back(x);
  TSingleVector evenly;
  for (int i = 0; i <= 14; ++i) evenly.push_back(static_cast<float>(i));
  evenly.push_back(1000);

  const std::vector<CropCase> cases = {
      {"996 + 4 outliers", far_outliers, 0.0f, 0.995f},
      {"800 + 200", TwoRuns(800, 200, 5.0f), 0.0f, 0.799f},
      {"700 + 300 keeps all", TwoRuns(700, 300, 5.0f), 0.0f, 5.0f + 299.0f / 1000},
      {"evenly spaced falls back", evenly, 0.0f, 1000.0f},
      {"one value", {3.5f}, 3.5f, 3.5f},
  };
  for (const CropCase& c : cases) {
    const Column r = Crop(c.input, false);
    EXPECT_EQ(r.low, c.low) << c.name;
    EXPECT_EQ(r.high, c.high) << c.name;
    EXPECT_EQ(r.scale.decade, 0) << c.name;
    ASSERT_EQ(r.v.size(), c.input.size());
    for (std::size_t i = 0; i < r.v.size(); ++i)
      EXPECT_EQ(r.v[i], std::clamp(c.input[i], c.low, c.high)) << c.name << " at " << i;
  }
}

TEST(CropAndLogColumn, WithoutCropOnlyScales) {
  TSingleVector far_outliers = TwoRuns(996, 0, 0);
  for (float x : {10.0f, 11.0f, 12.0f, 13.0f}) far_outliers.push_back(x);
  const Column r = Crop(far_outliers, false, false);
  EXPECT_EQ(r.v, far_outliers);
  EXPECT_EQ(r.low, 0.0f);
  EXPECT_EQ(r.high, 13.0f);
}

TEST(CropAndLogColumn, LogScaledAndClamped) {
  TSingleVector v{0, 1000, 10, 1000, 0};
  const Column r = Crop(v, true);
  EXPECT_EQ(r.scale.decade, 4);
  EXPECT_EQ(r.scale.minval, 0);
  EXPECT_EQ(r.scale.maxval, 1000);
  EXPECT_EQ(r.v[0], -1);
  EXPECT_EQ(r.v[1], 3);
  EXPECT_EQ(r.low, -1);
  EXPECT_EQ(r.high, 3);
}

TEST(CropAndLogColumn, ConstantColumn) {
  const Column r = Crop({2.5f, 2.5f, 2.5f}, true);
  EXPECT_EQ(r.v, (TSingleVector{2.5f, 2.5f, 2.5f}));
  EXPECT_EQ(r.scale.decade, 0);
  EXPECT_EQ(r.low, 2.5f);
  EXPECT_EQ(r.high, 2.5f);
}

TEST(CropAndLogColumn, EmptyColumnChangesNothing) {
  TSingleVector v;
  TScale scale{1, 2, 3};
  float low = -1, high = -1;
  TColumnScratch scratch;
  CropAndLogColumn(v, true, 4.0, true, scale, low, high, scratch);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(scale.minval, 1);
  EXPECT_EQ(scale.maxval, 2);
  EXPECT_EQ(scale.decade, 3);
}

TEST(CropAndLogColumn, NaNPassesTheClamp) {
  TSingleVector v = TwoRuns(800, 200, 5.0f);
  v[17] = kNaN;
  const Column r = Crop(v, true);
  EXPECT_TRUE(std::isnan(r.v[17]));
  const auto nans = std::count_if(r.v.begin(), r.v.end(), [](float x) { return std::isnan(x); });
  EXPECT_EQ(nans, 1);
}

// The step on v with the given scratch against the reference (std::log10
// and the merge sort): the same column, bounds and scale, bit for bit.
// Returns the reference's column.
TSingleVector ExpectSameAsReference(const TSingleVector& v, bool log_scale, bool crop, TColumnScratch& fast,
                                    const std::string& where) {
  TSingleVector a = v, b = v;
  TScale sa, sb;
  float la = 0, ha = 0, lb = 0, hb = 0;
  TColumnScratch reference;
  reference.reference = true;
  CropAndLogColumn(a, log_scale, 4.0, crop, sa, la, ha, fast);
  CropAndLogColumn(b, log_scale, 4.0, crop, sb, lb, hb, reference);
  EXPECT_EQ(Bits(a), Bits(b)) << where;
  EXPECT_EQ(Bits({la, ha}), Bits({lb, hb})) << where;
  EXPECT_EQ(Bits({sa.minval, sa.maxval, sa.decade}), Bits({sb.minval, sb.maxval, sb.decade})) << where;
  return b;
}

// Random barcode-like columns with ties, signed zeros, NaN and infinities:
// the radix sort and the plain merge sort must give the same bits.
TEST(CropAndLogColumn, FastPathMatchesReference) {
  std::mt19937 rng(99);
  std::normal_distribution<float> low(100, 30), high(5000, 800);
  std::uniform_int_distribution<int> pick(0, 99);
  TColumnScratch fast_scratch;  // reused across columns, as a load does
  for (int round = 0; round < 24; ++round) {
    const std::size_t n = round < 4 ? static_cast<std::size_t>(round + 1) : 5000 + 37 * static_cast<std::size_t>(round);
    TSingleVector v(n);
    for (float& x : v) {
      const int k = pick(rng);
      x = k < 60 ? low(rng) : high(rng);
      if (round % 3 == 1) x = std::round(x / 50) * 50;  // ties
      if (round % 4 == 2 && k < 5) x = (k % 2) ? 0.0f : -0.0f;
      if (round % 6 == 3 && k == 7) x = kNaN;
      if (round % 5 == 4 && k == 8) x = (pick(rng) % 2) ? kInf : -kInf;
    }
    for (const bool log_scale : {false, true})
      ExpectSameAsReference(v, log_scale, true, fast_scratch, "round " + std::to_string(round));
  }
}

// The vectorized log scale against std::log10 one value at a time, over
// ranges that put many values near the zero of the scale (where the check
// sends them to std::log10), signed zeros, infinities, NaN, subnormal and
// huge values, and decade settings from 0 to beyond what a float holds.
TEST(LogScaleVector, MatchesStdLog10) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> unit(0, 1);
  std::lognormal_distribution<float> wide(4, 3);
  struct Case {
    const char* name;
    std::function<float()> draw;
  };
  const Case cases[] = {
      {"lognormal", [&] { return wide(rng); }},
      {"signed", [&] { return (unit(rng) - 0.3f) * 2e4f; }},
      {"near the scale's zero", [&] { return 9998.0f + unit(rng) * 4; }},
      {"ties and zeros", [&] { return std::round(unit(rng) * 8) * (unit(rng) < 0.5f ? -0.0f : 1.0f); }},
      {"tiny", [&] { return unit(rng) * 1e-40f; }},
      {"huge", [&] { return (unit(rng) * 2 - 1) * 3.3e38f; }},
      {"specials", [&] {
         const float special[] = {kInf, -kInf, kNaN, 0.0f, -0.0f, 1e-45f, 3.4e38f};
         return unit(rng) < 0.1f ? special[rng() % 7] : wide(rng);
       }},
  };
  for (const Case& c : cases)
    for (const float decades : {4.0f, 0.0f, 1.5f, 9.0f, 40.0f, 2000.0f, -3.0f})
      for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{513}, std::size_t{20000}}) {
        TSingleVector v(n);
        for (float& x : v) x = c.draw();
        TSingleVector a = v, b = v;
        TScale sa, sb;
        sa.decade = sb.decade = decades;
        LogScaleVector(a, sa);
        LogScaleVectorReference(b, sb);
        ASSERT_EQ(Bits(a), Bits(b)) << c.name << " decades " << decades << " n " << n;
        EXPECT_EQ(Bits({sa.minval, sa.maxval}), Bits({sb.minval, sb.maxval})) << c.name;
      }
}

// The bounds found on buckets of the values against those of the sorted
// column: nested outliers (the buckets are filled again when the range
// narrows), bounds that are zeros of either sign, ties, infinities,
// constant and tiny columns; with and without the log scale and the crop.
// A column without NaN never needs the sorted copy.
TEST(CropAndLogColumn, BucketSearchMatchesSortedSearch) {
  std::mt19937 rng(2718);
  std::uniform_real_distribution<float> unit(0, 1);
  std::normal_distribution<float> low(100, 30), high(5000, 800);
  auto barcode = [&] { return unit(rng) < 0.6f ? low(rng) : high(rng); };
  struct Case {
    const char* name;
    std::size_t n;
    std::function<float(std::size_t)> value;
  };
  const Case cases[] = {
      {"barcode", 30000, [&](std::size_t) { return barcode(); }},
      {"barcode with debris and saturation", 30000,
       [&](std::size_t) {
         const float u = unit(rng);
         return u < 0.002f ? barcode() * 0.001f : u > 0.997f ? 262143.0f : barcode();
       }},
      {"nested outliers", 20000,
       [&](std::size_t i) {
         if (i % 997 == 0) return 1e9f;
         if (i % 1009 == 0) return 1e5f;
         if (i % 1013 == 0) return -300.0f;
         return unit(rng);
       }},
      {"clusters a decade apart", 20000,
       [&](std::size_t i) { return static_cast<float>(std::pow(10.0, static_cast<double>(i % 7))) * (1 + unit(rng)); }},
      {"ties", 20000, [&](std::size_t) { return std::round(barcode() / 50) * 50; }},
      {"zeros bound it", 5000,
       [&](std::size_t i) {
         if (i % 3 == 0) return (i % 2) ? 0.0f : -0.0f;
         return i % 500 == 1 ? -1e6f : unit(rng);
       }},
      {"zeros below a far value", 4000,
       [&](std::size_t i) { return i == 17 ? 1e7f : (i % 2 ? -0.0f : 0.0f); }},
      {"zeros above a far value", 4000,
       [&](std::size_t i) { return i == 17 ? -1e7f : (i % 2 ? 0.0f : -0.0f); }},
      {"a step equal to the gap above", 4000,
       [&](std::size_t i) { return i == 9 ? 256.0f : static_cast<float>(i % 2041) / 8; }},
      {"a step equal to the gap below", 4000,
       [&](std::size_t i) { return i == 9 ? -1.0f : static_cast<float>(i % 2041) / 8; }},
      {"all zeros", 100, [&](std::size_t i) { return (i % 5 == 2) ? 0.0f : -0.0f; }},
      {"constant", 1000, [&](std::size_t) { return 42.5f; }},
      {"one differs", 1000, [&](std::size_t i) { return i == 999 ? 43.0f : 42.5f; }},
      {"plus infinity", 3000, [&](std::size_t i) { return i == 5 ? kInf : barcode(); }},
      {"both infinities", 3000, [&](std::size_t i) { return i == 5 ? kInf : i == 6 ? -kInf : barcode(); }},
      {"subnormal spread", 3000, [&](std::size_t) { return unit(rng) * 1e-42f; }},
      {"evenly spaced", 1000, [&](std::size_t i) { return static_cast<float>(i); }},
      {"NaN", 3000, [&](std::size_t i) { return i == 11 ? kNaN : barcode(); }},
  };
  TColumnScratch fast;  // reused across columns, as a load does
  for (const Case& c : cases)
    for (std::size_t n : {c.n, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
      TSingleVector v(n);
      for (std::size_t i = 0; i < n; ++i) v[i] = c.value(i);
      const bool nan = std::any_of(v.begin(), v.end(), [](float x) { return std::isnan(x); });
      for (const bool log_scale : {false, true})
        for (const bool crop : {true, false}) {
          const std::string where = std::string(c.name) + " n " + std::to_string(n) +
                                    (log_scale ? " log" : " linear") + (crop ? " crop" : "");
          fast.sorted.clear();
          const TSingleVector b = ExpectSameAsReference(v, log_scale, crop, fast, where);
          // The log scale of a column with infinities holds NaN.
          const bool nanAfter = std::any_of(b.begin(), b.end(), [](float x) { return std::isnan(x); });
          if (!nan && !nanAfter) {
            EXPECT_TRUE(fast.sorted.empty()) << where << ": sorted without need";
          }
        }
    }
}

TEST(CropAndLogColumns, RangeAndBounds) {
  TSingleMatrix M{{0, 1000}, {5, 5}, {0, 1000}};
  TBoolVector logpar{true, false, true};
  TScaleVector scales(3);
  TSingleVector mins(3), maxs(3);
  const TColumnTransform t{logpar, 4.0, true, scales, mins, maxs};
  TColumnScratch scratch;
  CropAndLogColumns(M, 1, 2, t, scratch);
  EXPECT_EQ(M[0], (TSingleVector{0, 1000}));  // outside the range
  EXPECT_EQ(M[1], (TSingleVector{5, 5}));
  EXPECT_EQ(M[2], (TSingleVector{-1, 3}));
  EXPECT_EQ(mins[2], -1);
  EXPECT_EQ(maxs[2], 3);
  CropAndLogColumns(M, 0, 0, t, scratch);
  CropAndLogColumns(M, 0, -3, t, scratch);
  EXPECT_EQ(M[0], (TSingleVector{0, 1000}));

  try {
    CropAndLogColumns(M, 2, 2, t, scratch);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
}

}  // namespace
}  // namespace dbc
