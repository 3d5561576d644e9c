#pragma once
// Matrix inversion for spillover compensation.
#include <cstdint>

#include "util/vectors.h"

namespace dbc {

constexpr std::int32_t MatOk = 0;
constexpr std::int32_t MatSingular = -1;
constexpr double SingularityBound = 2.220446049250313E-16;

// Gauss-Jordan elimination with full pivoting of A[Lb..Ub][Lb..Ub] into
// A_inv, which the caller has sized to at least (Ub+1) x (Ub+1).
std::int32_t InvertMatrix(const TMatrix& A, int Lb, int Ub, TMatrix& A_inv);

// V divided by the absolute value of its sum (unchanged when the sum is 0).
TVector NormalizeVector(const TVector& V);

}  // namespace dbc
