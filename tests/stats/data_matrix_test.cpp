#include "stats/data_matrix.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "util/errors.h"

namespace dbc {
namespace {

// A small data set's worth of settings for the log and crop step.
struct Settings {
  explicit Settings(std::size_t params, bool log = false) : logpar(params, log), Scales(params), mins(params), maxs(params) {}
  TBoolVector logpar;
  TScaleVector Scales;
  TSingleVector mins, maxs;
  TColumnTransform transform(bool crop = true) { return {logpar, 4.0, crop, Scales, mins, maxs}; }
};

TEST(CompensateRange, AppliesTheInverseToListedParameters) {
  const TSingleMatrix data{{100, 10}, {7, 8}, {50, 20}};
  const TIntVector inds{0, 2};
  const TMatrix inv{{1, -0.1}, {-0.2, 1}};  // row r, column k
  TSingleMatrix R(3, TSingleVector(2, -1));
  CompensateRange(data, {inds, inv}, R, 0, 2);
  EXPECT_EQ(R[0], (TSingleVector{90, 6}));    // 1 x p0 - 0.2 x p2
  EXPECT_EQ(R[1], (TSingleVector{7, 8}));     // not listed: raw
  EXPECT_EQ(R[2], (TSingleVector{40, 19}));   // -0.1 x p0 + 1 x p2
}

TEST(CompensateRange, PartialSumsAreRoundedTo32Bits) {
  // 2^24 + 1 is no float: each partial sum 2^24 + 1 rounds back to 2^24, so
  // the result is 2^24, where one rounding at the end would give 2^24 + 2.
  const TSingleMatrix data{{16777216.0f}, {1.0f}, {1.0f}};
  const TIntVector inds{0, 1, 2};
  const TMatrix inv{{1, 0, 0}, {1, 1, 0}, {1, 0, 1}};
  TSingleMatrix R(3, TSingleVector(1));
  CompensateRange(data, {inds, inv}, R, 0, 1);
  EXPECT_EQ(R[0][0], 16777216.0f);
  EXPECT_EQ(R[1][0], 1.0f);
}

TEST(CompensateRange, IdentityOfOneChannel) {
  const TSingleMatrix data{{1.5f, -2, 3e7f}, {4, 5, 6}};
  const TIntVector inds{1};
  const TMatrix inv{{1}};
  TSingleMatrix R(2, TSingleVector(3));
  CompensateRange(data, {inds, inv}, R, 1, 2);
  EXPECT_EQ(R[0], (TSingleVector{0, -2, 3e7f}));  // only events 1 and 2
  EXPECT_EQ(R[1], (TSingleVector{0, 5, 6}));
}

TEST(CanCompensate, RejectsWhatDoesNotFit) {
  const TSingleMatrix data{{1, 2}, {3, 4}};
  const TIntVector good{0, 1}, outside{0, 2}, negative{-1, 0};
  const TMatrix inv{{1, 0}, {0, 1}}, empty, narrow{{1}, {0}};
  EXPECT_TRUE(CanCompensate(data, 2, {good, inv}));
  EXPECT_FALSE(CanCompensate(data, 3, {good, inv}));  // columns too short
  EXPECT_FALSE(CanCompensate(data, 2, {outside, inv}));
  EXPECT_FALSE(CanCompensate(data, 2, {negative, inv}));
  EXPECT_FALSE(CanCompensate(data, 2, {good, empty}));  // singular: no inverse
  EXPECT_FALSE(CanCompensate(data, 2, {good, narrow}));
}

TSingleMatrix RandomData(std::size_t params, std::size_t events, unsigned seed) {
  std::mt19937 rng(seed);
  std::lognormal_distribution<float> dist(5, 1.5);
  TSingleMatrix data(params, TSingleVector(events));
  for (auto& column : data)
    for (float& x : column) x = dist(rng);
  return data;
}

std::vector<std::uint32_t> Bits(const TSingleMatrix& M) {
  std::vector<std::uint32_t> out;
  for (const auto& column : M)
    for (const float f : column) out.push_back(std::bit_cast<std::uint32_t>(f));
  return out;
}

// Blocks touch disjoint events or parameters, so any number of workers
// gives the bits of a sequential run.
TEST(GetDataMatrix, PoolEqualsOneWorker) {
  const TSingleMatrix data = RandomData(6, 10007, 1);
  const TIntVector inds{4, 1, 2};
  const TMatrix inv{{1.02, -0.1, 0.003}, {-0.05, 1.01, -0.2}, {0.001, -0.03, 1.004}};
  const TCompensation comp{inds, inv};
  Settings one(6, true), many(6, true);
  one.logpar[3] = many.logpar[3] = false;
  const TSingleMatrix a = GetDataMatrix(data, 10007, &comp, one.transform(), TWorkerPool(1));
  const TSingleMatrix b = GetDataMatrix(data, 10007, &comp, many.transform(), TWorkerPool(4));
  EXPECT_EQ(Bits(a), Bits(b));
  EXPECT_EQ(Bits({one.mins, one.maxs}), Bits({many.mins, many.maxs}));
  for (std::size_t p = 0; p < 6; ++p) {
    EXPECT_EQ(one.Scales[p].minval, many.Scales[p].minval);
    EXPECT_EQ(one.Scales[p].decade, p == 3 ? 0.0f : 4.0f);
  }
  EXPECT_EQ(data, RandomData(6, 10007, 1));  // data is only read
}

TEST(GetDataMatrix, WithoutCompensationTheRawColumnsAreScaled) {
  const TSingleMatrix data = RandomData(3, 500, 2);
  Settings s(3, true);
  const TSingleMatrix M = GetDataMatrix(data, 500, nullptr, s.transform(), TWorkerPool(2));
  ASSERT_EQ(M.size(), 3u);
  for (std::size_t p = 0; p < 3; ++p) {
    TSingleVector expected = data[p];
    TScale scale;
    float low = 0, high = 0;
    TColumnScratch scratch;
    CropAndLogColumn(expected, true, 4.0, true, scale, low, high, scratch);
    EXPECT_EQ(M[p], expected) << p;
    EXPECT_EQ(s.mins[p], low);
    EXPECT_EQ(s.maxs[p], high);
  }

  // A spillover that does not fit the data is not applied either.
  const TIntVector inds{0, 9};
  const TMatrix inv{{1, 0}, {0, 1}};
  const TCompensation bad{inds, inv};
  Settings t(3, true);
  EXPECT_EQ(GetDataMatrix(data, 500, &bad, t.transform(), TWorkerPool(2)), M);
}

TEST(GetDataMatrix, OneByOneSpilloverLeavesValues) {
  const TSingleMatrix data{{3, 1, 2}};
  const TIntVector inds{0};
  const TMatrix inv{{1}};
  const TCompensation comp{inds, inv};
  Settings s(1);
  EXPECT_EQ(GetDataMatrix(data, 3, &comp, s.transform(false), TWorkerPool()), data);
}

TEST(GetDataMatrix, ErrorOfAWorkerReachesTheCaller) {
  const TSingleMatrix data = RandomData(3, 10, 3);
  Settings s(2);  // settings for two parameters only
  try {
    GetDataMatrix(data, 10, nullptr, s.transform(), TWorkerPool(3));
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
}

TEST(TransposeToRows, OneRowPerEvent) {
  const TSingleMatrix M{{1, 2, 3}, {4, 5, 6}};
  EXPECT_EQ(TransposeToRows(M, TWorkerPool(2)), (TMatrix{{1, 4}, {2, 5}, {3, 6}}));
  EXPECT_TRUE(TransposeToRows(TSingleMatrix{}, TWorkerPool(2)).empty());
}

}  // namespace
}  // namespace dbc
