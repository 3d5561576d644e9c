// The transforms of a data set: log scale and outlier clamp of one
// parameter in place, and the compensated data matrix. The algorithms work
// on columns (src/stats); these methods hand them the data set's fields.
#include <algorithm>

#include "fcs/dataset.h"
#include "stats/data_matrix.h"
#include "stats/log_scale.h"
#include "util/numeric.h"

namespace dbc {

namespace {

TColumnTransform transform_of(TDataSet& ds) {
  return {ds.logpar, ds.Decades, ds.CropOutliers, ds.Scales, ds.mins, ds.maxs};
}

std::size_t event_count(const TDataSet& ds) { return static_cast<std::size_t>(std::max(ds.GetEventCount(), 0)); }

// Compensation applies when the data set carries a spillover matrix whose
// inverse exists and matches the listed parameters.
bool compensates(const TDataSet& ds) {
  return !ds.spillover.empty() && ds.ApplySpillover && !ds.SpillSingular &&
         CanCompensate(ds.data, event_count(ds), TCompensation{ds.SpillInds, ds.spill_inv});
}

}  // namespace

void TDataSet::CropAndLog(int ind) {
  TColumnScratch scratch;
  CropAndLog(ind, scratch);
}

// The step writes into data itself, so everything that reads data later
// (rows for the export, columns for the histograms) sees the new values.
void TDataSet::CropAndLog(int ind, TColumnScratch& scratch) {
  CropAndLogColumns(data, ind, 1, transform_of(*this), scratch);
}

void TDataSet::CropAndLogRange(int first, int count) {
  TColumnScratch scratch;
  CropAndLogColumns(ResultData, first, count, transform_of(*this), scratch);
}

bool TDataSet::LogScale(int par) const {
  if (!Text || par < 0 || static_cast<std::size_t>(par) >= Text->pars.size()) return false;
  return Text->pars[static_cast<std::size_t>(par)].decade > 0;
}

void TDataSet::CompensateRange(int first, int count) {
  static const TIntVector no_inds;
  static const TMatrix no_matrix;
  // Without a usable inverse the range is copied as it is.
  const TCompensation comp = compensates(*this) ? TCompensation{SpillInds, spill_inv}
                                                : TCompensation{no_inds, no_matrix};
  dbc::CompensateRange(data, comp, ResultData, first, count);
}

TSingleMatrix TDataSet::GetDataMatrix(bool /*Linear*/) {
  const TWorkerPool pool;
  const TCompensation comp{SpillInds, spill_inv};
  // The matrix is handed to the caller rather than copied into ResultData:
  // a parameter x event copy would double the memory for nothing that reads it.
  ResultData.clear();
  return dbc::GetDataMatrix(data, event_count(*this), compensates(*this) ? &comp : nullptr, transform_of(*this),
                            pool);
}

TMatrix TDataSet::GetDataMatrixDouble(bool /*Linear*/) {
  const TSingleMatrix M = GetDataMatrix(false);
  return TransposeToRows(M, TWorkerPool());
}

}  // namespace dbc
