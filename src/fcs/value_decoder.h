#pragma once
// Decoding of single event values, shared by the value-at-a-time reader and
// the block decoder so that both give the same bits.
//
// A binary value of n bytes (n = min(bytes, 8)) is read into an 8-byte raw
// buffer, put into little-endian order as $BYTEORD says, and converted:
// 'D' an IEEE double rounded to single precision, 'F' an IEEE single, 'I'
// an unsigned integer of n bytes (in list mode ANDed with the range mask).
// Byte order:
//  - no $BYTEORD, or an ascending one (1,2,...): as stored;
//  - a descending one (...,2,1): the n bytes reversed, for every width;
//  - any other order, for the widths its map covers: 2-byte values are
//    swapped when the map starts with a higher byte; wider values are
//    placed byte by byte (a byte whose target lies outside the 8-byte value
//    is dropped); wider values than the map covers are read as stored.
// Afterwards the "PRISM" parameter keeps the low 6 bits of its rounded
// value and the CyAn time parameter is scaled by $TIMESTEP.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dbc {

class TText;

enum class TValueOrder : std::uint8_t { Identity, Reverse, Swap2, Map };

struct TValuePlan {
  char type = 'A';  // 'I', 'F', 'D'; anything else is ASCII
  int n = 0;        // bytes read (binary) or characters (ASCII)
  int bits = 0;     // bits read for bit-packed integers
  TValueOrder order = TValueOrder::Identity;
  std::array<std::int8_t, 8> target{};  // Map: value byte of raw byte k, -1 dropped
  std::uint64_t mask = ~std::uint64_t{0};
  bool prism = false;
  bool cyanTime = false;
  double timestep = 0;
};

// One plan per parameter of the text.
std::vector<TValuePlan> MakeValuePlans(const TText& text);

// raw: the 8-byte raw buffer (the n bytes read, then zeros).
float DecodeBinary(const std::array<std::uint8_t, 8>& raw, const TValuePlan& plan);
// An ASCII field: trimmed decimal integer, 0 when it is none.
float DecodeAscii(std::string_view field);
// The PRISM and CyAn time adjustments.
float FinishValue(float v, const TValuePlan& plan);

}  // namespace dbc
