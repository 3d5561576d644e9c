#include "stats/log_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
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
    for (const bool log_scale : {false, true}) {
      TSingleVector a = v, b = v;
      TScale sa, sb;
      float la = 0, ha = 0, lb = 0, hb = 0;
      TColumnScratch reference;
      reference.reference = true;
      CropAndLogColumn(a, log_scale, 4.0, true, sa, la, ha, fast_scratch);
      CropAndLogColumn(b, log_scale, 4.0, true, sb, lb, hb, reference);
      EXPECT_EQ(Bits(a), Bits(b)) << round;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(la), std::bit_cast<std::uint32_t>(lb)) << round;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(ha), std::bit_cast<std::uint32_t>(hb)) << round;
      EXPECT_EQ(Bits({sa.minval, sa.maxval, sa.decade}), Bits({sb.minval, sb.maxval, sb.decade})) << round;
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
