#pragma once
// Per-parameter logarithmic display scale: the linear range a column was
// mapped from and the number of decades it spans on the log axis.
#include <vector>

namespace dbc {

struct TScale {
  float minval = 0, maxval = 0, decade = 0;
};
using TScaleVector = std::vector<TScale>;

}  // namespace dbc
