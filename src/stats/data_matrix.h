#pragma once
// The data matrix of a data set: every column, spillover-compensated, then
// log-scaled and clamped per parameter, computed in blocks on a worker pool.
#include <cstddef>

#include "stats/log_scale.h"
#include "stats/worker_pool.h"
#include "util/vectors.h"

namespace dbc {

// The inverse spillover matrix and the parameter index of each of its rows
// and columns.
struct TCompensation {
  const TIntVector& SpillInds;
  const TMatrix& spill_inv;
};

// Whether comp can be applied to `events` events of data: an n x n inverse
// for n listed parameters, each of which exists and holds that many events.
bool CanCompensate(const TSingleMatrix& data, std::size_t events, const TCompensation& comp);

// Events first .. first+count-1 of R := those of data, with every listed
// parameter replaced by its compensated value: for listed parameter k,
// the sum over r of spill_inv[r][k] x data[SpillInds[r]], each partial sum
// rounded to 32 bits. R has the columns of data, each `events` long, and
// comp must pass CanCompensate.
void CompensateRange(const TSingleMatrix& data, const TCompensation& comp, TSingleMatrix& R, int first,
                     int count);

// The parameter x event matrix: compensated when comp is given and usable,
// the raw values otherwise; then the log and crop step of every parameter.
// `events` values per parameter (a shorter column is padded with 0).
TSingleMatrix GetDataMatrix(const TSingleMatrix& data, std::size_t events, const TCompensation* comp,
                            const TColumnTransform& transform, const TWorkerPool& pool);

// The same values as one 64-bit row per event (as many events as the
// shortest column holds); empty without parameters.
TMatrix TransposeToRows(const TSingleMatrix& M, const TWorkerPool& pool);

}  // namespace dbc
