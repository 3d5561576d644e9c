// The parameter operations that take one pass over the keyword store
// (finding a parameter by its short name, removing a parameter's keys or
// every spillover matrix)
// against the pair-by-pair algorithms they replace, on random stores full
// of the cases that matter: keys in either letter case, numbers with
// leading zeros, repeated keys, keys without the dollar sign, blank and
// empty names, "$PAR" absent, zero or larger than the keys.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fcs/pretext.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {
namespace {

// The first index i < ParCount whose short name matches, scanning the
// store once per parameter.
int ParIndByNameReference(const TPreText& t, std::string_view pname) {
  const int n = t.ParCount();
  for (int i = 0; i < n; ++i)
    if (SameTextAscii(t.ParShortName(i), pname)) return i;
  return -1;
}

// Removes the pairs of parameter n from the last pair to the first, one
// at a time.
void DeleteParReference(TPreText& t, int n) {
  for (int i = t.count() - 1; i >= 0; --i)
    if (TPreText::ParNumOfKey(t.keys[static_cast<std::size_t>(i)]) == n) {
      t.keys.erase(t.keys.begin() + i);
      t.Values.erase(t.Values.begin() + i);
    }
}

const char* const kNames[] = {"FSC-A", "fsc-a", "BC1", "", " ", " BC1", "Time", "TIME "};

TPreText RandomStore(std::mt19937& rng) {
  const char* const keyForms[] = {"$P%N", "$p%n", "$P%n", "$P0%N", "P%N", "$P%B", "$P%S", "$P%", "$P%NX"};
  std::uniform_int_distribution<int> pairs(0, 24), form(0, 8), number(0, 7), name(0, 7), par(0, 9);
  TPreText t;
  const int count = pairs(rng);
  for (int i = 0; i < count; ++i) {
    std::string key = keyForms[form(rng)];
    key.replace(key.find('%'), 1, std::to_string(number(rng)));
    // Appended directly, so that repeated keys stay repeated.
    t.keys.push_back(key);
    t.Values.push_back(kNames[name(rng)]);
  }
  const int p = par(rng);
  if (p < 7) t.SetValue("$PAR", std::to_string(p - 1));  // -1 .. 5; absent otherwise
  return t;
}

TEST(KeywordScan, FindingAParameterByNameMatchesTheScanPerParameter) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    const TPreText t = RandomStore(rng);
    for (const char* pname : kNames)
      ASSERT_EQ(t.ParIndByName(pname), ParIndByNameReference(t, pname))
          << "round " << round << ", name '" << pname << "', text " << t.Serialize();
  }
}

TEST(KeywordScan, RemovingAParameterMatchesTheRemovalPairByPair) {
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    const TPreText t = RandomStore(rng);
    for (int n = 0; n <= 8; ++n) {
      TPreText fast = t, plain = t;
      fast.DeletePar(n);
      DeleteParReference(plain, n);
      ASSERT_EQ(fast.keys, plain.keys) << "round " << round << ", parameter " << n;
      ASSERT_EQ(fast.Values, plain.Values) << "round " << round << ", parameter " << n;
    }
  }
}

TEST(KeywordScan, ANumberTooLargeRaisesBeforeAnythingIsRemoved) {
  TPreText t;
  t.SetValue("$P1N", "a");
  t.SetValue("$P99999999999N", "b");
  t.SetValue("$P1B", "16");
  const TPreText before = t;
  EXPECT_THROW(t.DeletePar(1), EConvertError);
  EXPECT_EQ(t.keys, before.keys);
  EXPECT_EQ(t.Values, before.Values);
}

// The export removes the barcode parameters from a copy of the text; the
// spillover matrix numbers parameters, so no copy of it may survive the
// renumbering, also in a text that repeats the keyword.
TEST(KeywordScan, RemovingAParameterRemovesEverySpilloverMatrix) {
  TPreText t;
  for (const auto& [k, v] : std::vector<std::pair<std::string, std::string>>{
           {"$PAR", "3"}, {"$SPILLOVER", "2,1,3,1,0,0,1"}, {"$P1N", "a"}, {"$spillover", "1,3,1"},
           {"$P2N", "b"}, {"$P3N", "c"}, {"$SPILLOVER", "1,2,1"}, {"SPILL", "1,c,1"}}) {
    t.keys.push_back(k);
    t.Values.push_back(v);
  }
  t.DeleteParam(2);
  EXPECT_EQ(t.keys, (StringArray{"$PAR", "$P1N", "$P2N", "SPILL"}));
  EXPECT_EQ(t.Values, (StringArray{"2", "a", "c", "1,c,1"}));
}

}  // namespace
}  // namespace dbc
