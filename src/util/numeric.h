#pragma once
// Numeric helpers on the shared vector types: stable sorts, extremes, the
// interpolated cumulative position of a histogram, and Gaussian smoothing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/vectors.h"

namespace dbc {

// Scratch storage for sorting a column and for the work around it (log
// scaling, outlier cropping, histogram extremes). A caller that treats many
// columns of the same length keeps one scratch and passes it to every call,
// so the large buffers are allocated and first touched only once.
struct TColumnScratch {
  TSingleVector sorted;  // the sorted copy of the current column
  TSingleVector spare;   // merge or radix buffer
  // Tables of the outlier search that needs no sorted copy: per bucket of
  // values, their number, smallest and largest.
  std::vector<std::size_t> bucketStart;  // first rank of each bucket, and the end
  std::vector<float> bucketMin, bucketMax;
  // Take the plain merge sort and sort-based extremes everywhere (the
  // reference the fast paths are checked against).
  bool reference = false;
};

// Ascending stable sort in place. Equal elements, -0.0 and 0.0 included,
// keep their input order. A NaN compares as "not greater" with everything,
// so its place is the one the top-down merge sort gives it.
void SortVector(TSingleVector& V);
void SortVector(TSingleVector& V, TColumnScratch& scratch);
void SortVector(TIntVector& V);

// The top-down merge sort that defines the order SortVector produces.
void MergeSortVector(TSingleVector& V);
void MergeSortVector(TIntVector& V);

// scratch.sorted := the n values at src in the order of SortVector.
// src must not point into scratch.
void SortedCopy(const float* src, std::size_t n, TColumnScratch& scratch);

// Smallest and largest element; (0, 0) for an empty vector. With IgnoreZero,
// zeros are skipped, and an all-zero vector gives (0, 0). The scan keeps the
// last of equal elements (so a zero extreme is the last zero); a NaN is
// passed over unless it comes first, when it is both results.
void MinMax(const TSingleVector& V, float& mn, float& mx, bool IgnoreZero);
// The same one element at a time: the reference.
void MinMaxReference(const TSingleVector& V, float& mn, float& mx, bool IgnoreZero);

// Smallest and largest of the n > 0 values at x, NaN passed over, in a
// vectorized scan: only the sign of a zero result is undefined (see
// FirstZero, LastZero). Returns whether a NaN is among the values; the
// results are then those of the other values, or NaN when x[0] is one.
bool ValueRange(const float* x, std::size_t n, float& lo, float& hi);
// The smallest float at or above u (NaN for NaN): for every float v,
// v < u exactly when v < FloatAtOrAbove(u), and v >= u exactly when
// v >= FloatAtOrAbove(u), so that compares with a double bound can run on
// floats.
float FloatAtOrAbove(double u);

// The first and the last zero (+0 or -0) among the n values at x; 0 when
// none is.
float FirstZero(const float* x, std::size_t n);
float LastZero(const float* x, std::size_t n);

// Position, in bin units, at which the running sum of V reaches the fraction
// p of its total; bin i covers [i - 0.5, i + 0.5]. 0 when nothing qualifies.
double CumulativePosition(const TVector& V, double p);

// Gaussian smoothing in place, kernel half-width round(3 sigma), edges
// mirrored about the first and last element. A vector shorter than the
// half-width repeats its end elements where the mirror would run out.
// A sigma that is not positive leaves V unchanged.
void GaussSmooth(TVector& V, double sigma);

}  // namespace dbc
