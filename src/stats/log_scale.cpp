#include "stats/log_scale.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "util/errors.h"
#include "util/simd.h"

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

// clamp_to on every value, four at a time.
void clamp_all(float* x, std::size_t n, float lo, float hi) {
  const simd::F4 lo4 = simd::Splat(lo), hi4 = simd::Splat(hi);
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    simd::F4 v = simd::Load(x + i);
    v = v < lo4 ? lo4 : v;
    v = v > hi4 ? hi4 : v;
    simd::Store(x + i, v);
  }
  for (; i < n; ++i) x[i] = clamp_to(x[i], lo, hi);
}

// ---------------------------------------------------------------------------
// The log scale.

// The map of one column onto the log scale, in double precision:
//   v -> log10(c (a - 1) - min a + max) - decade,  c = v clamped to [min, max].
struct LogMap {
  float lo = 0, hi = 0;
  double a1 = 0, mina = 0, maxv = 0, dec = 0;
  double Argument(float v) const { return static_cast<double>(clamp_to(v, lo, hi)) * a1 - mina + maxv; }
  float Plain(float v) const { return static_cast<float>(std::log10(Argument(v)) - dec); }
};

LogMap MakeLogMap(const TScale& S) {
  const float a = static_cast<float>(std::pow(10.0, static_cast<double>(S.decade)));
  LogMap m;
  m.lo = S.minval;
  m.hi = S.maxval;
  m.a1 = static_cast<double>(a) - 1;
  m.mina = static_cast<double>(S.minval) * static_cast<double>(a);
  m.maxv = S.maxval;
  m.dec = S.decade;
  return m;
}

// log10 of a positive normal double to within 2^-43 (the series of
// 2 atanh(s), s = (m - 1) / (m + 1), on the mantissa m in [sqrt(1/2),
// sqrt(2)), to s^15). Other arguments give some value that the caller
// does not use.
inline double approx_log10(double z) {
  constexpr double kLog10Of2 = 0.30102999566398119521;
  constexpr double kInvLn10 = 0.43429448190325182765;
  const auto u = std::bit_cast<std::uint64_t>(z);
  // Exponent k + 1023 of z / m, with m = z / 2^k in [sqrt(1/2), sqrt(2)).
  const std::uint64_t kb = (u - 0x3fe6a09e667f3bcdULL + 0x3ff0000000000000ULL) >> 52;
  const double m = std::bit_cast<double>(u - ((kb - 1023) << 52));
  const double k = std::bit_cast<double>(0x4330000000000000ULL | kb) - 4503599627371519.0;  // 2^52 + 1023
  const double f = m - 1.0;
  const double s = f / (2.0 + f);
  const double s2 = s * s;
  const double p =
      s2 * (1.0 / 3 + s2 * (1.0 / 5 + s2 * (1.0 / 7 + s2 * (1.0 / 9 + s2 * (1.0 / 11 + s2 * (1.0 / 13 + s2 / 15))))));
  return k * kLog10Of2 + (2 * s + 2 * s * p) * kInvLn10;
}

// Both comparisons in full, so that the loop has no branch to vectorize
// around.
inline bool positive_normal(double z) { return (z >= 0x1p-1022) & (z <= 1.7976931348623157e308); }

// V := the map of V, every value the float that std::log10 gives. The
// approximation is taken only when the float it rounds to is the same for
// everything within 2^-36 of it: std::log10 (within a few units of the
// last place) and the approximation (within 2^-43) lie much closer than
// that to log10 itself, so both round to that float. The other values (a
// few in ten thousand, and every argument that is not a positive normal
// number) take std::log10. Chunks of values are mapped branch-free, which
// the compiler vectorizes; the AVX2 clone doubles the lanes where the
// processor has them (without FMA, so that the argument is computed with
// the same roundings as the plain map).
__attribute__((target_clones("avx2", "default"))) void log_values(float* v, std::size_t n, const LogMap& g) {
  // Beyond some 2^16 an ulp of the difference exceeds the margin.
  if (!(std::fabs(g.dec) <= 1024)) {
    for (std::size_t i = 0; i < n; ++i) v[i] = g.Plain(v[i]);
    return;
  }
  constexpr double kMargin = 0x1p-36;
  constexpr std::size_t kChunk = 512;
  float in[kChunk];
  unsigned char unsure[kChunk];
  for (std::size_t start = 0; start < n; start += kChunk) {
    const std::size_t m = std::min(kChunk, n - start);
    float* out = v + start;
    std::copy(out, out + m, in);
    unsigned any = 0;
    for (std::size_t i = 0; i < m; ++i) {
      const double z = g.Argument(in[i]);
      const double y = approx_log10(z) - g.dec;
      const bool sure =
          positive_normal(z) & (static_cast<float>(y - kMargin) == static_cast<float>(y + kMargin));
      out[i] = static_cast<float>(y);
      unsure[i] = !sure;
      any |= !sure;
    }
    if (any)
      for (std::size_t i = 0; i < m; ++i)
        if (unsure[i]) out[i] = g.Plain(in[i]);
  }
}

// ---------------------------------------------------------------------------
// The outlier bounds without a sorted copy.
//
// The gap search only compares neighbours of the sorted column. Put the
// values of the kept range [s[e], s[d]] into buckets of equal width (2048 of
// them, each far narrower than the gap, which is 1/256 of the range) with
// each bucket's count, smallest and largest value: a step between
// neighbours inside one bucket is at most the bucket's spread, and a step
// between buckets is the smallest value of one bucket minus the largest of
// the nonempty bucket before it, the same two floats the sorted column
// holds there. Bucket counts give the ranks. So the walk of gap_search runs
// bucket by bucket, with the same comparisons on the same values. When the
// range narrows so far that a bucket spreads wider than the new gap, the
// buckets are filled again over the new range.

constexpr std::size_t kBuckets = 2048;
constexpr int kMaxFills = 16;

struct Buckets {
  TColumnScratch& s;
  // Ranks: bucket j holds ranks start[j] .. start[j + 1] - 1.
  std::size_t* start() { return s.bucketStart.data(); }
  std::size_t Count(std::size_t j) const { return s.bucketStart[j + 1] - s.bucketStart[j]; }

  // The values of x within [lo, hi] (ranks `first` on), lo < hi. Bucket
  // indices are computed four values at a time; values outside the range
  // go to an extra bucket that is not looked at.
  void Fill(const float* x, std::size_t n, float lo, float hi, std::size_t first) {
    s.bucketStart.assign(kBuckets + 2, 0);
    s.bucketMin.assign(kBuckets + 1, std::numeric_limits<float>::infinity());
    s.bucketMax.assign(kBuckets + 1, -std::numeric_limits<float>::infinity());
    std::size_t* count = s.bucketStart.data() + 1;
    float* mn = s.bucketMin.data();
    float* mx = s.bucketMax.data();
    using simd::F4;
    using simd::I4;
    // Any index that does not decrease with v serves (the spread of every
    // bucket is checked): float arithmetic, or double where the scale of a
    // range of subnormal width exceeds the floats.
    const double per = static_cast<double>(kBuckets) / (static_cast<double>(hi) - static_cast<double>(lo));
    const bool floatScale = per <= static_cast<double>(std::numeric_limits<float>::max());
    const F4 per4 = simd::Splat(floatScale ? static_cast<float>(per) : 0.0f);
    const F4 top4 = simd::Splat(static_cast<float>(kBuckets - 1)), zero4 = simd::Splat(0.0f);
    const F4 lo4 = simd::Splat(lo), hi4 = simd::Splat(hi);
    const I4 outside4 = simd::Splat(static_cast<std::int32_t>(kBuckets));
    constexpr std::size_t kChunk = 256;
    alignas(16) std::int32_t bucket[kChunk];
    for (std::size_t start = 0; start < n; start += kChunk) {
      const std::size_t m = std::min(kChunk, n - start);
      const float* xs = x + start;
      for (std::size_t i = 0; floatScale && i < m; i += 4) {
        F4 v;
        if (i + 4 <= m) {
          v = simd::Load(xs + i);
        } else {
          float pad[4] = {lo, lo, lo, lo};  // the lanes past the end are not used
          std::copy(xs + i, xs + m, pad);
          v = simd::Load(pad);
        }
        F4 pos = (v - lo4) * per4;
        pos = pos < top4 ? pos : top4;
        pos = pos > zero4 ? pos : zero4;
        simd::Store(bucket + i, ((v >= lo4) & (v <= hi4)) ? DBC_SIMD_TRUNCATE(pos) : outside4);
      }
      for (std::size_t i = 0; !floatScale && i < m; ++i) {
        const float v = xs[i];
        const double pos = std::min((static_cast<double>(v) - static_cast<double>(lo)) * per, double{kBuckets - 1});
        bucket[i] = v >= lo && v <= hi ? static_cast<std::int32_t>(pos) : static_cast<std::int32_t>(kBuckets);
      }
      for (std::size_t i = 0; i < m; ++i) {
        const std::int32_t j = bucket[i];
        const float v = xs[i];
        ++count[j];
        mn[j] = v < mn[j] ? v : mn[j];
        mx[j] = v > mx[j] ? v : mx[j];
      }
    }
    s.bucketStart[0] = first;
    for (std::size_t j = 1; j <= kBuckets; ++j) s.bucketStart[j] += s.bucketStart[j - 1];
  }

  // No two neighbours inside one nonempty bucket of [jlo, jhi] are more
  // than `gap` apart.
  bool NarrowerThan(std::size_t jlo, std::size_t jhi, double gap) const {
    for (std::size_t j = jlo; j <= jhi; ++j)
      if (Count(j) > 0 &&
          static_cast<double>(s.bucketMax[j]) - static_cast<double>(s.bucketMin[j]) > gap)
        return false;
    return true;
  }
};

// gap_search on the n values of x in any order, all finite, whose extremes
// are vmin and vmax. e and d receive the ranks of the bounds kept, se and
// sd their values. False when the buckets cannot decide (then the column
// is to be sorted).
bool gap_search_unsorted(const float* x, std::size_t n, float vmin, float vmax, std::size_t& e,
                         std::size_t& d, float& se, float& sd, TColumnScratch& scratch) {
  const std::size_t half = n / 2;
  e = 0;
  d = n - 1;
  se = vmin;
  sd = vmax;
  Buckets b{scratch};
  std::size_t jlo = 0, jhi = 0;  // the buckets that hold ranks e .. d
  bool filled = false, fresh = false;
  int fills = 0;
  for (;;) {
    const double gap = (static_cast<double>(sd) - static_cast<double>(se)) / 256;
    // No step exceeds a gap of 0 (all values equal) or an infinite one.
    if (!(gap > 0) || std::isinf(gap)) return true;
    if (!filled || !b.NarrowerThan(jlo, jhi, gap)) {
      if (fresh || ++fills > kMaxFills) return false;
      // Ranks below e hold smaller values than se, ranks above d larger
      // ones than sd (the bounds were found at steps), so the buckets
      // receive exactly ranks e .. d.
      b.Fill(x, n, se, sd, e);
      if (b.start()[kBuckets] != d + 1) return false;
      jlo = 0;
      jhi = kBuckets - 1;
      filled = fresh = true;
      continue;
    }
    fresh = false;
    const std::size_t* start = b.start();
    const float* mn = scratch.bucketMin.data();
    const float* mx = scratch.bucketMax.data();
    std::size_t jh = jlo;  // the bucket of rank half
    while (start[jh + 1] <= half) ++jh;

    std::size_t ne = e, nd = d, nlo = jlo, nhi = jhi;
    float nse = se, nsd = sd;
    for (std::size_t j = jh; start[j] > e;) {
      std::size_t p = j;
      do --p;
      while (b.Count(p) == 0);
      if (static_cast<double>(mn[j]) - static_cast<double>(mx[p]) > gap) {
        ne = start[j];
        nse = mn[j];
        nlo = j;
        break;
      }
      j = p;
    }
    for (std::size_t j = jh; start[j + 1] - 1 < d;) {
      std::size_t q = j;
      do ++q;
      while (b.Count(q) == 0);
      if (static_cast<double>(mn[q]) - static_cast<double>(mx[j]) > gap) {
        nd = start[j + 1] - 1;
        nsd = mx[j];
        nhi = j;
        break;
      }
      j = q;
    }
    if (ne == e && nd == d) return true;
    e = ne;
    d = nd;
    se = nse;
    sd = nsd;
    jlo = nlo;
    jhi = nhi;
  }
}

// The bounds of the kept range without sorting; false when the column
// holds a NaN (whose place only the merge sort defines) or the buckets
// cannot decide.
bool bounds_unsorted(const float* x, std::size_t n, bool crop_outliers, float& low, float& high,
                     TColumnScratch& scratch) {
  float vmin = x[0], vmax = x[0];
  bool nan = false;
  for (std::size_t i = 0; i < n; ++i) {
    const float v = x[i];
    nan |= v != v;
    vmin = v < vmin ? v : vmin;
    vmax = v > vmax ? v : vmax;
  }
  if (nan) return false;
  std::size_t e = 0, d = n - 1;
  float se = vmin, sd = vmax;
  if (crop_outliers && !gap_search_unsorted(x, n, vmin, vmax, e, d, se, sd, scratch)) return false;
  if (d - e < (3 * n) / 4) {
    e = 0;
    d = n - 1;
    se = vmin;
    sd = vmax;
  }
  // Which zero (+0 or -0) a bound of value zero is: the lower bound is the
  // first value of its rank's ties in the stable sort (it lies at a step or
  // at rank 0), the upper bound the last; equal values keep their input
  // order, so these are the first and the last zero of the input.
  low = se == 0 ? FirstZero(x, n) : se;
  high = sd == 0 ? LastZero(x, n) : sd;
  return true;
}

}  // namespace

void LogScaleVectorReference(TSingleVector& V, TScale& S) {
  MinMax(V, S.minval, S.maxval, false);
  if (!(S.maxval > S.minval)) return;
  const LogMap g = MakeLogMap(S);
  for (float& v : V) v = g.Plain(v);
}

void LogScaleVector(TSingleVector& V, TScale& S) {
  MinMax(V, S.minval, S.maxval, false);
  if (!(S.maxval > S.minval)) return;
  log_values(V.data(), V.size(), MakeLogMap(S));
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
  const bool reference = scratch.reference;
  // Size the scratch before the column changes, so that a failed allocation
  // leaves the column as it was (the sorted copy, on the fast path, only
  // for a column that turns out to need one).
  if (reference) {
    scratch.sorted.resize(N);
    if (scratch.spare.size() < N) scratch.spare.resize(N);
  } else {
    scratch.bucketStart.reserve(kBuckets + 2);
    scratch.bucketMin.reserve(kBuckets + 1);
    scratch.bucketMax.reserve(kBuckets + 1);
  }

  if (log_scale) {
    scale.decade = static_cast<float>(decades);
    if (reference)
      LogScaleVectorReference(column, scale);
    else
      LogScaleVector(column, scale);
    if (scale.minval == scale.maxval) scale.decade = 0;
  } else {
    scale.decade = 0;
  }

  if (reference || !bounds_unsorted(column.data(), N, crop_outliers, low, high, scratch)) {
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
  }
  clamp_all(column.data(), N, low, high);
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
