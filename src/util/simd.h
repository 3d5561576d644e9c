#pragma once
// Four-lane vectors for the hot loops over event columns (GCC and Clang
// vector extensions; plain SSE2 on x86-64). Every lane computes exactly
// what the scalar expression computes: the same IEEE operations in the
// same order, compares that are false for NaN, selects with ?:. The
// compiler alone does not vectorize these loops, because a compare may
// raise a floating-point exception it must not speculate.
//
// Conversions that involve the 32-byte D4 are macros: a function taking
// or returning one would have a calling convention that changes with AVX.
#include <cstdint>
#include <cstring>

namespace dbc::simd {

using F4 = float __attribute__((vector_size(16)));
using D4 = double __attribute__((vector_size(32)));
using I4 = std::int32_t __attribute__((vector_size(16)));
using L4 = std::int64_t __attribute__((vector_size(32)));  // mask of a D4 compare

inline F4 Load(const float* p) {
  F4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store(float* p, F4 v) { std::memcpy(p, &v, sizeof v); }
inline void Store(std::int32_t* p, I4 v) { std::memcpy(p, &v, sizeof v); }
inline F4 Splat(float x) { return F4{x, x, x, x}; }
inline I4 Splat(std::int32_t x) { return I4{x, x, x, x}; }

}  // namespace dbc::simd

// F4 -> D4 exactly; D4 -> F4 rounded to nearest; a D4 compare's mask
// (-1 or 0 per lane) -> I4; I4 -> D4 exactly; F4 -> I4 truncated (lanes
// within the int32 range).
#define DBC_SIMD_WIDEN(v) __builtin_convertvector((v), ::dbc::simd::D4)
#define DBC_SIMD_NARROW(v) __builtin_convertvector((v), ::dbc::simd::F4)
#define DBC_SIMD_MASK(m) __builtin_convertvector((m), ::dbc::simd::I4)
#define DBC_SIMD_TO_DOUBLE(v) __builtin_convertvector((v), ::dbc::simd::D4)
#define DBC_SIMD_TRUNCATE(v) __builtin_convertvector((v), ::dbc::simd::I4)
