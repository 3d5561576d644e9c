// The transforms as methods of a data set read from FCS bytes: the log scale
// and clamp of one parameter in place, and the compensated data matrix.
#include <gtest/gtest.h>

#include <string>

#include "fcs/dataset.h"
#include "stats/log_scale.h"
#include "support/expect_error.h"
#include "support/fcs_builder.h"
#include "util/errors.h"
#include "util/numeric.h"

namespace dbc {
namespace {

using test::F32;
using test::OpenBytes;

// Three float parameters; event e holds columns[p][e].
test::Opened Open(const TSingleMatrix& columns, const std::string& spillover = "") {
  const std::size_t events = columns.empty() ? 0 : columns[0].size();
  test::FcsBuilder b = test::ListMode('F', std::vector<int>(columns.size(), 32), static_cast<std::int64_t>(events));
  if (!spillover.empty()) b.Key("$SPILLOVER", spillover);
  b.Key("$P2E", "4,1");
  for (std::size_t e = 0; e < events; ++e)
    for (const auto& column : columns) b.data += F32(column[e]);
  return OpenBytes(b.Build());
}

const TSingleMatrix kColumns{{100, 10, 1000, 1, 50, 0},
                             {7, 8, 9, 10, 11, 12},
                             {50, 20, 0, 300, 2000, 7}};

TEST(TDataSetTransforms, CropAndLogWorksInPlaceOnOneParameter) {
  auto opened = Open(kColumns);
  TDataSet& ds = *opened.stream->dataset[0];
  ds.logpar[0] = true;
  ds.CropAndLog(0);

  TSingleVector expected = kColumns[0];
  TScale scale;
  float low = 0, high = 0;
  TColumnScratch scratch;
  CropAndLogColumn(expected, true, 4.0, true, scale, low, high, scratch);
  EXPECT_EQ(ds.data[0], expected);
  EXPECT_EQ(ds.data[1], kColumns[1]);
  EXPECT_EQ(ds.Scales[0].decade, 4);
  EXPECT_EQ(ds.Scales[0].maxval, 1000);
  EXPECT_EQ(ds.mins[0], low);
  EXPECT_EQ(ds.maxs[0], high);
  EXPECT_EQ(ds.GetRow(2)[0], expected[2]);  // rows read the new values

  // Not log-scaled: only the clamp applies; a reused scratch changes nothing.
  ds.CropAndLog(2, scratch);
  EXPECT_EQ(ds.data[2], kColumns[2]);
  EXPECT_EQ(ds.Scales[2].decade, 0);
  EXPECT_EQ(ds.maxs[2], 2000);

  EXPECT_THROW_MSG(ds.CropAndLog(3), EListError, "List index out of bounds (3)");
}

TEST(TDataSetTransforms, NoEvents) {
  auto opened = Open({{}, {}, {}});
  TDataSet& ds = *opened.stream->dataset[0];
  ds.mins[1] = ds.maxs[1] = 5;
  ds.logpar[1] = true;
  ds.CropAndLog(1);
  EXPECT_EQ(ds.mins[1], 0);
  EXPECT_EQ(ds.maxs[1], 0);
  EXPECT_TRUE(ds.GetDataMatrix(false).size() == 3u);
  EXPECT_TRUE(ds.GetDataMatrixDouble(false).empty());
}

TEST(TDataSetTransforms, LogScaleFollowsTheAmplifier) {
  auto opened = Open(kColumns);
  const TDataSet& ds = *opened.stream->dataset[0];
  EXPECT_FALSE(ds.LogScale(0));
  EXPECT_TRUE(ds.LogScale(1));
  EXPECT_FALSE(ds.LogScale(7));
}

TEST(TDataSetTransforms, DataMatrixIsCompensatedThenScaled) {
  // Parameters 1 and 3 are listed; spill_inv is the inverse of this matrix.
  auto opened = Open(kColumns, "2,1,3,1,0.1,0.2,1");
  TDataSet& ds = *opened.stream->dataset[0];
  ASSERT_EQ(ds.spill_inv.size(), 2u);
  ds.CropOutliers = false;
  const TSingleMatrix M = ds.GetDataMatrix(false);
  ASSERT_EQ(M.size(), 3u);
  for (std::size_t e = 0; e < 6; ++e) {
    const double p0 = kColumns[0][e], p2 = kColumns[2][e];
    const float c0 = static_cast<float>(static_cast<float>(ds.spill_inv[0][0] * p0) + ds.spill_inv[1][0] * p2);
    const float c2 = static_cast<float>(static_cast<float>(ds.spill_inv[0][1] * p0) + ds.spill_inv[1][1] * p2);
    EXPECT_EQ(M[0][e], c0) << e;
    EXPECT_EQ(M[2][e], c2) << e;
  }
  EXPECT_EQ(M[1], kColumns[1]);
  EXPECT_EQ(ds.data, kColumns);  // data is only read

  const TMatrix rows = ds.GetDataMatrixDouble(false);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[4], (TVector{M[0][4], M[1][4], M[2][4]}));

  ds.ApplySpillover = false;
  EXPECT_EQ(ds.GetDataMatrix(false), kColumns);
}

TEST(TDataSetTransforms, SingularSpilloverGivesTheRawValues) {
  auto opened = Open(kColumns, "2,1,3,1,1,1,1");
  TDataSet& ds = *opened.stream->dataset[0];
  EXPECT_TRUE(ds.SpillSingular);
  ds.CropOutliers = false;
  EXPECT_EQ(ds.GetDataMatrix(false), kColumns);
}

}  // namespace
}  // namespace dbc
