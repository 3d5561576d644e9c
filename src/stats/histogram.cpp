#include "stats/histogram.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "util/simd.h"

namespace dbc {

namespace {

std::size_t sample_length(std::size_t length, int size) {
  if (size == -1) return length;
  if (size < 0) return 0;
  return std::min(length, static_cast<std::size_t>(size));
}

// The values a stable ascending sort would put first and last: the first of
// the smallest and the last of the largest (this tells -0.0 from 0.0).
// False when a NaN is present, which only the merge sort itself can place.
bool stable_extremes(const float* w, std::size_t n, float& lo, float& hi) {
  if (ValueRange(w, n, lo, hi)) return false;
  if (lo == 0) lo = FirstZero(w, n);
  if (hi == 0) hi = LastZero(w, n);
  return true;
}

}  // namespace

Thistogram Thistogram::FromSample(const TSingleVector& W, int maxpoints) {
  Thistogram h;
  h.HistoPoints = maxpoints;
  h.FillFromValues(W.data(), W.size(), nullptr);
  return h;
}

Thistogram Thistogram::Create(const TSingleVector& V, int maxpoints, int size) {
  Thistogram h;
  h.HistoPoints = maxpoints;
  h.FillFromValues(V.data(), sample_length(V.size(), size), nullptr);
  return h;
}

Thistogram Thistogram::Create(const TSingleVector& V, int maxpoints, int size, TColumnScratch& scratch) {
  Thistogram h;
  h.HistoPoints = maxpoints;
  h.FillFromValues(V.data(), sample_length(V.size(), size), &scratch);
  return h;
}

Thistogram Thistogram::Create(const TIntVector& V, int resolution) {
  TSingleVector W(V.size());
  std::transform(V.begin(), V.end(), W.begin(), [](std::int32_t v) { return static_cast<float>(v); });
  return FromSample(W, resolution);
}

Thistogram Thistogram::Create(const TMatrix& M, int maxpoints) {
  TSingleVector W;
  if (!M.empty()) {
    const std::size_t width = M[0].size();
    for (const TVector& row : M) {
      const std::size_t n = std::min(width, row.size());
      for (std::size_t i = 0; i < n; ++i) W.push_back(static_cast<float>(row[i]));
    }
  }
  return FromSample(W, maxpoints);
}

Thistogram Thistogram::Create(float VMin, float VMax, int NPoints) {
  Thistogram h;
  h.CreateXScale(VMin, VMax, NPoints);
  return h;
}

float Thistogram::Average() const {
  if (Total == 0) return 0;
  return static_cast<float>(Sum / Total);
}

void Thistogram::CreateXScale(float x_min, float x_max, int maxpoints) {
  const std::size_t points = maxpoints > 0 ? static_cast<std::size_t>(maxpoints) : 0;
  HistoPoints = maxpoints;
  Yvalue.resize(points);
  Xvalue.resize(points);
  xmin = x_min;
  xmax = x_max;
  delta = static_cast<float>(static_cast<double>(xmax) - xmin);
  step = points > 0 ? static_cast<float>(static_cast<double>(delta) / static_cast<double>(points)) : 0;
  halfstep = static_cast<float>(static_cast<double>(step) / 2);
  if (step != 0) {
    scale = static_cast<float>(1.0 / step);
    for (std::size_t i = 0; i < points; ++i) Xvalue[i] = (static_cast<double>(i) + 0.5) * step + xmin;
  } else {
    scale = 1;
  }
}

void Thistogram::CreateXScale(const TSingleVector& V, int maxpoints, int size) {
  ScaleFromSample(V.data(), sample_length(V.size(), size), maxpoints, nullptr);
}

void Thistogram::CreateXScale(const TSingleVector& V, int maxpoints, int size, TColumnScratch& scratch) {
  ScaleFromSample(V.data(), sample_length(V.size(), size), maxpoints, &scratch);
}

void Thistogram::ScaleFromSample(const float* w, std::size_t n, int maxpoints, TColumnScratch* scratch) {
  xmin = 0;
  xmax = 0;
  step = 0;
  if (n > 0) {
    bool found = false;
    if (!(scratch && scratch->reference)) found = stable_extremes(w, n, xmin, xmax);
    if (!found) {
      TColumnScratch local;
      TColumnScratch& s = scratch ? *scratch : local;
      SortedCopy(w, n, s);
      xmin = s.sorted[0];
      xmax = s.sorted[n - 1];
    }
    step = static_cast<float>(static_cast<double>(xmax) - xmin);
  }
  if (step != 0) {
    CreateXScale(xmin, xmax, maxpoints);
  } else {
    // No spread: one point at the common value (0 without values), which
    // the fill then counts in full.
    Xvalue.assign(1, xmin);
    Yvalue.assign(1, 0);
  }
}

void Thistogram::FillFromValues(const float* w, std::size_t n, TColumnScratch* scratch) {
  ScaleFromSample(w, n, HistoPoints, scratch);
  if (scratch && scratch->reference)
    AddRangeReference(w, n);
  else
    AddRange(w, n);
}

void Thistogram::AddValue(float X) { AddRange(&X, 1); }

void Thistogram::AddValues(const TSingleVector& X, int Start, int Stop) {
  if (X.empty()) return;
  const std::ptrdiff_t first = std::max(Start, 0);
  const std::ptrdiff_t last = std::min<std::ptrdiff_t>(Stop, static_cast<std::ptrdiff_t>(X.size()) - 1);
  if (last < first) return;
  AddRange(X.data() + first, static_cast<std::size_t>(last - first + 1));
}

// A value whose offset from xmin is t = k + f steps adds 1 - f to point k and
// f to point k + 1. Values at or left of the first centre go to the first
// point, values at or right of the last centre to the last one.
//
// Chunk by chunk: first each value's point and share, four at a time, then
// the additions in the order of the values, since sums of doubles depend on
// their order.
void Thistogram::AddRange(const float* x, std::size_t n) {
  const std::size_t points = Yvalue.size();
  double sum = Sum;
  if (points > 0) {
    double* y = Yvalue.data();
    const auto last = static_cast<std::int32_t>(points - 1);
    const double lastpos = static_cast<double>(points - 1);
    const double upper = static_cast<double>(delta) - halfstep;
    using simd::D4;
    using simd::F4;
    using simd::I4;
    const double lo = xmin;
    const D4 lo4 = {lo, lo, lo, lo};
    // A float compared with a double u compares the same with the smallest
    // float at or above u; a float times a float is exact in double, so
    // its rounding to float is the float product; t - trunc(t) is exact.
    const F4 scale4 = simd::Splat(scale), half4 = simd::Splat(halfstep), zero4 = simd::Splat(0.0f);
    const F4 upper4 = simd::Splat(FloatAtOrAbove(upper)), lastpos4 = simd::Splat(FloatAtOrAbove(lastpos));
    const I4 last4 = simd::Splat(last);
    constexpr std::size_t kChunk = 256;
    alignas(16) std::int32_t point[kChunk];
    alignas(16) float share[kChunk];
    alignas(16) std::int32_t inner[kChunk];
    for (std::size_t start = 0; start < n; start += kChunk) {
      const std::size_t m = std::min(kChunk, n - start);
      const float* xs = x + start;
      for (std::size_t i = 0; i < m; i += 4) {
        F4 X;
        if (i + 4 <= m) {
          X = simd::Load(xs + i);
        } else {
          float pad[4] = {0, 0, 0, 0};  // the lanes past the end are not used
          std::copy(xs + i, xs + m, pad);
          X = simd::Load(pad);
        }
        const F4 d = DBC_SIMD_NARROW(DBC_SIMD_WIDEN(X) - lo4);
        const F4 t = d * scale4;
        // Left of the first centre: !(d > half); right of the last one:
        // !(d < upper); between them a point k < last, else an edge.
        const I4 pastFirst = d > half4;
        const I4 beforeLast = d < upper4;
        const I4 middle = pastFirst & beforeLast;
        const I4 in = middle & (t >= zero4) & (t < lastpos4);
        const I4 toLast = (pastFirst & ~beforeLast) | (middle & ~in & (t >= lastpos4));
        const F4 ti = in ? t : zero4;
        const I4 k = DBC_SIMD_TRUNCATE(ti);
        simd::Store(point + i, in ? k : (toLast & last4));
        simd::Store(share + i, ti - __builtin_convertvector(k, F4));
        simd::Store(inner + i, in);
      }
      for (std::size_t i = 0; i < m; ++i) {
        const std::int32_t k = point[i];
        if (!inner[i]) {
          y[k] += 1;
        } else {
          y[k] += 1 - static_cast<double>(share[i]);
          y[k + 1] += share[i];
        }
        sum += xs[i];
      }
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) sum += x[i];
  }
  Sum = sum;
  Total = static_cast<std::int32_t>(static_cast<std::uint32_t>(Total) + static_cast<std::uint32_t>(n));
}

// The plain fill, one value at a time: the reference.
void Thistogram::AddRangeReference(const float* x, std::size_t n) {
  const std::size_t points = Yvalue.size();
  double sum = Sum;
  if (points > 0) {
    double* y = Yvalue.data();
    const std::size_t last = points - 1;
    const double lastpos = static_cast<double>(last);
    const double upper = static_cast<double>(delta) - halfstep;
    for (std::size_t i = 0; i < n; ++i) {
      const float X = x[i];
      const float d = static_cast<float>(static_cast<double>(X) - xmin);
      if (!(d > halfstep)) {
        y[0] += 1;
      } else if (!(d < upper)) {
        y[last] += 1;
      } else {
        const float t = static_cast<float>(static_cast<double>(d) * scale);
        if (t >= 0 && t < lastpos) {
          const auto k = static_cast<std::size_t>(t);
          const float f = static_cast<float>(static_cast<double>(t) - static_cast<double>(k));
          y[k] += 1 - static_cast<double>(f);
          y[k + 1] += f;
        } else if (t >= lastpos) {
          y[last] += 1;
        } else {
          y[0] += 1;
        }
      }
      sum += X;
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) sum += x[i];
  }
  Sum = sum;
  Total = static_cast<std::int32_t>(static_cast<std::uint32_t>(Total) + static_cast<std::uint32_t>(n));
}

void Thistogram::Reset() {
  Total = 0;
  Sum = 0;
  std::fill(Yvalue.begin(), Yvalue.end(), 0.0);
}

void Thistogram::Smooth() { GaussSmooth(Yvalue, 1.0); }

float Thistogram::Percentile(float p, std::int32_t* Index) const {
  const double a = CumulativePosition(Yvalue, p);
  if (Index) *Index = static_cast<std::int32_t>(std::nearbyint(a));
  return static_cast<float>((a + 0.5) * step + xmin);
}

// The smoothed heights are walked downhill from the median point in both
// directions; the walk that reaches the lower height ends on the valley (on
// equal heights the left one).
std::ptrdiff_t Thistogram::ValleyIndex() const {
  const auto count = static_cast<std::ptrdiff_t>(std::min(Xvalue.size(), Yvalue.size()));
  if (count == 0) return -1;
  std::int32_t median = 0;
  Percentile(0.5f, &median);
  const std::ptrdiff_t m = std::clamp<std::ptrdiff_t>(median, 0, count - 1);

  TVector S(Yvalue);
  GaussSmooth(S, static_cast<double>(S.size()) / 100);

  // Running minima are held as 32-bit floats.
  std::ptrdiff_t i = m;
  float a = static_cast<float>(S[static_cast<std::size_t>(m)]);
  while (1 <= i && i <= count - 2 && S[static_cast<std::size_t>(i + 1)] < a) {
    a = static_cast<float>(S[static_cast<std::size_t>(i + 1)]);
    ++i;
  }
  std::ptrdiff_t j = m;
  float b = static_cast<float>(S[static_cast<std::size_t>(m)]);
  while (1 <= j && j <= count - 2 && S[static_cast<std::size_t>(j - 1)] < b) {
    b = static_cast<float>(S[static_cast<std::size_t>(j - 1)]);
    --j;
  }
  return a < b ? i : j;
}

float Thistogram::ValleyPoint() const {
  const std::ptrdiff_t idx = ValleyIndex();
  return idx < 0 ? 0 : static_cast<float>(Xvalue[static_cast<std::size_t>(idx)]);
}

float Thistogram::GuessThreshold() const {
  const std::ptrdiff_t idx = ValleyIndex();
  if (idx < 0) return 0;
  float t = static_cast<float>(Xvalue[static_cast<std::size_t>(idx)]);
  // Not from a valley on either end point.
  const auto count = static_cast<std::ptrdiff_t>(std::min(Xvalue.size(), Yvalue.size()));
  if (1 <= idx && idx <= count - 2) {
    const TVector upper(Yvalue.begin() + idx, Yvalue.end());
    const double q = CumulativePosition(upper, 0.025);
    t = static_cast<float>(t + (q + 0.5) * step);
  }
  return t;
}

}  // namespace dbc
