#include "app/plate.h"

#include <cstring>

namespace dbc {

std::uint8_t well2code[kPlateRows][kPlateColumns];
TWellPos code2well[kCodeCount];

namespace {

// r and c count from 1 (row A = 1).
std::uint8_t WellCode(int r, int c) {
  int code = 0;
  if (c % 2 == 0) code += 1;
  if (r % 2 == 0) code += 2;
  if (c == 1 || c == 2 || c == 5 || c == 6 || c == 9 || c == 10) code += 4;
  if (r == 3 || r == 4 || r == 7 || r == 8) code += 8;
  if (c == 3 || c == 4 || c == 5 || c == 6 || c == 11 || c == 12) code += 16;
  if (r > 4) code += 32;
  if (c > 6) code += 64;
  return static_cast<std::uint8_t>(code);
}

}  // namespace

void BuildPlateTables() {
  std::memset(well2code, 0, sizeof well2code);
  for (int c = 1; c <= kPlateColumns; ++c)
    for (int r = 1; r <= kPlateRows; ++r) well2code[r - 1][c - 1] = WellCode(r, c);
  for (auto& w : code2well) w = TWellPos{-1, -1};
  for (int r = 1; r <= kPlateRows; ++r)
    for (int c = 1; c <= kPlateColumns; ++c)
      code2well[well2code[r - 1][c - 1]] = TWellPos{c - 1, r - 1};
}

std::array<std::uint8_t, kNoWellCodeCount> NoWellCodes() {
  std::array<std::uint8_t, kNoWellCodeCount> out{};
  std::size_t n = 0;
  for (int code = 0; code < kCodeCount; ++code)
    if (code2well[code].col < 0 && n < out.size()) out[n++] = static_cast<std::uint8_t>(code);
  return out;
}

const char* WellRowLetter(int row) {
  static const char* const kLetters[kPlateRows] = {"A", "B", "C", "D", "E", "F", "G", "H"};
  return (row >= 0 && row < kPlateRows) ? kLetters[row] : "";
}

std::string WellName(int row, int col) {
  return WellRowLetter(row) + std::string(col < 9 ? "0" : "") + std::to_string(col + 1);
}

std::string CodeBitsText(int code) {
  std::string bits;
  int on = 0;
  for (int bit = 1; bit <= 7; ++bit)
    if (code & (1 << (bit - 1))) {
      bits += (on++ ? ", " : " ") + std::to_string(bit);
    }
  const std::string tail = " (code " + std::to_string(code) + ")";
  if (on == 0) return "no bit on" + tail;
  return (on == 1 ? "bit" : "bits") + bits + " on" + tail;
}

}  // namespace dbc
