// The ruler under the chart: decades of the measured value placed on the
// log scale, round steps for values used as they are, thinning of marks
// that crowd together, and the decade labels.
#include "app/value_ruler.h"

#include <gtest/gtest.h>

#include <cmath>

#include "stats/log_scale.h"

namespace dbc {
namespace {

TEST(ValueRuler, DecadeLabels) {
  struct Case {
    int exponent;
    bool negative;
    const char* label;
  };
  const Case cases[] = {{0, false, "10⁰"},  {1, false, "10¹"},   {4, false, "10⁴"},
                        {12, false, "10¹²"}, {3, true, "-10³"},  {-2, false, "10⁻²"}};
  for (const auto& c : cases) EXPECT_EQ(DecadeLabel(c.exponent, c.negative), c.label) << c.exponent;
}

// A CyTOF-like channel: 0 .. 5000 over four decades.
TEST(ValueRuler, DecadesSitWhereTheirValuesLandOnTheScale) {
  const TScale s{0, 5000, 4};
  const double xmin = LogScaleValue(0, s), xmax = LogScaleValue(5000, s);
  const std::vector<RulerTick> ticks = RulerTicks(s, xmin, xmax);
  ASSERT_FALSE(ticks.empty());
  std::vector<std::string> labels;
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    const RulerTick& t = ticks[i];
    EXPECT_GE(t.x, xmin);
    EXPECT_LE(t.x, xmax);
    if (i > 0) {
      EXPECT_GT(t.x, ticks[i - 1].x) << "ordered, no two in one place";
    }
    EXPECT_EQ(t.major, !t.label.empty());
    if (t.major) labels.push_back(t.label);
  }
  // 0 at the low end, then the decades up to 10³; 10⁴ lies beyond 5000.
  const std::vector<std::string> expected{"0", "10⁻¹", "10⁰", "10¹", "10²", "10³"};
  EXPECT_EQ(labels, expected);
  for (const RulerTick& t : ticks) {
    if (t.label == "10²") {
      EXPECT_DOUBLE_EQ(t.x, LogScaleValue(100, s));
    }
  }
  // Minor marks between 10² and 10³: 200 .. 900.
  int minors = 0;
  for (const RulerTick& t : ticks) {
    if (!t.major && t.x > LogScaleValue(100, s) && t.x < LogScaleValue(1000, s)) ++minors;
  }
  EXPECT_EQ(minors, 8);
}

TEST(ValueRuler, OnlyTheVisiblePartAndNegativeDecades) {
  const TScale s{-500, 100000, 4};
  // The chart shows the values from 50 to 20000 only (clamped outliers).
  const double xmin = LogScaleValue(50, s), xmax = LogScaleValue(20000, s);
  std::vector<std::string> labels;
  for (const RulerTick& t : RulerTicks(s, xmin, xmax)) {
    EXPECT_GE(t.x, xmin);
    EXPECT_LE(t.x, xmax);
    if (t.major) labels.push_back(t.label);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"10²", "10³", "10⁴"}));
  // The whole range reaches -10² and 0.
  labels.clear();
  for (const RulerTick& t : RulerTicks(s, LogScaleValue(-500, s), LogScaleValue(100000, s)))
    if (t.major) labels.push_back(t.label);
  ASSERT_GE(labels.size(), 3u);
  EXPECT_EQ(labels.front(), "-10²");
  EXPECT_EQ(labels.back(), "10⁵");
  EXPECT_NE(std::find(labels.begin(), labels.end(), "0"), labels.end());
}

TEST(ValueRuler, CrowdedMarksAreThinned) {
  // Near the low end the small decades fall within a hair of each other.
  const TScale s{0, 100000, 4};
  const double xmin = LogScaleValue(0, s), xmax = LogScaleValue(100000, s);
  const std::vector<RulerTick> ticks = RulerTicks(s, xmin, xmax);
  for (std::size_t i = 1; i < ticks.size(); ++i)
    EXPECT_GE(ticks[i].x - ticks[i - 1].x, (xmax - xmin) / 400) << ticks[i].label;
  EXPECT_EQ(ticks.front().label, "0") << "0 wins its place";
}

TEST(ValueRuler, RoundStepsForValuesUsedAsTheyAre) {
  struct Case {
    double xmin, xmax;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {0, 4, {"0", "0.5", "1", "1.5", "2", "2.5", "3", "3.5", "4"}},
      {-1.2, 3.3, {"-1", "0", "1", "2", "3"}},
      {0.01, 0.02, {"0.01", "0.012", "0.014", "0.016", "0.018", "0.02"}},
      {10, 90, {"10", "20", "30", "40", "50", "60", "70", "80", "90"}},
      {5, 5, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> labels;
    for (const RulerTick& t : RulerTicks(std::nullopt, c.xmin, c.xmax)) {
      EXPECT_TRUE(t.major);
      labels.push_back(t.label);
    }
    EXPECT_EQ(labels, c.labels) << c.xmin << " .. " << c.xmax;
  }
  EXPECT_TRUE(RulerTicks(std::nullopt, 3, 1).empty());
}

}  // namespace
}  // namespace dbc
