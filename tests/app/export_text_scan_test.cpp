// The keyword texts of the export outputs are built with one index over
// the keys; here they are compared with the texts that a lookup of every
// parameter's keyword in the store gives, on random source texts: "$PnB"
// in either letter case, repeated, missing or not 32, "$DATATYPE" F or not,
// and a text without "$BYTEORD".
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "app/export.h"
#include "util/text.h"

namespace dbc {
namespace {

bool HoldsFloat32Reference(const TPreText& source, int parcount) {
  if (!SameTextAscii(Trim(source.GetValue("$DATATYPE")), "F")) return false;
  for (int n = 1; n <= parcount; ++n)
    if (Trim(source.GetValue("$P" + std::to_string(n) + "B")) != "32") return false;
  return true;
}

void DescribeFloat32Reference(TPreText& out, bool sourceIsFloat32, int kept) {
  out.SetValue("$BYTEORD", "1,2,3,4");
  if (sourceIsFloat32) return;
  out.SetValue("$DATATYPE", "F");
  for (int n = 1; n <= kept; ++n) out.SetValue("$P" + std::to_string(n) + "B", "32");
}

constexpr int kPar = 9;

TPreText RandomSource(std::mt19937& rng) {
  std::uniform_int_distribution<int> coin(0, 3), bits(0, 4), extra(0, 3);
  TPreText t;
  if (coin(rng) != 0) t.SetValue("$BYTEORD", "4,3,2,1");
  t.SetValue(coin(rng) == 0 ? "$datatype" : "$DATATYPE", coin(rng) == 0 ? "I" : "f");
  t.SetValue("$PAR", std::to_string(kPar));
  const char* const widths[] = {"32", " 32", "16", "", "32 "};
  for (int n = 1; n <= kPar; ++n) {
    const std::string p = "$P" + std::to_string(n);
    t.keys.push_back(p + "N");
    t.Values.push_back("C" + std::to_string(n));
    for (int k = extra(rng); k > 0; --k) {  // none, or repeated in either case
      t.keys.push_back(coin(rng) == 0 ? "$p" + std::to_string(n) + "b" : p + "B");
      t.Values.push_back(widths[bits(rng)]);
    }
  }
  std::shuffle(t.keys.begin() + 3, t.keys.end(), rng);  // keys only: values stay random too
  return t;
}

TEST(ExportTextScan, TextsMatchALookupPerParameter) {
  std::mt19937 rng(5);
  const BitParams bits{8, 1, 3, 0, 5, 4, 7};
  for (int round = 0; round < 2000; ++round) {
    const TPreText source = RandomSource(rng);
    const bool float32 = HoldsFloat32Reference(source, kPar);

    TPreText trash;
    trash.Assign(source);
    DescribeFloat32Reference(trash, float32, kPar);
    const TPreText fastTrash = TrashText(source, kPar);
    ASSERT_EQ(fastTrash.keys, trash.keys) << "round " << round;
    ASSERT_EQ(fastTrash.Values, trash.Values) << "round " << round;

    for (const bool include : {false, true}) {
      TPreText well;
      well.Assign(source);
      if (!include)
        for (int p : {8, 7, 5, 4, 3, 1, 0}) well.DeleteParam(p + 1);
      DescribeFloat32Reference(well, float32, include ? kPar : kPar - 7);
      TIntVector keep;
      const TPreText fastWell = WellText(source, kPar, bits, include, keep);
      ASSERT_EQ(fastWell.keys, well.keys) << "round " << round << (include ? ", with barcode" : "");
      ASSERT_EQ(fastWell.Values, well.Values) << "round " << round << (include ? ", with barcode" : "");
    }
  }
}

}  // namespace
}  // namespace dbc
