#pragma once
// Decade-log scaling of event columns and clamping of outliers that lie
// beyond a gap in the sorted values.
#include "stats/scale.h"
#include "util/numeric.h"
#include "util/vectors.h"

namespace dbc {

// V is put in place on a log scale spanning S.decade decades:
//   v -> log10((v - min)(a - 1) + (max - min)) - decade,  a = 10^decade,
// evaluated as log10(v (a - 1) - min a + max) - decade. S.minval and
// S.maxval receive the extremes of V; a constant V stays as it is.
// Every value is the float that std::log10 gives, found mostly through a
// vectorized approximation that is checked to round the same way.
void LogScaleVector(TSingleVector& V, TScale& S);
// The same with std::log10 one value at a time: the reference.
void LogScaleVectorReference(TSingleVector& V, TScale& S);
// Where one measured value lands on S's log scale, in double precision and
// without clamping (NaN for a value that falls off the scale's low end).
double LogScaleValue(double v, const TScale& S);

// The settings of the per-parameter step and where it reports its results.
struct TColumnTransform {
  const TBoolVector& logpar;  // per parameter: put it on the log scale
  double Decades;
  bool CropOutliers;  // look for gaps that separate outliers
  TScaleVector& Scales;
  TSingleVector& mins;  // lower clamp bound chosen, per parameter
  TSingleVector& maxs;  // upper clamp bound chosen, per parameter
};

// The per-parameter step on one column, in place: log scale when asked,
// then clamp to the range kept by the gap search. An empty column is left
// alone with both bounds 0.
//
// The gap search walks the sorted column; unless scratch.reference is set,
// it runs on buckets of the values instead (no sorted copy, no large
// scratch) and sorts only a column that holds a NaN. Either way the
// results are those of the reference (std::log10 and the merge sort), bit
// for bit. A failed allocation leaves the column as it was, except on the
// fast path for a column that is sorted after its log scale.
void CropAndLogColumn(TSingleVector& column, bool log_scale, double decades, bool crop_outliers,
                      TScale& scale, float& low, float& high, TColumnScratch& scratch);

// The step for parameters first .. first+count-1 of M (nothing when count <= 0).
void CropAndLogColumns(TSingleMatrix& M, int first, int count, const TColumnTransform& t,
                       TColumnScratch& scratch);

}  // namespace dbc
