// The plate barcode scheme: the code of every well and the trash codes.
#include "app/plate.h"

#include <gtest/gtest.h>

#include <bitset>
#include <set>

namespace dbc {
namespace {

class PlateTables : public testing::Test {
 protected:
  static void SetUpTestSuite() { BuildPlateTables(); }
};

TEST_F(PlateTables, WellCodesAsPrinted) {
  const int expected[kPlateRows][kPlateColumns] = {
      {4, 5, 16, 17, 20, 21, 64, 65, 68, 69, 80, 81},
      {6, 7, 18, 19, 22, 23, 66, 67, 70, 71, 82, 83},
      {12, 13, 24, 25, 28, 29, 72, 73, 76, 77, 88, 89},
      {14, 15, 26, 27, 30, 31, 74, 75, 78, 79, 90, 91},
      {36, 37, 48, 49, 52, 53, 96, 97, 100, 101, 112, 113},
      {38, 39, 50, 51, 54, 55, 98, 99, 102, 103, 114, 115},
      {44, 45, 56, 57, 60, 61, 104, 105, 108, 109, 120, 121},
      {46, 47, 58, 59, 62, 63, 106, 107, 110, 111, 122, 123},
  };
  std::set<int> distinct;
  for (int r = 0; r < kPlateRows; ++r)
    for (int c = 0; c < kPlateColumns; ++c) {
      EXPECT_EQ(well2code[r][c], expected[r][c]) << r << "," << c;
      distinct.insert(well2code[r][c]);
      EXPECT_EQ(code2well[well2code[r][c]].col, c);
      EXPECT_EQ(code2well[well2code[r][c]].row, r);
      const auto bits = std::bitset<7>(well2code[r][c]).count();
      EXPECT_GE(bits, 1u);
      EXPECT_LE(bits, 6u);
    }
  EXPECT_EQ(distinct.size(), 96u);
}

TEST_F(PlateTables, TrashCodesHaveBits357AllClearOrAllSet) {
  int trash = 0;
  for (int code = 0; code < kCodeCount; ++code) {
    const int b357 = code & (4 | 16 | 64);
    const bool noWell = b357 == 0 || b357 == (4 | 16 | 64);
    EXPECT_EQ(code2well[code].col == -1, noWell) << code;
    EXPECT_EQ(code2well[code].col == -1, code2well[code].row == -1) << code;
    trash += noWell;
  }
  EXPECT_EQ(trash, 32);
}

TEST_F(PlateTables, NamedCorners) {
  struct Case {
    int code, col, row;
  };
  const Case cases[] = {{0, -1, -1},  {127, -1, -1}, {4, 0, 0},   {81, 11, 0},  {46, 0, 7},
                        {123, 11, 7}, {85, -1, -1},  {84, -1, -1}, {1, -1, -1}, {72, 6, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(code2well[c.code].col, c.col) << c.code;
    EXPECT_EQ(code2well[c.code].row, c.row) << c.code;
  }
  EXPECT_STREQ(WellRowLetter(2), "C");
  EXPECT_STREQ(WellRowLetter(8), "");
}

TEST(Plate, WellNamesAndCodeTexts) {
  BuildPlateTables();
  EXPECT_EQ(WellName(0, 0), "A01");
  EXPECT_EQ(WellName(1, 8), "B09");
  EXPECT_EQ(WellName(7, 11), "H12");
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {{0, "no bit on (code 0)"},
                        {4, "bit 3 on (code 4)"},
                        {81, "bits 1, 5, 7 on (code 81)"},
                        {127, "bits 1, 2, 3, 4, 5, 6, 7 on (code 127)"}};
  for (const auto& c : cases) EXPECT_EQ(CodeBitsText(c.code), c.text);
  // A01's code, in words.
  EXPECT_EQ(CodeBitsText(well2code[0][0]), "bit 3 on (code 4)");
}

}  // namespace
}  // namespace dbc
