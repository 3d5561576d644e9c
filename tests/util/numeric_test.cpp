#include "util/numeric.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace dbc {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

std::vector<std::uint32_t> Bits(const TSingleVector& v) {
  std::vector<std::uint32_t> out;
  for (const float f : v) out.push_back(std::bit_cast<std::uint32_t>(f));
  return out;
}

TEST(SortVector, SmallCases) {
  TSingleVector v{3, 1, 2};
  SortVector(v);
  EXPECT_EQ(v, (TSingleVector{1, 2, 3}));

  TSingleVector empty;
  SortVector(empty);
  EXPECT_TRUE(empty.empty());

  TSingleVector one{-7.5f};
  SortVector(one);
  EXPECT_EQ(one, TSingleVector{-7.5f});

  TIntVector ints{3, -1, 2, -5, 2};
  SortVector(ints);
  EXPECT_EQ(ints, (TIntVector{-5, -1, 2, 2, 3}));
}

TEST(SortVector, SignedZerosAreEqualAndKeepTheirOrder) {
  TSingleVector v{0.0f, -0.0f, -1.0f, 0.0f, -0.0f, 1.0f};
  SortVector(v);
  EXPECT_EQ(Bits(v), Bits(TSingleVector{-1.0f, 0.0f, -0.0f, 0.0f, -0.0f, 1.0f}));

  TSingleVector w{-0.0f, 0.0f};
  SortVector(w);
  EXPECT_EQ(Bits(w), Bits(TSingleVector{-0.0f, 0.0f}));
}

TEST(SortVector, ExtremeValuesInOrder) {
  const float tiny = std::numeric_limits<float>::denorm_min();
  const float big = std::numeric_limits<float>::max();
  TSingleVector v{kInf, tiny, -big, 0.0f, -tiny, big, -kInf, -0.0f};
  SortVector(v);
  EXPECT_EQ(Bits(v), Bits(TSingleVector{-kInf, -big, -tiny, 0.0f, -0.0f, tiny, big, kInf}));
}

// Random columns of the kinds that stress the fast sort: heavy ties, signed
// zeros, infinities and subnormals, NaN, all equal, any bit pattern, and
// input already in order or in reverse order.
TSingleVector RandomColumn(std::mt19937& rng, std::size_t n, int kind) {
  std::uniform_real_distribution<float> any(-1e6f, 1e6f);
  std::uniform_int_distribution<int> small(-3, 3);
  std::uniform_int_distribution<int> pick(0, 9);
  TSingleVector v(n);
  for (float& x : v) {
    const int k = pick(rng);
    switch (kind) {
      case 1: x = static_cast<float>(small(rng)) * 0.5f; break;
      case 2: x = k < 5 ? 0.0f : -0.0f; break;
      case 3:
        x = k == 0   ? kInf
            : k == 1 ? -kInf
            : k == 2 ? -0.0f
            : k == 3 ? std::numeric_limits<float>::denorm_min()
            : k == 4 ? -std::numeric_limits<float>::denorm_min()
                     : static_cast<float>(small(rng));
        break;
      case 4: x = k == 0 ? kNaN : static_cast<float>(small(rng)); break;
      case 5: x = 42.0f; break;
      case 6: x = std::bit_cast<float>(static_cast<std::uint32_t>(rng())); break;
      default: x = any(rng); break;
    }
  }
  if (kind == 7) std::sort(v.begin(), v.end());
  if (kind == 8) std::sort(v.begin(), v.end(), [](float a, float b) { return a > b; });
  return v;
}

constexpr int kKinds = 9;

TEST(SortVector, FastSortMatchesMergeSort) {
  std::mt19937 rng(12345);
  for (int kind = 0; kind < kKinds; ++kind) {
    for (const std::size_t n : {2u, 3u, 17u, 100u, 1000u, 70000u}) {
      const TSingleVector input = RandomColumn(rng, n, kind);
      TSingleVector reference = input;
      MergeSortVector(reference);
      if (std::none_of(input.begin(), input.end(), [](float x) { return std::isnan(x); })) {
        TSingleVector stable = input;
        std::stable_sort(stable.begin(), stable.end());
        ASSERT_EQ(Bits(stable), Bits(reference)) << "kind " << kind << " n " << n;
      }

      TSingleVector fast = input;
      SortVector(fast);
      EXPECT_EQ(Bits(fast), Bits(reference)) << "kind " << kind << " n " << n;

      TColumnScratch scratch;
      TSingleVector with_scratch = input;
      SortVector(with_scratch, scratch);
      EXPECT_EQ(Bits(with_scratch), Bits(reference)) << "kind " << kind << " n " << n;

      SortedCopy(input.data(), input.size(), scratch);
      EXPECT_EQ(Bits(scratch.sorted), Bits(reference)) << "kind " << kind << " n " << n;
    }
  }
}

TEST(SortVector, ScratchIsReusedAcrossLengths) {
  std::mt19937 rng(7);
  TColumnScratch scratch;
  for (const std::size_t n : {5000u, 10u, 0u, 1u, 3000u}) {
    const TSingleVector input = RandomColumn(rng, n, 1);
    SortedCopy(input.data(), n, scratch);
    TSingleVector reference = input;
    MergeSortVector(reference);
    EXPECT_EQ(Bits(scratch.sorted), Bits(reference)) << n;
  }
}

TEST(SortVector, NaNTakesTheMergeSortPlace) {
  // The merge takes the left element when the comparison is unordered.
  TSingleVector v{kNaN, 2.0f, 1.0f};
  SortVector(v);
  EXPECT_TRUE(std::isnan(v[0]));
  EXPECT_EQ(v[1], 1.0f);
  EXPECT_EQ(v[2], 2.0f);

  TSingleVector w{2.0f, kNaN, 1.0f};
  SortVector(w);
  EXPECT_EQ(w[0], 1.0f);
  EXPECT_EQ(w[1], 2.0f);
  EXPECT_TRUE(std::isnan(w[2]));
}

struct MinMaxCase {
  TSingleVector v;
  bool ignore_zero;
  float mn, mx;
};

TEST(MinMax, Cases) {
  const std::vector<MinMaxCase> cases = {
      {{}, false, 0, 0},          {{0, 3, 5}, false, 0, 5},    {{0, 3, 5}, true, 3, 5},
      {{0, 0}, true, 0, 0},       {{4, -2, 9, 1}, false, -2, 9}, {{0, -2, 0, 9}, true, -2, 9},
      {{1, kNaN, 2}, false, 1, 2},
  };
  for (const MinMaxCase& c : cases) {
    float mn = -1, mx = -1;
    MinMax(c.v, mn, mx, c.ignore_zero);
    EXPECT_EQ(mn, c.mn);
    EXPECT_EQ(mx, c.mx);
  }
}

TEST(MinMax, LiteralComparisons) {
  // Equal extremes: the last one wins, which tells -0.0 from 0.0.
  float mn = 1, mx = 1;
  MinMax(TSingleVector{0.0f, -0.0f}, mn, mx, false);
  EXPECT_TRUE(std::signbit(mn));
  EXPECT_TRUE(std::signbit(mx));
  // A NaN in the first place stays: no comparison with it succeeds.
  MinMax(TSingleVector{kNaN, 1, 2}, mn, mx, false);
  EXPECT_TRUE(std::isnan(mn));
  EXPECT_TRUE(std::isnan(mx));
}

TEST(CumulativePosition, Cases) {
  struct Case {
    TVector v;
    double p, expected;
  };
  const std::vector<Case> cases = {
      {{1, 1, 1, 1}, 0.5, 1.5}, {{0, 2, 2}, 0.5, 1.5}, {{0, 4, 0}, 0.0, 0.5},
      {{0, 0, 0}, 0.5, 0.0},    {{}, 0.5, 0.0},         {{2, 0, 0, 2}, 0.75, 3.0},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(CumulativePosition(c.v, c.p), c.expected);
}

TEST(GaussSmooth, ConstantStaysConstant) {
  for (const std::size_t n : {1u, 2u, 3u, 4u, 50u}) {  // lengths up to the half-width use the clamped mirror
    TVector v(n, 5.0);
    GaussSmooth(v, 1.0);
    for (const double x : v) EXPECT_NEAR(x, 5.0, 1e-12) << n;
  }
}

TEST(GaussSmooth, SpikeBecomesTheKernel) {
  TVector v(11, 0.0);
  v[5] = 1;
  GaussSmooth(v, 1.0);
  const double expected[] = {0, 0, 0.00443, 0.05401, 0.24204, 0.39905, 0.24204, 0.05401, 0.00443, 0, 0};
  for (std::size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], expected[i], 5e-6) << i;
  EXPECT_EQ(v[1], 0.0);
}

TEST(GaussSmooth, HalfWidthRoundsHalvesToEven) {
  // 3 sigma = 1.5, 4.5, 7.5 give half-widths 2, 4, 8.
  const std::vector<std::pair<double, int>> cases = {{0.5, 2}, {1.5, 4}, {2.5, 8}};
  for (const auto& [sigma, w] : cases) {
    TVector v(41, 0.0);
    v[20] = 1;
    GaussSmooth(v, sigma);
    const auto nonzero = std::count_if(v.begin(), v.end(), [](double x) { return x != 0; });
    EXPECT_EQ(nonzero, 2 * w + 1) << sigma;
  }
}

TEST(GaussSmooth, MirrorsWithoutRepeatingTheEnds) {
  // w = 2 (sigma 0.5): the padded copy of [a, b, c, d, e] is [c, b, a, b, c, d, e, d, c].
  const double sigma = 0.5;
  TVector weight;
  double total = 0;
  for (int k = -2; k <= 2; ++k) {
    weight.push_back(std::exp(-(k / sigma) * (k / sigma) / 2));
    total += weight.back();
  }
  for (double& x : weight) x /= total;
  const TVector padded{3, 2, 1, 2, 3, 4, 5, 4, 3};
  TVector v{1, 2, 3, 4, 5};
  GaussSmooth(v, sigma);
  for (int i = 0; i < 5; ++i) {
    double acc = 0;
    for (int k = -2; k <= 2; ++k) acc += weight[static_cast<std::size_t>(k + 2)] * padded[static_cast<std::size_t>(2 + i - k)];
    EXPECT_DOUBLE_EQ(v[static_cast<std::size_t>(i)], acc) << i;
  }
}

TEST(GaussSmooth, NonPositiveSigmaLeavesTheVector) {
  TVector v{1, 5, 2};
  GaussSmooth(v, 0);
  EXPECT_EQ(v, (TVector{1, 5, 2}));
  TVector empty;
  GaussSmooth(empty, 1.0);
  EXPECT_TRUE(empty.empty());
}

// The vectorized scan against the scan one element at a time: the same
// floats, bit for bit (which zero, which NaN), on every kind of column.
TEST(MinMax, FastScanMatchesReference) {
  std::mt19937 rng(99);
  for (int kind = 0; kind < kKinds; ++kind)
    for (const std::size_t n : {1u, 2u, 15u, 16u, 17u, 100u, 4099u}) {
      TSingleVector v = RandomColumn(rng, n, kind);
      for (int variant = 0; variant < 3; ++variant) {
        if (variant == 1) v[0] = kNaN;
        if (variant == 2) v[n - 1] = (n % 2) ? 0.0f : -0.0f;
        for (const bool ignoreZero : {false, true}) {
          float a = 1, b = 1, c = 2, d = 2;
          MinMax(v, a, b, ignoreZero);
          MinMaxReference(v, c, d, ignoreZero);
          EXPECT_EQ(Bits({a, b}), Bits({c, d})) << "kind " << kind << " n " << n << " variant " << variant;
        }
      }
    }
}

TEST(FloatAtOrAbove, ComparesAsTheDouble) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double u;
    float expected;
  };
  const Case cases[] = {
      {0.5, 0.5f},
      {0.7, std::nextafter(0.7f, 1.0f)},  // 0.7f lies below 0.7
      {-0.7, -0.7f},                      // -0.7f lies above -0.7
      {0.1, 0.1f},                        // 0.1f lies above 0.1
      {0.0, 0.0f},
      {1e300, std::numeric_limits<float>::infinity()},
      {-1e300, -std::numeric_limits<float>::max()},
      {inf, std::numeric_limits<float>::infinity()},
      {-inf, -std::numeric_limits<float>::infinity()},
      {1e-300, std::numeric_limits<float>::denorm_min()},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatAtOrAbove(c.u), c.expected) << c.u;
  EXPECT_TRUE(std::isnan(FloatAtOrAbove(std::numeric_limits<double>::quiet_NaN())));

  // Every float compares with the double as with its bound.
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> wide(-3, 3);
  for (int i = 0; i < 20000; ++i) {
    const double u = i % 3 == 0 ? static_cast<double>(static_cast<float>(wide(rng))) : wide(rng);
    const float b = FloatAtOrAbove(u);
    for (const float v : {static_cast<float>(u), std::nextafter(static_cast<float>(u), 10.0f),
                          std::nextafter(static_cast<float>(u), -10.0f), b, kNaN}) {
      ASSERT_EQ(static_cast<double>(v) >= u, v >= b) << u << " " << v;
      ASSERT_EQ(static_cast<double>(v) < u, v < b) << u << " " << v;
    }
  }
}

}  // namespace
}  // namespace dbc
