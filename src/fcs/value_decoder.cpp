#include "fcs/value_decoder.h"

#include <bit>
#include <cmath>

#include "fcs/text.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

std::vector<TValuePlan> MakeValuePlans(const TText& text) {
  std::vector<TValuePlan> plans(text.pars.size());
  for (std::size_t p = 0; p < plans.size(); ++p) {
    const TPar& par = text.pars[p];
    TValuePlan& plan = plans[p];
    const bool binary = text.DataType == 'I' || text.DataType == 'F' || text.DataType == 'D';
    plan.type = binary ? text.DataType : 'A';
    plan.n = binary ? std::min(par.bytes, 8) : par.bits;
    plan.bits = par.bits;
    if (text.DataType == 'I' && text.Mode == 'L') plan.mask = static_cast<std::uint64_t>(par.mask);
    plan.prism = static_cast<int>(p) == text.prizmpar;
    plan.cyanTime = static_cast<int>(p) == text.cyantimepar;
    plan.timestep = text.timestep;

    const int n = plan.n;
    if (!binary || n <= 1) continue;
    switch (text.ByteOrderKind) {
      case TByteOrderKind::None:
      case TByteOrderKind::Ascending:
        break;
      case TByteOrderKind::Descending:
        plan.order = TValueOrder::Reverse;
        break;
      case TByteOrderKind::Other:
        if (n > text.ByteOrderCover) break;
        if (par.bytes == 2) {
          if (par.ReverseByteOrder) plan.order = TValueOrder::Swap2;
          break;
        }
        plan.order = TValueOrder::Map;
        for (int k = 0; k < 8; ++k) {
          const std::int32_t t = text.ByteOrd[static_cast<std::size_t>(k)] - 1;
          plan.target[static_cast<std::size_t>(k)] = (t >= 0 && t < 8) ? static_cast<std::int8_t>(t) : -1;
        }
        break;
    }
  }
  return plans;
}

float DecodeBinary(const std::array<std::uint8_t, 8>& raw, const TValuePlan& plan) {
  std::array<std::uint8_t, 8> v = raw;
  const int n = plan.n;
  switch (plan.order) {
    case TValueOrder::Identity:
      break;
    case TValueOrder::Reverse:
      for (int k = 0; k < n; ++k) v[static_cast<std::size_t>(k)] = raw[static_cast<std::size_t>(n - 1 - k)];
      break;
    case TValueOrder::Swap2:
      std::swap(v[0], v[1]);
      break;
    case TValueOrder::Map:
      for (int k = 0; k < n; ++k) {
        const int t = plan.target[static_cast<std::size_t>(k)];
        if (t >= 0) v[static_cast<std::size_t>(t)] = raw[static_cast<std::size_t>(k)];
      }
      break;
  }
  std::uint64_t u = 0;
  switch (plan.type) {
    case 'D':
      for (int k = 7; k >= 0; --k) u = (u << 8) | v[static_cast<std::size_t>(k)];
      return static_cast<float>(std::bit_cast<double>(u));
    case 'F':
      for (int k = 3; k >= 0; --k) u = (u << 8) | v[static_cast<std::size_t>(k)];
      return std::bit_cast<float>(static_cast<std::uint32_t>(u));
    default:  // 'I'
      if (n <= 0) return 0.0f;
      for (int k = n - 1; k >= 0; --k) u = (u << 8) | v[static_cast<std::size_t>(k)];
      return static_cast<float>(u & plan.mask);
  }
}

float DecodeAscii(std::string_view field) {
  try {
    const std::string t = Trim(field);
    if (t.empty()) return 0.0f;
    return static_cast<float>(StrToInt64(t));
  } catch (const Exception&) {
    return 0.0f;
  }
}

float FinishValue(float v, const TValuePlan& plan) {
  if (plan.prism) {
    // The rounded value's low 6 bits (two's complement). Floats of 2^29 and
    // more are multiples of 64; a value that is no number keeps nothing.
    if (!std::isfinite(v) || std::fabs(v) >= 1073741824.0f) {
      v = 0.0f;
    } else {
      const auto r = static_cast<std::int64_t>(std::nearbyint(v));
      v = static_cast<float>(r & 63);
    }
  }
  if (plan.cyanTime) v = static_cast<float>(static_cast<double>(v) * plan.timestep);
  return v;
}

}  // namespace dbc
