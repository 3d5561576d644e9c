#pragma once
// The ruler under the histogram chart: where the measured values of a bit's
// parameter lie on the chart's horizontal axis (the log-scaled values Load
// classifies on).
//
// For a column Load put on the log scale the ruler marks decades of the
// measured value (0, 1, 10, 100, ... and their negatives where the range
// reaches them), with minor marks at 2..9 of each decade; for values used
// as they are it marks round steps of the value itself.
#include <optional>
#include <string>
#include <vector>

#include "stats/scale.h"

namespace dbc {

struct RulerTick {
  double x = 0;       // position on the chart's axis
  std::string label;  // UTF-8; empty for a minor mark
  bool major = true;
};

// The marks that fall within [xmin, xmax], ordered by x. `scale` is the
// bit's log scale, nothing when the values are used as they are.
std::vector<RulerTick> RulerTicks(const std::optional<TScale>& scale, double xmin, double xmax);

// "10⁴", "-10²", "1", "0": a decade's label.
std::string DecadeLabel(int exponent, bool negative);

}  // namespace dbc
