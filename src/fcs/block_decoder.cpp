#include "fcs/block_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "fcs/fcs_stream.h"

namespace dbc {

namespace {

// A chunk of raw events and its decoded values stay in the core's cache.
constexpr std::int64_t kChunkBytes = 256 * 1024;

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
    dst[i] = DecodeBinary(raw, plan);
  }
}

template <bool Big>
void Float32(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
             const TValuePlan&) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t u = Load<std::uint32_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap32(u);
    dst[i] = std::bit_cast<float>(u);
  }
}

template <bool Big>
void Float64(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
             const TValuePlan&) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t u = Load<std::uint64_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap64(u);
    dst[i] = static_cast<float>(std::bit_cast<double>(u));
  }
}

void Int8(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
          const TValuePlan& plan) {
  const auto mask = static_cast<std::uint32_t>(plan.mask);
  for (std::size_t i = 0; i < count; ++i) dst[i] = static_cast<float>(src[i * stride] & mask);
}

template <bool Big>
void Int16(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
           const TValuePlan& plan) {
  const auto mask = static_cast<std::uint32_t>(plan.mask);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t u = Load<std::uint16_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap16(u);
    dst[i] = static_cast<float>(static_cast<std::uint32_t>(u) & mask);
  }
}

template <bool Big>
void Int32(const std::uint8_t* src, std::size_t stride, std::size_t count, float* dst,
           const TValuePlan& plan) {
  const auto mask = static_cast<std::uint32_t>(plan.mask);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t u = Load<std::uint32_t>(src + i * stride);
    if constexpr (Big) u = __builtin_bswap32(u);
    dst[i] = static_cast<float>(u & mask);
  }
}

Kernel Choose(const TValuePlan& plan) {
  if constexpr (std::endian::native != std::endian::little) return Generic;
  const bool identity = plan.order == TValueOrder::Identity;
  const bool reverse = plan.order == TValueOrder::Reverse || (plan.n == 2 && plan.order == TValueOrder::Swap2);
  if (!identity && !reverse) return Generic;
  switch (plan.type) {
    case 'F':
      if (plan.n == 4) return identity ? Float32<false> : Float32<true>;
      break;
    case 'D':
      if (plan.n == 8) return identity ? Float64<false> : Float64<true>;
      break;
    case 'I':
      if (plan.n == 1) return Int8;
      if (plan.n == 2) return identity ? Int16<false> : Int16<true>;
      if (plan.n == 4) return identity ? Int32<false> : Int32<true>;
      break;
    default:
      break;
  }
  return Generic;
}

}  // namespace

std::int64_t DecodeEventBlocks(TFCStream& src, const TEventLayout& layout, std::int64_t count,
                               const std::vector<TValuePlan>& plans, TSingleMatrix& data) {
  const std::size_t P = plans.size();
  data.assign(P, TSingleVector());
  if (count <= 0 || layout.valueBytes <= 0) return 0;
  for (auto& column : data) column.reserve(static_cast<std::size_t>(count));

  std::vector<Kernel> kernels(P);
  for (std::size_t p = 0; p < P; ++p) kernels[p] = Choose(plans[p]);

  // Events per chunk: as many as fit into kChunkBytes, at least one.
  const std::int64_t perChunk =
      std::max<std::int64_t>(1, std::min(count, (kChunkBytes - layout.valueBytes) / layout.stride + 1));
  const std::int64_t chunkSpan = (perChunk - 1) * layout.stride + layout.valueBytes;
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(chunkSpan));
  std::vector<float> values(P * static_cast<std::size_t>(perChunk));
  const auto stride = static_cast<std::size_t>(layout.stride);

  const auto decode = [&](std::int64_t n) {
    for (std::size_t p = 0; p < P; ++p) {
      float* out = values.data() + p * static_cast<std::size_t>(perChunk);
      kernels[p](raw.data() + layout.offsets[p], stride, static_cast<std::size_t>(n), out, plans[p]);
      if (plans[p].prism || plans[p].cyanTime)
        for (std::int64_t i = 0; i < n; ++i) out[i] = FinishValue(out[i], plans[p]);
      data[p].insert(data[p].end(), out, out + n);
    }
  };

  std::int64_t done = 0;
  while (done < count) {
    std::int64_t n = std::min(perChunk, count - done);
    const std::int64_t span = (n - 1) * layout.stride + layout.valueBytes;
    const auto got = static_cast<std::int64_t>(
        src.ReadAt(layout.start + done * layout.stride, raw.data(), static_cast<std::size_t>(span)));
    if (got < span) {
      // The source delivered less than it announced: keep the complete events.
      n = got < layout.valueBytes ? 0 : std::min(n, (got - layout.valueBytes) / layout.stride + 1);
      decode(n);
      return done + n;
    }
    decode(n);
    done += n;
  }
  return done;
}

}  // namespace dbc
