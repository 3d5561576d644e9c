#include "fcs/pretext.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/fcs_builder.h"
#include "util/errors.h"

namespace dbc {
namespace {

using Pairs = test::Keywords;
using test::KeywordStore;

Pairs PairsOf(const TPreText& t) {
  Pairs out;
  for (int i = 0; i < t.count(); ++i) out.emplace_back(t.keys[i], t.Values[i]);
  return out;
}

template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}

// --- serialisation ---

TEST(KeywordSerialisation, WritesDelimitedEscapedPairs) {
  struct Case {
    Pairs pairs;
    char delim;
    std::string bytes;
  };
  const Case cases[] = {
      {{}, '/', "/"},
      {{{"$PAR", "2"}, {"$P1N", "Time"}}, '/', "/$PAR/2/$P1N/Time/"},
      {{{"K", "a/b"}, {"x/y", ""}}, '/', "/K/a//b/x//y/ /"},
      {{{"$P1N", "a|b"}}, '|', "|$P1N|a||b|"},
      {{{"", ""}}, '/', "/ / /"},
      // A leading delimiter gets a blank: two delimiters would be an escape.
      {{{"/K", "/"}, {"b/", "c"}}, '/', "/ //K/ ///b///c/"},
  };
  for (const auto& c : cases) {
    TPreText t = KeywordStore(c.pairs);
    t.Delim = c.delim;
    std::ostringstream out;
    t.WriteTo(out);
    EXPECT_EQ(out.str(), c.bytes);
    EXPECT_EQ(t.Size(), static_cast<int>(c.bytes.size()));
  }
  EXPECT_EQ(KeywordStore({{"$PAR", "2"}, {"$P1N", "Time"}}).Size(), 18);
}

// --- lookups and edits ---

TEST(KeywordStore, FindsKeysIgnoringAsciiCaseAtTheirFirstOccurrence) {
  TPreText t = KeywordStore({{"$PAR", "3"}, {"$FIL", "one"}, {"$fil", "two"}});
  EXPECT_EQ(TPreText().count(), 0);
  EXPECT_EQ(TPreText().Delim, '/');
  EXPECT_EQ(t.KeyIndex("$par"), 0);
  EXPECT_EQ(t.KeyIndex(" $PAR"), -1);
  EXPECT_EQ(t.GetValue("$Fil"), "one");
  EXPECT_EQ(t.GetValue("$NOPE"), "");

  t.SetValue("$par", "5");
  t.SetValue("$FIL", "first");
  t.SetValue("$NEW", "x");
  EXPECT_EQ(PairsOf(t), (Pairs{{"$PAR", "5"}, {"$FIL", "first"}, {"$fil", "two"}, {"$NEW", "x"}}));

  t.DeleteKey("$FIL");
  EXPECT_EQ(PairsOf(t), (Pairs{{"$PAR", "5"}, {"$fil", "two"}, {"$NEW", "x"}}));
  t.DeleteKey("$ABSENT");
  EXPECT_EQ(t.count(), 3);
}

TEST(KeywordStore, AddAndInsertReplaceWhenPresent) {
  TPreText t = KeywordStore({{"A", "1"}, {"B", "2"}});
  t.Add("a", "10");
  t.Add("C", "3");
  t.Insert(0, "Z", "0");
  t.Insert(0, "b", "20");  // present: replaced in place, index unused
  t.Insert(t.count(), "END", "e");
  EXPECT_EQ(PairsOf(t), (Pairs{{"Z", "0"}, {"A", "10"}, {"B", "20"}, {"C", "3"}, {"END", "e"}}));

  const Pairs before = PairsOf(t);
  EXPECT_EQ(MessageOf([&] { t.Insert(7, "Q", "q"); }), "List index out of bounds (7)");
  EXPECT_EQ(MessageOf([&] { t.Insert(-1, "Q", "q"); }), "List index out of bounds (-1)");
  EXPECT_EQ(PairsOf(t), before);
}

TEST(KeywordStore, AssignCopiesFlagsAndAppends) {
  TPreText src(true);
  src.Delim = '|';
  src.SetValue("$TOT", "5");
  TPreText dst = KeywordStore({{"$TOT", "1"}});
  dst.Assign(src);
  EXPECT_TRUE(dst.Decimate);
  EXPECT_EQ(dst.Delim, '|');
  EXPECT_EQ(PairsOf(dst), (Pairs{{"$TOT", "1"}, {"$TOT", "5"}}));
  dst.Assign(dst);
  EXPECT_EQ(dst.count(), 4);
}

// --- parameter keywords ---

TEST(ParameterKeywords, NumbersCountsAndNames) {
  EXPECT_EQ(TPreText::ParNumOfKey("$P12N"), 12);
  EXPECT_EQ(TPreText::ParNumOfKey("$p3n"), 3);
  EXPECT_EQ(TPreText::ParNumOfKey("$P7"), 7);
  EXPECT_EQ(TPreText::ParNumOfKey("$P0N"), 0);
  EXPECT_EQ(TPreText::ParNumOfKey("$PAR"), -1);
  EXPECT_EQ(TPreText::ParNumOfKey("P3DISPLAY"), -1);
  EXPECT_THROW(TPreText::ParNumOfKey("$P99999999999N"), EConvertError);

  const std::pair<Pairs, int> counts[] = {
      {{{"$PAR", "8"}}, 8},
      {{{"$PAR", " 8 "}}, 8},
      {{{"$PAR", "x"}}, 0},
      {{{"$P1N", "a"}}, 0},
      {{{"$PAR", "0"}, {"$P6N", "f"}, {"$P2N", "b"}}, 6},
      {{{"$PAR", "-1"}}, 0},
      {{{"$PAR", "0"}, {"$P99999999999N", "f"}}, 0},
  };
  for (const auto& [pairs, expected] : counts) EXPECT_EQ(KeywordStore(pairs).ParCount(), expected);

  const TPreText t = KeywordStore({{"$PAR", "3"},
                           {"$P1N", " FSC-A "},
                           {"$P1S", "FSC-A"},
                           {"$P2N", "FL1 Log"},
                           {"$P2S", "CD3"},
                           {"$P3N", "lin2"},
                           {"$P3S", "CD4"}});
  EXPECT_EQ(t.ParShortName(0), "FSC-A");
  EXPECT_EQ(t.ParShortName(5), "");
  EXPECT_EQ(t.ParLongName(1), "CD3");
  EXPECT_EQ(t.ParSomeName(0), "FSC-A");
  EXPECT_EQ(t.ParSomeName(1), "Log CD3");
  EXPECT_EQ(t.ParSomeName(2), "Lin CD4");
  EXPECT_EQ(t.ParIndByName("fsc-a"), 0);
  EXPECT_EQ(t.ParIndByName(" FSC-A"), -1);
  EXPECT_EQ(t.ParIndByName("CD3"), -1);
}

TEST(ParameterKeywords, SuffixesAndValuesWithoutTheDollarSign) {
  const TPreText t = KeywordStore({{"$P1N", "a"}, {"$P1S", "b"}, {"$P2N", "c"}, {"P1DISPLAY", "LOG"}, {"$P3DISPLAY", ""},
                           {"P3DISPLAY", "LIN"}});
  EXPECT_EQ(t.ParOfParNames(), (StringArray{"N", "S", "DISPLAY"}));
  EXPECT_EQ(t.ParOfParValue(1, "DISPLAY"), "LOG");
  EXPECT_EQ(t.ParOfParValue(3, "DISPLAY"), "LIN");
  EXPECT_EQ(t.ParOfParValue(2, "DISPLAY"), "");
}

TEST(ParameterKeywords, DeleteParamRemovesAndRenumbers) {
  TPreText t = KeywordStore({{"$PAR", "3"},
                     {"$P1N", "a"},
                     {"$P2N", "b"},
                     {"$SPILLOVER", "1,1,1"},
                     {"$P3N", "c"},
                     {"$p3b", "16"},
                     {"P3DISPLAY", "LOG"},
                     {"SPILL", "x"}});
  t.DeleteParam(2);
  EXPECT_EQ(PairsOf(t), (Pairs{{"$PAR", "2"},
                               {"$P1N", "a"},
                               {"$P2N", "c"},
                               {"$p2b", "16"},
                               {"P3DISPLAY", "LOG"},
                               {"SPILL", "x"}}));

  TPreText bare = KeywordStore({{"$PAR", "12"}, {"$P12N", "x"}, {"$P5", "y"}, {"$P3N1X", "z"}});
  bare.DeleteParam(2);
  EXPECT_EQ(PairsOf(bare), (Pairs{{"$PAR", "11"}, {"$P11N", "x"}, {"$P4", "y"}, {"$P2N", "z"}}));

  TPreText noPar = KeywordStore({{"$P1N", "a"}, {"$P2N", "b"}});
  EXPECT_EQ(MessageOf([&] { noPar.DeleteParam(1); }), "'' is not a valid integer value");
  EXPECT_EQ(PairsOf(noPar), (Pairs{{"$P1N", "b"}}));
}

TEST(ParameterKeywords, AddTipAppendsOrInsertsAfterTheLastParameterKey) {
  TPreText t;
  for (int i = 0; i < 20; ++i) t.SetValue("K" + std::to_string(i), "v");
  t.SetValue("$P3N", "c");  // index 20
  t.SetValue("$TOT", "9");
  t.AddTip(3);
  EXPECT_EQ(t.keys[21], "$P4N");
  EXPECT_EQ(t.keys[22], "$P4R");
  EXPECT_EQ(t.keys[23], "$P4B");
  EXPECT_EQ(t.Values[21], "TIP");
  EXPECT_EQ(t.Values[22], "1024");
  EXPECT_EQ(t.Values[23], "16");
  EXPECT_EQ(t.keys[24], "$TOT");
  EXPECT_EQ(t.GetValue("$PAR"), "4");

  TPreText empty;
  empty.AddTip(0);
  EXPECT_EQ(PairsOf(empty), (Pairs{{"$P1B", "16"}, {"$P1R", "1024"}, {"$P1N", "TIP"}, {"$PAR", "1"}}));
}

TEST(ParameterKeywords, FixCyanTimeMergesTheTimePair) {
  TPreText t;
  t.SetValue("$PAR", "7");
  for (int p = 1; p <= 7; ++p) {
    t.SetValue("$P" + std::to_string(p) + "N", "n" + std::to_string(p));
    t.SetValue("$P" + std::to_string(p) + "B", "16");
  }
  t.SetValue("$SPILLOVER", "2,3,7,1,0.1,0.2,1");
  t.FixCyanTime(5);
  EXPECT_EQ(t.GetValue("$P5B"), "32");
  EXPECT_EQ(t.GetValue("$P5R"), "4294967296");
  EXPECT_EQ(t.GetValue("$P5N"), "TIME");
  EXPECT_EQ(t.GetValue("$P5S"), "TIME");
  EXPECT_EQ(t.GetValue("$P6N"), "n7");
  EXPECT_EQ(t.KeyIndex("$P7N"), -1);
  EXPECT_EQ(t.GetValue("$PAR"), "7");
  EXPECT_EQ(t.GetValue("$SPILLOVER"), "2,3,6,1,0.1,0.2,1");

  TPreText shortSpill = KeywordStore({{"$SPILLOVER", "3,7,8"}});
  shortSpill.FixCyanTime(1);
  EXPECT_EQ(shortSpill.GetValue("$SPILLOVER"), "3,7,8");

  TPreText badSpill = KeywordStore({{"$SPILLOVER", "2,x,7,1,0,0,1"}, {"$P3N", "c"}});
  EXPECT_EQ(MessageOf([&] { badSpill.FixCyanTime(1); }), "'x' is not a valid integer value");
  EXPECT_EQ(badSpill.GetValue("$SPILLOVER"), "2,x,7,1,0,0,1");
  EXPECT_EQ(badSpill.GetValue("$P1N"), "TIME");
}

TEST(ParameterKeywords, RecognisesCyanSummitTexts) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"cyan", "SUMMIT 4.3", true}, {"CyAn", "Summit", true},  {"CyAn ADP", "Summit", false},
      {"CyAn", "Summ", false},      {nullptr, "Summit", false}, {"CyAn", nullptr, false},
  };
  for (const auto& [cyt, sys, expected] : cases) {
    TPreText t;
    if (cyt) t.SetValue("$CYT", cyt);
    if (sys) t.SetValue("$SYS", sys);
    EXPECT_EQ(t.IsCyanSummit(), expected) << (cyt ? cyt : "-") << " / " << (sys ? sys : "-");
  }
}

TEST(Spillover, ReadsNumberedAndNamedForms) {
  TIntVector inds;
  TMatrix m;
  KeywordStore({{"$SPILLOVER", "2,1,3,1,0.5,0.25,1"}}).ReadSpillover(inds, m);
  EXPECT_EQ(inds, (TIntVector{0, 2}));
  EXPECT_EQ(m, (TMatrix{{1, 0.5}, {0.25, 1}}));

  KeywordStore({{"$SPILLOVER", "2,1,2,0.9,0.5,0.25,0.9,extra"}}).ReadSpillover(inds, m);
  EXPECT_EQ(m, (TMatrix{{1, 0.5}, {0.25, 1}}));

  const TPreText named = KeywordStore({{"$PAR", "3"}, {"$P1N", "FSC"}, {"$P2N", "FITC-A"}, {"$P3N", "PE-A"},
                               {"SPILL", "2,pe-a,FITC-A,1,0.1,0.2,1"}});
  named.ReadSpillover(inds, m);
  EXPECT_EQ(inds, (TIntVector{2, 1}));
  EXPECT_EQ(m, (TMatrix{{1, 0.1}, {0.2, 1}}));

  KeywordStore({{"$SPILLOVER", "0"}}).ReadSpillover(inds, m);
  EXPECT_TRUE(inds.empty());
  EXPECT_TRUE(m.empty());

  inds = {7};
  KeywordStore({{"$FIL", "x"}}).ReadSpillover(inds, m);
  EXPECT_EQ(inds, (TIntVector{7}));
  EXPECT_TRUE(m.empty());
}

TEST(Spillover, EveryMalformedValueGivesOneMessage) {
  const Pairs bad[] = {
      {{"$SPILLOVER", "2,1,3,1,0.5"}},
      {{"$SPILLOVER", "x,1"}},
      {{"$SPILLOVER", "-1"}},
      {{"$SPILLOVER", "1,a,1"}},
      {{"$SPILLOVER", "1,1,one"}},
      {{"$SPILLOVER", "1,1,1 "}},
      {{"$SPILLOVER", "2000000000,1,1"}},
      {{"$SPILLOVER", "1,-2147483648,1"}},
      {{"$P1N", "A"}, {"SPILL", "1,B,1"}},
  };
  for (const auto& pairs : bad) {
    TIntVector inds;
    TMatrix m{{1}};
    EXPECT_EQ(MessageOf([&] { KeywordStore(pairs).ReadSpillover(inds, m); }), "Error Reading Spillover Matrix")
        << pairs.back().second;
    EXPECT_TRUE(m.empty());
  }
}

}  // namespace
}  // namespace dbc
