#pragma once
// The plate barcode scheme: which 7-bit code belongs to which well of a
// 96-well plate (rows A..H, columns 1..12) and which codes belong to none.
//
// A well's code is a column part (bits 1, 3, 5, 7: values 1, 4, 16, 64) plus
// a row part (bits 2, 4, 6: values 2, 8, 32). The column parts always have
// one or two of the bits 3, 5 and 7 set, so the 32 codes whose bits 3, 5 and
// 7 are all clear or all set are no well and go to the trash file.
#include <array>
#include <cstdint>
#include <string>

namespace dbc {

constexpr int kPlateRows = 8;
constexpr int kPlateColumns = 12;
constexpr int kCodeCount = 128;
constexpr int kNoWellCodeCount = kCodeCount - kPlateRows * kPlateColumns;

// Position of a well, 0-based; (-1, -1) for a code that is no well.
struct TWellPos {
  std::int32_t col;
  std::int32_t row;
};

// [row][column], rows A..H as 0..7 and columns 1..12 as 0..11.
extern std::uint8_t well2code[kPlateRows][kPlateColumns];
extern TWellPos code2well[kCodeCount];

// Fills both tables; run once at program start-up, before any export.
void BuildPlateTables();

// The 32 codes that are no well, ascending (the tables must be built).
std::array<std::uint8_t, kNoWellCodeCount> NoWellCodes();

// Row letter "A" .. "H" of a 0-based row; empty outside the plate.
const char* WellRowLetter(int row);
// "A01" .. "H12" of a 0-based row and column.
std::string WellName(int row, int col);
// The bits a code has on, in words: "bits 1, 3, 7 on (code 69)", "no bit
// on (code 0)".
std::string CodeBitsText(int code);

}  // namespace dbc
