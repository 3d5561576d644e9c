#include "stats/matrices.h"

#include <cmath>
#include <utility>

namespace dbc {

std::int32_t InvertMatrix(const TMatrix& A, int Lb, int Ub, TMatrix& A_inv) {
  if (Ub < Lb) return MatOk;
  const auto idx = [](int i) { return static_cast<std::size_t>(i); };
  for (int i = Lb; i <= Ub; ++i)
    for (int j = Lb; j <= Ub; ++j) A_inv[idx(i)][idx(j)] = A[idx(i)][idx(j)];

  std::vector<int> PRow(idx(Ub) + 1), PCol(idx(Ub) + 1);
  TVector MCol(idx(Ub) + 1);

  for (int k = Lb; k <= Ub; ++k) {
    // Full pivoting: the first largest element in row-major order wins.
    double Pvt = A_inv[idx(k)][idx(k)];
    int pr = k, pc = k;
    for (int i = k; i <= Ub; ++i)
      for (int j = k; j <= Ub; ++j)
        if (std::fabs(A_inv[idx(i)][idx(j)]) > std::fabs(Pvt)) {
          Pvt = A_inv[idx(i)][idx(j)];
          pr = i;
          pc = j;
        }
    if (!(std::fabs(Pvt) >= SingularityBound)) return MatSingular;

    PRow[idx(k)] = pr;
    PCol[idx(k)] = pc;
    if (pr != k)
      for (int j = Lb; j <= Ub; ++j) std::swap(A_inv[idx(pr)][idx(j)], A_inv[idx(k)][idx(j)]);
    if (pc != k)
      for (int i = Lb; i <= Ub; ++i) std::swap(A_inv[idx(i)][idx(pc)], A_inv[idx(i)][idx(k)]);

    for (int i = Lb; i <= Ub; ++i) {
      if (i != k) {
        MCol[idx(i)] = A_inv[idx(i)][idx(k)];
        A_inv[idx(i)][idx(k)] = 0;
      } else {
        MCol[idx(k)] = 0;
        A_inv[idx(k)][idx(k)] = 1;
      }
    }
    for (int j = Lb; j <= Ub; ++j) A_inv[idx(k)][idx(j)] /= Pvt;
    for (int i = Lb; i <= Ub; ++i) {
      if (i == k) continue;
      const double t = MCol[idx(i)];
      for (int j = Lb; j <= Ub; ++j) A_inv[idx(i)][idx(j)] -= t * A_inv[idx(k)][idx(j)];
    }
  }

  // Undo the permutations, last pivot first.
  for (int i = Ub; i >= Lb; --i)
    if (PCol[idx(i)] != i)
      for (int j = Lb; j <= Ub; ++j) std::swap(A_inv[idx(PCol[idx(i)])][idx(j)], A_inv[idx(i)][idx(j)]);
  for (int i = Ub; i >= Lb; --i)
    if (PRow[idx(i)] != i)
      for (int r = Lb; r <= Ub; ++r) std::swap(A_inv[idx(r)][idx(PRow[idx(i)])], A_inv[idx(r)][idx(i)]);
  return MatOk;
}

TVector NormalizeVector(const TVector& V) {
  TVector result = V;
  long double sum = 0;
  for (double v : V) sum += v;
  const double s = std::fabs(static_cast<double>(sum));
  if (s != 0)
    for (double& v : result) v /= s;
  return result;
}

}  // namespace dbc
