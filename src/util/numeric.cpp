#include "util/numeric.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "util/simd.h"

namespace dbc {

namespace {

// Top-down merge sort of v[lo..hi]. The right element is taken only when the
// left one is strictly greater, so equal elements keep their order and an
// unordered comparison (NaN) takes the left one.
template <class T>
void merge_sort(T* v, std::ptrdiff_t lo, std::ptrdiff_t hi, T* scratch) {
  if (lo >= hi) return;
  const std::ptrdiff_t mid = (lo + hi) / 2;
  merge_sort(v, lo, mid, scratch);
  merge_sort(v, mid + 1, hi, scratch);
  std::copy(v + lo, v + mid + 1, scratch);
  std::ptrdiff_t i = 0, j = mid + 1, k = lo;
  while (k < j && j <= hi) {
    if (scratch[i] > v[j]) {
      v[k] = v[j];
      ++j;
    } else {
      v[k] = scratch[i];
      ++i;
    }
    ++k;
  }
  while (k < j) v[k++] = scratch[i++];
}

template <class T, class Alloc>
void merge_sort_all(std::vector<T, Alloc>& V, std::vector<T, Alloc>& scratch) {
  if (V.size() < 2) return;
  if (scratch.size() < V.size()) scratch.resize(V.size());
  merge_sort(V.data(), 0, static_cast<std::ptrdiff_t>(V.size()) - 1, scratch.data());
}

// An unsigned key that orders floats as their comparison does: the sign bit
// flipped for positive values, all bits negated for negative ones, and the
// negative keys moved up by one so that -0.0 and 0.0 share a key.
inline std::uint32_t sort_key(float f) {
  const auto b = std::bit_cast<std::uint32_t>(f);
  const auto neg = static_cast<std::uint32_t>(static_cast<std::int32_t>(b) >> 31);
  return (b ^ (neg | 0x80000000u)) + (neg & 1u);
}

inline bool is_nan_bits(float f) {
  return (std::bit_cast<std::uint32_t>(f) & 0x7fffffffu) > 0x7f800000u;
}

constexpr int kDigitBits = 11;
constexpr std::uint32_t kDigitMask = (1u << kDigitBits) - 1;
constexpr int kDigits = 3;  // 11 + 11 + 10 bits

// Stable least-significant-digit radix sort of n floats from src. The passes
// alternate between buf0 and buf1 (buf1 may be src, which the first pass has
// read in full before anything is written there). Returns the buffer that
// holds the result (src when it was already in order digit by digit), or
// nullptr when src holds a NaN, for which only the merge sort defines an order.
const float* radix_sort(const float* src, std::size_t n, float* buf0, float* buf1) {
  std::array<std::array<std::uint32_t, std::size_t{1} << kDigitBits>, kDigits> counts{};
  bool nan = false;
  for (std::size_t i = 0; i < n; ++i) {
    nan |= is_nan_bits(src[i]);
    const std::uint32_t k = sort_key(src[i]);
    ++counts[0][k & kDigitMask];
    ++counts[1][(k >> kDigitBits) & kDigitMask];
    ++counts[2][k >> (2 * kDigitBits)];
  }
  if (nan) return nullptr;

  const std::uint32_t first_key = sort_key(src[0]);
  const float* cur = src;
  int pass = 0;
  for (int d = 0; d < kDigits; ++d) {
    const int shift = d * kDigitBits;
    auto& count = counts[static_cast<std::size_t>(d)];
    if (count[(first_key >> shift) & kDigitMask] == n) continue;  // one bucket: order unchanged
    std::uint32_t offset = 0;
    for (auto& c : count) {
      const std::uint32_t here = c;
      c = offset;
      offset += here;
    }
    float* dst = (pass % 2 == 0) ? buf0 : buf1;
    for (std::size_t i = 0; i < n; ++i) {
      const float v = cur[i];
      dst[count[(sort_key(v) >> shift) & kDigitMask]++] = v;
    }
    cur = dst;
    ++pass;
  }
  return cur;
}

bool radix_fits(std::size_t n) { return n <= std::numeric_limits<std::uint32_t>::max(); }

}  // namespace

void MergeSortVector(TSingleVector& V) {
  TSingleVector scratch;
  merge_sort_all(V, scratch);
}

void MergeSortVector(TIntVector& V) {
  TIntVector scratch;
  merge_sort_all(V, scratch);
}

void SortVector(TIntVector& V) { MergeSortVector(V); }

void SortVector(TSingleVector& V) {
  TColumnScratch scratch;
  SortVector(V, scratch);
}

void SortVector(TSingleVector& V, TColumnScratch& scratch) {
  const std::size_t n = V.size();
  if (n < 2) return;
  if (scratch.spare.size() < n) scratch.spare.resize(n);
  const float* result = nullptr;
  if (!scratch.reference && radix_fits(n)) result = radix_sort(V.data(), n, scratch.spare.data(), V.data());
  if (!result) {
    merge_sort_all(V, scratch.spare);
  } else if (result != V.data()) {
    std::copy(result, result + n, V.data());
  }
}

void SortedCopy(const float* src, std::size_t n, TColumnScratch& scratch) {
  scratch.sorted.resize(n);
  if (n == 0) return;
  if (scratch.spare.size() < n) scratch.spare.resize(n);
  const float* result = nullptr;
  if (!scratch.reference && radix_fits(n))
    result = radix_sort(src, n, scratch.sorted.data(), scratch.spare.data());
  if (!result) {
    std::copy(src, src + n, scratch.sorted.data());
    merge_sort_all(scratch.sorted, scratch.spare);
  } else if (result == src) {
    std::copy(src, src + n, scratch.sorted.data());
  } else if (result == scratch.spare.data()) {
    // The buffers are interchangeable; keep the spare at least n long.
    std::swap(scratch.sorted, scratch.spare);
    scratch.sorted.resize(n);
  }
}

bool ValueRange(const float* x, std::size_t n, float& lo, float& hi) {
  using simd::F4;
  using simd::I4;
  // Four independent vectors of lanes; v < l ? v : l keeps l for a NaN v.
  F4 l[4], h[4];
  I4 nan[4];
  for (int k = 0; k < 4; ++k) {
    l[k] = h[k] = simd::Splat(x[0]);
    nan[k] = I4{};
  }
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16)
    for (int k = 0; k < 4; ++k) {
      const F4 v = simd::Load(x + i + 4 * k);
      nan[k] |= v != v;
      l[k] = v < l[k] ? v : l[k];
      h[k] = v > h[k] ? v : h[k];
    }
  float L = x[0], H = x[0];
  bool any = false;
  for (int k = 0; k < 4; ++k)
    for (int j = 0; j < 4; ++j) {
      any |= nan[k][j] != 0;
      L = l[k][j] < L ? l[k][j] : L;
      H = h[k][j] > H ? h[k][j] : H;
    }
  for (; i < n; ++i) {
    const float v = x[i];
    any |= v != v;
    L = v < L ? v : L;
    H = v > H ? v : H;
  }
  lo = L;
  hi = H;
  return any;
}

float FloatAtOrAbove(double u) {
  float f = static_cast<float>(u);
  if (static_cast<double>(f) < u) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

float FirstZero(const float* x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (x[i] == 0) return x[i];
  return 0;
}

float LastZero(const float* x, std::size_t n) {
  for (std::size_t i = n; i-- > 0;)
    if (x[i] == 0) return x[i];
  return 0;
}

void MinMax(const TSingleVector& V, float& mn, float& mx, bool IgnoreZero) {
  if (IgnoreZero || V.empty()) {
    MinMaxReference(V, mn, mx, IgnoreZero);
    return;
  }
  ValueRange(V.data(), V.size(), mn, mx);
  // Equal values differ only as zeros: the scan keeps the last.
  if (mn == 0) mn = LastZero(V.data(), V.size());
  if (mx == 0) mx = LastZero(V.data(), V.size());
}

void MinMaxReference(const TSingleVector& V, float& mn, float& mx, bool IgnoreZero) {
  mn = 0;
  mx = 0;
  std::size_t i = 0;
  if (IgnoreZero) {
    while (i < V.size() && V[i] == 0) ++i;
  }
  if (i >= V.size()) return;
  mn = mx = V[i];
  for (; i < V.size(); ++i) {
    const float v = V[i];
    if (IgnoreZero && v == 0) continue;
    if (mx <= v) mx = v;
    if (mn >= v) mn = v;
  }
}

double CumulativePosition(const TVector& V, double p) {
  long double sum = 0;
  for (const double v : V) sum += v;
  const double total = static_cast<double>(sum);
  const double target = p * total;
  double c = 0;
  for (std::size_t i = 0; i < V.size(); ++i) {
    c += V[i];
    if (c >= target && V[i] != 0) return (static_cast<double>(i) + 0.5) - (c - target) / V[i];
  }
  return 0;
}

void GaussSmooth(TVector& V, double sigma) {
  if (V.empty() || !(sigma > 0) || !std::isfinite(sigma)) return;
  const double wd = std::nearbyint(3 * sigma);
  // A kernel wider than any vector could be would only repeat the edges.
  if (wd > static_cast<double>(std::numeric_limits<std::int32_t>::max() / 4)) return;
  const auto w = static_cast<std::ptrdiff_t>(wd);
  const auto n = static_cast<std::ptrdiff_t>(V.size());

  TVector weight(static_cast<std::size_t>(2 * w + 1));
  double total = 0;
  for (std::ptrdiff_t k = -w; k <= w; ++k) {
    const double x = static_cast<double>(k) / sigma;
    weight[static_cast<std::size_t>(k + w)] = std::exp(-(x * x) / 2);
    total += weight[static_cast<std::size_t>(k + w)];
  }
  for (double& x : weight) x /= total;

  // Q[w + i] = V[i]; beyond the ends the vector is mirrored without repeating
  // its end elements, and clamped to them where it is too short to mirror.
  TVector Q(static_cast<std::size_t>(n + 2 * w));
  std::copy(V.begin(), V.end(), Q.begin() + w);
  for (std::ptrdiff_t s = 1; s <= w; ++s) {
    Q[static_cast<std::size_t>(w - s)] = V[static_cast<std::size_t>(std::min(s, n - 1))];
    Q[static_cast<std::size_t>(w + n - 1 + s)] = V[static_cast<std::size_t>(std::max(n - 1 - s, std::ptrdiff_t{0}))];
  }
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    double acc = 0;
    for (std::ptrdiff_t k = -w; k <= w; ++k)
      acc += weight[static_cast<std::size_t>(k + w)] * Q[static_cast<std::size_t>(w + i - k)];
    V[static_cast<std::size_t>(i)] = acc;
  }
}

}  // namespace dbc
