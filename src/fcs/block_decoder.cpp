#include "fcs/block_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fcs/fcs_stream.h"

namespace dbc {

namespace {

// --- one parameter at a time, any layout ---

using Kernel = void (*)(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
                        const TValuePlan& plan);

template <class T>
inline T Load(const std::uint8_t* p) noexcept {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

void Generic(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
             const TValuePlan& plan) {
  const auto n = static_cast<std::size_t>(plan.n);
  for (std::size_t i = 0; i < count; ++i) {
    std::array<std::uint8_t, 8> raw{};
    std::memcpy(raw.data(), src + i * stride, n);
    dst[i] = FinishValue(DecodeBinary(raw, plan), plan);
  }
}

template <bool Big>
void Float32(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst, const TValuePlan&) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t u = Load<std::uint32_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap32(u);
    dst[i] = std::bit_cast<float>(u);
  }
}

template <bool Big>
void Float64(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst, const TValuePlan&) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t u = Load<std::uint64_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap64(u);
    dst[i] = static_cast<float>(std::bit_cast<double>(u));
  }
}

void Int8(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst, const TValuePlan& plan) {
  const auto mask = static_cast<std::uint32_t>(plan.mask);
  for (std::size_t i = 0; i < count; ++i) dst[i] = static_cast<float>(src[i * stride] & mask);
}

template <bool Big>
void Int16(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst, const TValuePlan& plan) {
  const auto mask = static_cast<std::uint32_t>(plan.mask);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t u = Load<std::uint16_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap16(u);
    dst[i] = static_cast<float>(static_cast<std::uint32_t>(u) & mask);
  }
}

template <bool Big>
void Int32(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst, const TValuePlan& plan) {
  const auto mask = static_cast<std::uint32_t>(plan.mask);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t u = Load<std::uint32_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap32(u);
    dst[i] = static_cast<float>(u & mask);
  }
}

bool IsIdentity(const TValuePlan& plan) { return plan.order == TValueOrder::Identity; }
bool IsReversed(const TValuePlan& plan) {
  return plan.order == TValueOrder::Reverse || (plan.n == 2 && plan.order == TValueOrder::Swap2);
}
bool Adjusted(const TValuePlan& plan) { return plan.prism || plan.cyanTime; }

Kernel Choose(const TValuePlan& plan) {
  if constexpr (std::endian::native != std::endian::little) return Generic;
  if (Adjusted(plan) || (!IsIdentity(plan) && !IsReversed(plan))) return Generic;
  const bool big = IsReversed(plan);
  switch (plan.type) {
    case 'F':
      if (plan.n == 4) return big ? Float32<true> : Float32<false>;
      break;
    case 'D':
      if (plan.n == 8) return big ? Float64<true> : Float64<false>;
      break;
    case 'I':
      if (plan.n == 1) return Int8;
      if (plan.n == 2) return big ? Int16<true> : Int16<false>;
      if (plan.n == 4) return big ? Int32<true> : Int32<false>;
      break;
    default:
      break;
  }
  return Generic;
}

// --- four neighbouring parameters at a time ---
//
// Four parameters of the same 2- or 4-byte type and order lie side by side
// in every event: four events give a 4 x 4 block that is transposed into
// four column pieces. Values are written with streaming stores when the
// columns allow it, since they are not read again soon.

enum class GroupKind { None, Float32, Uint32, Uint16 };

struct Group {
  GroupKind kind = GroupKind::None;
  bool big = false;
  std::size_t first = 0;  // first parameter of the four
};

GroupKind KindOf(const TValuePlan& plan) {
  if (Adjusted(plan) || (!IsIdentity(plan) && !IsReversed(plan))) return GroupKind::None;
  if (plan.type == 'F' && plan.n == 4) return GroupKind::Float32;
  if (plan.type == 'I' && plan.n == 4) return GroupKind::Uint32;
  if (plan.type == 'I' && plan.n == 2) return GroupKind::Uint16;
  return GroupKind::None;
}

#if defined(__SSE2__)

inline __m128i Swap16(__m128i x) { return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8)); }
inline __m128i Swap32(__m128i x) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(Swap16(x), 0xB1), 0xB1); }

// Unsigned 32-bit integers to floats, each rounded once as a scalar
// conversion does: the high and low halves convert exactly and their sum
// is the one rounding.
inline __m128 Uint32ToFloat(__m128i u) {
  const __m128i lo = _mm_and_si128(u, _mm_set1_epi32(0xFFFF));
  const __m128i hi = _mm_srli_epi32(u, 16);
  return _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(hi), _mm_set1_ps(65536.0f)), _mm_cvtepi32_ps(lo));
}

template <bool Stream>
inline void Put(float* p, __m128 v) {
  if constexpr (Stream) _mm_stream_ps(p, v);
  else _mm_storeu_ps(p, v);
}

template <GroupKind Kind, bool Big, bool Stream>
void GroupOf4(const std::uint8_t* src, std::size_t stride, std::size_t count, float* const* dst,
              const std::uint32_t* masks) {
  const __m128i m0 = _mm_set1_epi32(static_cast<int>(masks[0])), m1 = _mm_set1_epi32(static_cast<int>(masks[1]));
  const __m128i m2 = _mm_set1_epi32(static_cast<int>(masks[2])), m3 = _mm_set1_epi32(static_cast<int>(masks[3]));
  for (std::size_t i = 0; i < count; i += 4, src += 4 * stride) {
    __m128i r[4];
    for (int k = 0; k < 4; ++k) {
      const std::uint8_t* e = src + static_cast<std::size_t>(k) * stride;
      if constexpr (Kind == GroupKind::Uint16) {
        __m128i w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(e));
        if constexpr (Big) w = Swap16(w);
        r[k] = _mm_unpacklo_epi16(w, _mm_setzero_si128());
      } else {
        r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e));
        if constexpr (Big) r[k] = Swap32(r[k]);
      }
    }
    __m128 a = _mm_castsi128_ps(r[0]), b = _mm_castsi128_ps(r[1]);
    __m128 c = _mm_castsi128_ps(r[2]), d = _mm_castsi128_ps(r[3]);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    if constexpr (Kind == GroupKind::Float32) {
      Put<Stream>(dst[0] + i, a);
      Put<Stream>(dst[1] + i, b);
      Put<Stream>(dst[2] + i, c);
      Put<Stream>(dst[3] + i, d);
    } else {
      const __m128i u0 = _mm_and_si128(_mm_castps_si128(a), m0), u1 = _mm_and_si128(_mm_castps_si128(b), m1);
      const __m128i u2 = _mm_and_si128(_mm_castps_si128(c), m2), u3 = _mm_and_si128(_mm_castps_si128(d), m3);
      if constexpr (Kind == GroupKind::Uint16) {  // below 2^16: exact as signed
        Put<Stream>(dst[0] + i, _mm_cvtepi32_ps(u0));
        Put<Stream>(dst[1] + i, _mm_cvtepi32_ps(u1));
        Put<Stream>(dst[2] + i, _mm_cvtepi32_ps(u2));
        Put<Stream>(dst[3] + i, _mm_cvtepi32_ps(u3));
      } else {
        Put<Stream>(dst[0] + i, Uint32ToFloat(u0));
        Put<Stream>(dst[1] + i, Uint32ToFloat(u1));
        Put<Stream>(dst[2] + i, Uint32ToFloat(u2));
        Put<Stream>(dst[3] + i, Uint32ToFloat(u3));
      }
    }
  }
}

using GroupKernel = void (*)(const std::uint8_t*, std::size_t, std::size_t, float* const*, const std::uint32_t*);

template <bool Stream>
GroupKernel ChooseGroup(GroupKind kind, bool big) {
  switch (kind) {
    case GroupKind::Float32:
      return big ? GroupOf4<GroupKind::Float32, true, Stream> : GroupOf4<GroupKind::Float32, false, Stream>;
    case GroupKind::Uint32:
      return big ? GroupOf4<GroupKind::Uint32, true, Stream> : GroupOf4<GroupKind::Uint32, false, Stream>;
    case GroupKind::Uint16:
      return big ? GroupOf4<GroupKind::Uint16, true, Stream> : GroupOf4<GroupKind::Uint16, false, Stream>;
    case GroupKind::None:
      break;
  }
  return nullptr;
}

constexpr bool kGroups = std::endian::native == std::endian::little;

#else

constexpr bool kGroups = false;

#endif

// Splits the parameters into groups of four alike neighbours and singles.
std::vector<Group> FindGroups(const std::vector<TValuePlan>& plans, std::vector<bool>& grouped) {
  std::vector<Group> groups;
  grouped.assign(plans.size(), false);
  if (!kGroups) return groups;
  for (std::size_t p = 0; p + 4 <= plans.size();) {
    const GroupKind kind = KindOf(plans[p]);
    const bool big = IsReversed(plans[p]);
    bool alike = kind != GroupKind::None;
    for (std::size_t q = p + 1; alike && q < p + 4; ++q) alike = KindOf(plans[q]) == kind && IsReversed(plans[q]) == big;
    if (!alike) {
      ++p;
      continue;
    }
    groups.push_back({kind, big, p});
    for (std::size_t q = p; q < p + 4; ++q) grouped[q] = true;
    p += 4;
  }
  return groups;
}

}  // namespace

std::int64_t DecodeEventBlocks(TFCStream& src, const TEventLayout& layout, std::int64_t count,
                               const std::vector<TValuePlan>& plans, TSingleMatrix& data) {
  const std::size_t P = plans.size();
  data.assign(P, TSingleVector());
  if (count <= 0 || layout.valueBytes <= 0) return 0;

  // Large data sets are decoded by two threads, which take turns over the
  // chunks of events (and first each size half of the columns).
  const std::int64_t bytes = count * layout.valueBytes;
  const int threads = layout.threads > 0 ? std::min(layout.threads, 2)
                      : bytes >= (std::int64_t{32} << 20) && std::thread::hardware_concurrency() >= 2 ? 2
                                                                                                  : 1;
  const auto forEachThread = [threads](const auto& work) {
    if (threads == 1) {
      work(0);
      return;
    }
    std::exception_ptr error;
    std::thread helper([&] {
      try {
        work(1);
      } catch (...) {
        error = std::current_exception();
      }
    });
    try {
      work(0);
    } catch (...) {
      helper.join();
      throw;
    }
    helper.join();
    if (error) std::rethrow_exception(error);
  };
  forEachThread([&](int t) {
    for (std::size_t p = static_cast<std::size_t>(t); p < P; p += static_cast<std::size_t>(threads))
      data[p].resize(static_cast<std::size_t>(count));
  });

  std::vector<Kernel> kernels(P);
  for (std::size_t p = 0; p < P; ++p) kernels[p] = Choose(plans[p]);
  std::vector<bool> grouped;
  const std::vector<Group> groups = FindGroups(plans, grouped);

  // Events per chunk: as many as fit into chunkBytes, a multiple of four,
  // at least one.
  std::int64_t perChunk = std::min(count, (layout.chunkBytes - layout.valueBytes) / layout.stride + 1);
  if (perChunk >= 4) perChunk -= perChunk % 4;
  perChunk = std::max<std::int64_t>(1, perChunk);
  const auto stride = static_cast<std::size_t>(layout.stride);

#if defined(__SSE2__)
  // Streaming stores need 16-byte aligned column pieces; chunks start at
  // multiples of four events.
  bool aligned = true;
  for (const auto& column : data) aligned = aligned && reinterpret_cast<std::uintptr_t>(column.data()) % 16 == 0;
  std::vector<GroupKernel> groupKernels(groups.size(), nullptr);
  std::vector<std::array<std::uint32_t, 4>> groupMasks(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) {
    groupKernels[g] = aligned ? ChooseGroup<true>(groups[g].kind, groups[g].big)
                              : ChooseGroup<false>(groups[g].kind, groups[g].big);
    for (std::size_t k = 0; k < 4; ++k)
      groupMasks[g][k] = static_cast<std::uint32_t>(plans[groups[g].first + k].mask);
  }
#endif

  const auto decode = [&](const std::uint8_t* raw, std::int64_t at, std::int64_t n) {
    const auto first = static_cast<std::size_t>(at);
    const auto total = static_cast<std::size_t>(n);
#if defined(__SSE2__)
    const std::size_t blocked = total - total % 4;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      const std::size_t p0 = groups[g].first;
      float* const out[4] = {data[p0].data() + first, data[p0 + 1].data() + first, data[p0 + 2].data() + first,
                             data[p0 + 3].data() + first};
      if (blocked > 0) groupKernels[g](raw + layout.offsets[p0], stride, blocked, out, groupMasks[g].data());
      for (std::size_t k = 0; k < 4; ++k)
        kernels[p0 + k](raw + layout.offsets[p0 + k] + blocked * stride, stride, total - blocked, out[k] + blocked,
                        plans[p0 + k]);
    }
#endif
    for (std::size_t p = 0; p < P; ++p)
      if (!grouped[p]) kernels[p](raw + layout.offsets[p], stride, total, data[p].data() + first, plans[p]);
  };

  // Thread t decodes the chunks t, t + threads, ...; complete[t] is where
  // its events end when the source runs short.
  const std::int64_t chunks = (count + perChunk - 1) / perChunk;
  std::int64_t complete[2] = {count, count};
  forEachThread([&](int t) {
    std::vector<std::uint8_t> raw(static_cast<std::size_t>((perChunk - 1) * layout.stride + layout.valueBytes));
    for (std::int64_t c = t; c < chunks; c += threads) {
      const std::int64_t at = c * perChunk;
      std::int64_t n = std::min(perChunk, count - at);
      const std::int64_t span = (n - 1) * layout.stride + layout.valueBytes;
      const auto got = static_cast<std::int64_t>(
          src.ReadAt(layout.start + at * layout.stride, raw.data(), static_cast<std::size_t>(span)));
      if (got < span) {
        // The source delivered less than it announced: the complete events.
        n = got < layout.valueBytes ? 0 : std::min(n, (got - layout.valueBytes) / layout.stride + 1);
        decode(raw.data(), at, n);
        complete[t] = at + n;
        break;
      }
      decode(raw.data(), at, n);
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
  });
  return std::min(complete[0], complete[1]);
}

}  // namespace dbc
