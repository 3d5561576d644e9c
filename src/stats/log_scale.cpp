#include "stats/log_scale.h"

#include <cmath>
#include <string>

#include "util/errors.h"

namespace dbc {

namespace {

// Lower bound first, then upper: a NaN passes unchanged.
inline float clamp_to(float v, float lo, float hi) {
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return v;
}

// Walks outwards from the middle of the sorted column and moves the kept
// range [e, d] inwards to the first step wider than 1/256 of the range,
// repeating with the narrower range until nothing moves. Differences are
// taken in double precision from the float values.
void gap_search(const TSingleVector& s, std::size_t& e, std::size_t& d) {
  const std::size_t half = s.size() / 2;
  for (;;) {
    const std::size_t e0 = e, d0 = d;
    const double gap = (static_cast<double>(s[d0]) - static_cast<double>(s[e0])) / 256;
    e = half;
    while (e > e0 && !(static_cast<double>(s[e]) - static_cast<double>(s[e - 1]) > gap)) --e;
    d = half;
    while (d < d0 && !(static_cast<double>(s[d + 1]) - static_cast<double>(s[d]) > gap)) ++d;
    if (e == e0 && d == d0) return;
  }
}

}  // namespace

void LogScaleVector(TSingleVector& V, TScale& S) {
  MinMax(V, S.minval, S.maxval, false);
  const float a = static_cast<float>(std::pow(10.0, static_cast<double>(S.decade)));
  if (!(S.maxval > S.minval)) return;
  const float lo = S.minval, hi = S.maxval;
  const double a1 = static_cast<double>(a) - 1;
  const double mina = static_cast<double>(lo) * static_cast<double>(a);
  const double maxv = hi;
  const double dec = S.decade;
  for (float& v : V) {
    const double c = clamp_to(v, lo, hi);
    v = static_cast<float>(std::log10(c * a1 - mina + maxv) - dec);
  }
}

double LogScaleValue(double v, const TScale& S) {
  const double dec = S.decade;
  const double a = std::pow(10.0, dec);
  return std::log10(v * (a - 1) - static_cast<double>(S.minval) * a + static_cast<double>(S.maxval)) - dec;
}

void CropAndLogColumn(TSingleVector& column, bool log_scale, double decades, bool crop_outliers,
                      TScale& scale, float& low, float& high, TColumnScratch& scratch) {
  const std::size_t N = column.size();
  if (N == 0) {
    low = high = 0;
    return;
  }
  // Size the scratch before the column changes, so that a failed allocation
  // leaves the column as it was.
  scratch.sorted.resize(N);
  if (scratch.spare.size() < N) scratch.spare.resize(N);

  if (log_scale) {
    scale.decade = static_cast<float>(decades);
    LogScaleVector(column, scale);
    if (scale.minval == scale.maxval) scale.decade = 0;
  } else {
    scale.decade = 0;
  }

  SortedCopy(column.data(), N, scratch);
  const TSingleVector& sorted = scratch.sorted;
  std::size_t e = 0, d = N - 1;
  if (crop_outliers) gap_search(sorted, e, d);
  // Too few values between the gaps: they were no outliers but the data.
  if (d - e < (3 * N) / 4) {
    e = 0;
    d = N - 1;
  }
  low = sorted[e];
  high = sorted[d];
  for (float& v : column) v = clamp_to(v, low, high);
}

void CropAndLogColumns(TSingleMatrix& M, int first, int count, const TColumnTransform& t,
                       TColumnScratch& scratch) {
  for (int i = 0; i < count; ++i) {
    const int p = first + i;
    const auto up = static_cast<std::size_t>(p);
    if (p < 0 || up >= M.size() || up >= t.logpar.size() || up >= t.Scales.size() || up >= t.mins.size() ||
        up >= t.maxs.size())
      throw EListError("List index out of bounds (" + std::to_string(p) + ")");
    CropAndLogColumn(M[up], t.logpar[up], t.Decades, t.CropOutliers, t.Scales[up], t.mins[up], t.maxs[up],
                     scratch);
  }
}

}  // namespace dbc
