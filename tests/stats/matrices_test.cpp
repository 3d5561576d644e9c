#include "stats/matrices.h"

#include <gtest/gtest.h>

namespace dbc {
namespace {

TMatrix Inverse(const TMatrix& a, std::int32_t expected = MatOk) {
  const int n = static_cast<int>(a.size());
  TMatrix inv(a.size(), TVector(a.size()));
  EXPECT_EQ(InvertMatrix(a, 0, n - 1, inv), expected);
  return inv;
}

TEST(InvertMatrix, InvertsASpilloverMatrixToSixPlaces) {
  const TMatrix a = {{1, 0.1, 0.02}, {0.05, 1, 0.1}, {0, 0.03, 1}};
  const TMatrix expected = {{1.00501, -0.100199, -0.01008},
                            {-0.050402, 1.008034, -0.099795},
                            {0.001512, -0.030241, 1.002994}};
  const TMatrix inv = Inverse(a);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(inv[i][j], expected[i][j], 5e-7) << i << "," << j;
}

TEST(InvertMatrix, UndoesRowAndColumnPivotsOnAPermutedMatrix) {
  // The largest elements sit off the diagonal, so every step pivots.
  const TMatrix a = {{0, 0, 5}, {0, 3, 1}, {7, 2, 0}};
  const TMatrix inv = Inverse(a);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += a[i][k] * inv[k][j];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
    }
}

TEST(InvertMatrix, ReportsSingularAndSmallCases) {
  Inverse({{1, 2}, {2, 4}}, MatSingular);
  Inverse({{0}}, MatSingular);
  Inverse({{1e-17}}, MatSingular);
  EXPECT_EQ(Inverse({{1}}), (TMatrix{{1}}));
  EXPECT_EQ(Inverse({{4}}), (TMatrix{{0.25}}));
}

TEST(InvertMatrix, WorksOnASubBlock) {
  const TMatrix a = {{9, 9, 9}, {9, 2, 0}, {9, 0, 4}};
  TMatrix inv(3, TVector(3, -1));
  ASSERT_EQ(InvertMatrix(a, 1, 2, inv), MatOk);
  EXPECT_DOUBLE_EQ(inv[1][1], 0.5);
  EXPECT_DOUBLE_EQ(inv[2][2], 0.25);
  EXPECT_EQ(inv[0][0], -1);  // outside the block: untouched
}

TEST(NormalizeVector, DividesByTheAbsoluteSum) {
  EXPECT_EQ(NormalizeVector({2, 2}), (TVector{0.5, 0.5}));
  EXPECT_EQ(NormalizeVector({1, -1}), (TVector{1, -1}));
  EXPECT_EQ(NormalizeVector({-1, -3}), (TVector{-0.25, -0.75}));
  EXPECT_TRUE(NormalizeVector({}).empty());
}

}  // namespace
}  // namespace dbc
