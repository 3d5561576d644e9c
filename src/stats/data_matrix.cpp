#include "stats/data_matrix.h"

#include <algorithm>
#include <climits>
#include <string>

#include "util/errors.h"

namespace dbc {

namespace {

// Events are compensated in blocks small enough that the listed input
// columns and the output column of a block stay in the first-level cache.
constexpr std::size_t kEventBlock = 1024;

int as_count(std::size_t n) {
  if (n > static_cast<std::size_t>(INT_MAX)) throw EListError("List index out of bounds (" + std::to_string(n) + ")");
  return static_cast<int>(n);
}

// out[0..len) := the first len values of column from index `from`, 0 beyond its end.
void copy_padded(const TSingleVector& column, std::size_t from, std::size_t len, float* out) {
  const std::size_t have = column.size() > from ? std::min(len, column.size() - from) : 0;
  std::copy(column.begin() + static_cast<std::ptrdiff_t>(from),
            column.begin() + static_cast<std::ptrdiff_t>(from + have), out);
  std::fill(out + have, out + len, 0.0f);
}

}  // namespace

bool CanCompensate(const TSingleMatrix& data, std::size_t events, const TCompensation& comp) {
  const std::size_t n = comp.SpillInds.size();
  if (n == 0 || comp.spill_inv.size() != n) return false;
  for (const TVector& row : comp.spill_inv)
    if (row.size() < n) return false;
  for (const std::int32_t c : comp.SpillInds)
    if (c < 0 || static_cast<std::size_t>(c) >= data.size() || data[static_cast<std::size_t>(c)].size() < events)
      return false;
  return true;
}

void CompensateRange(const TSingleMatrix& data, const TCompensation& comp, TSingleMatrix& R, int first,
                     int count) {
  if (first < 0 || count <= 0) return;
  const auto lo = static_cast<std::size_t>(first);
  const std::size_t hi = lo + static_cast<std::size_t>(count);
  if (R.size() < data.size()) throw EListError("List index out of bounds (" + std::to_string(R.size()) + ")");
  for (const TSingleVector& column : R)
    if (column.size() < hi) throw EListError("List index out of bounds (" + std::to_string(hi - 1) + ")");

  const std::size_t n = comp.SpillInds.size();
  std::vector<char> listed(data.size(), 0);
  for (const std::int32_t c : comp.SpillInds) listed[static_cast<std::size_t>(c)] = 1;
  for (std::size_t p = 0; p < data.size(); ++p)
    if (!listed[p]) copy_padded(data[p], lo, hi - lo, R[p].data() + lo);

  for (std::size_t b = lo; b < hi; b += kEventBlock) {
    const std::size_t len = std::min(kEventBlock, hi - b);
    for (std::size_t k = 0; k < n; ++k) {
      float* out = R[static_cast<std::size_t>(comp.SpillInds[k])].data() + b;
      std::fill(out, out + len, 0.0f);
      for (std::size_t r = 0; r < n; ++r) {
        const double s = comp.spill_inv[r][k];
        const float* in = data[static_cast<std::size_t>(comp.SpillInds[r])].data() + b;
        for (std::size_t e = 0; e < len; ++e)
          out[e] = static_cast<float>(static_cast<double>(out[e]) + s * static_cast<double>(in[e]));
      }
    }
  }
}

TSingleMatrix GetDataMatrix(const TSingleMatrix& data, std::size_t events, const TCompensation* comp,
                            const TColumnTransform& transform, const TWorkerPool& pool) {
  const int params = as_count(data.size());
  const int event_count = as_count(events);
  const bool compensate = comp && CanCompensate(data, events, *comp);

  // Columns are allocated (and first touched) by the workers.
  TSingleMatrix R(data.size());
  pool.Run(params, [&](int first, int count) {
    for (int p = first; p < first + count; ++p) {
      TSingleVector& column = R[static_cast<std::size_t>(p)];
      if (!compensate) {
        const TSingleVector& src = data[static_cast<std::size_t>(p)];
        column.reserve(events);
        column.assign(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(std::min(events, src.size())));
      }
      column.resize(events);
    }
  });
  if (compensate)
    pool.Run(event_count, [&](int first, int count) { CompensateRange(data, *comp, R, first, count); });

  pool.Run(params, [&](int first, int count) {
    TColumnScratch scratch;
    CropAndLogColumns(R, first, count, transform, scratch);
  });
  return R;
}

TMatrix TransposeToRows(const TSingleMatrix& M, const TWorkerPool& pool) {
  TMatrix rows;
  if (M.empty()) return rows;
  std::size_t events = M[0].size();
  for (const TSingleVector& column : M) events = std::min(events, column.size());
  rows.resize(events);
  pool.Run(as_count(events), [&](int first, int count) {
    for (int e = first; e < first + count; ++e) {
      TVector& row = rows[static_cast<std::size_t>(e)];
      row.resize(M.size());
      for (std::size_t p = 0; p < M.size(); ++p) row[p] = M[p][static_cast<std::size_t>(e)];
    }
  });
  return rows;
}

}  // namespace dbc
