// The keyword texts of exported files: parameter keys of every spelling,
// spillover restricted to the parameters kept, repeated keys, the keywords
// FCS 3.0 requires, segments an output does not have, log-amplified
// parameters made linear, and the origin keywords.
#include "app/export_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "support/fcs_builder.h"

namespace dbc {
namespace {

using Pairs = test::Keywords;
using test::KeywordStore;

// Five float32 parameters named A..E, with extra pairs.
TPreText Five(const Pairs& extra = {}) {
  Pairs p{{"$BYTEORD", "4,3,2,1"}, {"$DATATYPE", "F"}, {"$MODE", "L"}, {"$PAR", "5"}, {"$TOT", "3"}};
  for (int n = 1; n <= 5; ++n) {
    const std::string k = "$P" + std::to_string(n);
    p.emplace_back(k + "N", std::string(1, static_cast<char>('A' + n - 1)));
    p.emplace_back(k + "B", "32");
    p.emplace_back(k + "E", "0,0");
    p.emplace_back(k + "R", "1024");
  }
  p.insert(p.end(), extra.begin(), extra.end());
  return KeywordStore(p);
}

TPreText Output(const TPreText& source, const TIntVector& keep, int parcount = 5) {
  const TSingleMatrix data(static_cast<std::size_t>(parcount), TSingleVector{1.0f, 2.0f});
  return OutputText(source, parcount, keep, ParameterOutputs(source, parcount, data, 2), "C07",
                    "/runs/plate 3.fcs");
}

TEST(ExportText, ParameterKeysOfEverySpellingFollowTheirParameter) {
  // Parameters 2 and 4 (0-based 1 and 3) are removed.
  const TPreText out = Output(Five({{"P2DISPLAY", "LOG"},
                                    {"P4DISPLAY", "LIN"},
                                    {"p5display", "LOG"},
                                    {"@P3GAIN", "2"},
                                    {"@P2GAIN", "3"},
                                    {"$p5s", "long"},
                                    {"P5Lin2x", "y"},
                                    {"$P5", "bare"},
                                    {"P7DISPLAY", "beyond the count"},
                                    {"PTHRESVOL", "1"},
                                    {"$PLATEID", "p"}}),
                              {0, 2, 4});
  const Pairs expected{{"P3DISPLAY", "LOG"}, {"@P2GAIN", "2"},  {"$p3s", "long"},
                       {"P3Lin2x", "y"},     {"$P3", "bare"},   {"P7DISPLAY", "beyond the count"},
                       {"PTHRESVOL", "1"},   {"$PLATEID", "p"}};
  for (const auto& [k, v] : expected) EXPECT_EQ(out.GetValue(k), v) << k;
  for (const char* gone : {"P2DISPLAY", "P4DISPLAY", "@P3GAIN", "$P4N", "$P5N", "$P4R", "p5display"})
    EXPECT_EQ(out.KeyIndex(gone), -1) << gone;
  EXPECT_EQ(out.GetValue("$P1N"), "A");
  EXPECT_EQ(out.GetValue("$P2N"), "C");
  EXPECT_EQ(out.GetValue("$P3N"), "E");
  EXPECT_EQ(out.GetValue("$PAR"), "3");
}

TEST(ExportText, RepeatedKeysAreWrittenOnceWithTheFirstValue) {
  const TPreText out = Output(Five({{"$FIL", "first"}, {"$fil", "second"}, {"$P1N", "again"}, {"$FIL", "third"}}),
                              {0, 1, 2, 3, 4});
  int fil = 0;
  for (const auto& k : out.keys) fil += SameTextAscii(k, "$FIL") ? 1 : 0;
  EXPECT_EQ(fil, 1);
  EXPECT_EQ(out.GetValue("$FIL"), "first");
  EXPECT_EQ(out.GetValue("$P1N"), "A");
  // Five()'s 25 pairs and $FIL, then $NEXTDATA, the four offsets of the
  // other segments and the two origin keywords.
  EXPECT_EQ(out.count(), 25 + 1 + 1 + 4 + 2);
}

TEST(ExportText, SpilloverRestrictedToTheParametersKept) {
  struct Case {
    const char* name;
    std::string key, value;
    TIntVector keep;
    const char* expected;  // nullptr: removed
  };
  const Case cases[] = {
      {"numbers", "$SPILLOVER", "3,1,3,5,1,0.1,0.2,0.3,1,0.4,0.5,0.6,1", {0, 3, 4}, "2,1,3,1,0.2,0.5,1"},
      {"numbersAllKept", "$SPILLOVER", "2,4,5,1,0.5,0.25,1", {0, 3, 4}, "2,2,3,1,0.5,0.25,1"},
      {"names", "$SPILLOVER", "3,A,C,E,1,0.1,0.2,0.3,1,0.4,0.5,0.6,1", {0, 3, 4}, "2,A,E,1,0.2,0.5,1"},
      {"namesBlankAndCase", "$SPILLOVER", "2, a ,E,1,0.1,0.2,1", {1, 4}, "1,E,1"},
      {"spill", "SPILL", "3,A,C,E,1,0.1,0.2,0.3,1,0.4,0.5,0.6,1", {2}, "1,C,1"},
      {"spillNamesOnly", "SPILL", "2,1,2,1,0,0,1", {0, 1, 2}, nullptr},
      {"compWithReferences", "$COMP", "2,2,3,1,0.5,0.25,1", {2, 3, 4}, "1,1,1"},
      {"compPositional", "$COMP", "3,1,0.1,0.2,0.3,1,0.4,0.5,0.6,1", {0, 2, 3, 4}, "2,1,0.2,0.5,1"},
      {"noneRemains", "$SPILLOVER", "2,1,2,1,0.5,0.25,1", {2, 3, 4}, nullptr},
      {"unreadable", "$SPILLOVER", "2,1,2,1,0.5", {0, 1, 2}, nullptr},
      {"noParameter", "$SPILLOVER", "2,1,9,1,0.5,0.25,1", {0, 1, 2}, nullptr},
      {"zero", "$SPILLOVER", "0", {0, 1, 2}, nullptr},
      {"coefficientsAsWritten", "$SPILLOVER", "2,1,2,1.000,5E-2,0.0250,1.0,extra", {0, 1, 2}, "2,1,2,1.000,5E-2,0.0250,1.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TPreText out = Output(Five({{c.key, c.value}}), c.keep);
    if (c.expected) {
      EXPECT_EQ(out.GetValue(c.key), c.expected);
    } else {
      EXPECT_EQ(out.KeyIndex(c.key), -1);
    }
    // With every parameter kept (the trash file) the keyword stays as it was.
    EXPECT_EQ(Output(Five({{c.key, c.value}}), {0, 1, 2, 3, 4}).GetValue(c.key), c.value);
  }
}

TEST(ExportText, SegmentsAndRequiredKeywords) {
  // An FCS 2.0 text: no offsets of other segments, no $PnE, $PnR, $PnN for
  // the second parameter, a chain pointer, integer data.
  const TPreText source = KeywordStore({{"$BYTEORD", "4,3,2,1"},
                                {"$DATATYPE", "I"},
                                {"$MODE", "L"},
                                {"$PAR", "2"},
                                {"$TOT", "2"},
                                {"$NEXTDATA", "363602"},
                                {"$BEGINANALYSIS", "2744"},
                                {"$ENDANALYSIS", "127310"},
                                {"$BEGINSTEXT", "000000000000"},
                                {"$P1N", "FSC"},
                                {"$P1B", "16"},
                                {"$P1R", "1024"},
                                {"$P1E", "0,0"},
                                {"$P2B", "16"}});
  const TSingleMatrix data{{1, 2}, {7.5f, 299.2f}};
  const TPreText out = OutputText(source, 2, {0, 1}, ParameterOutputs(source, 2, data, 2), "trash", "a.fcs");
  const Pairs expected{{"$NEXTDATA", "0"},   {"$BEGINANALYSIS", "0"}, {"$ENDANALYSIS", "0"},
                       {"$BEGINSTEXT", "0"}, {"$ENDSTEXT", "0"},      {"$DATATYPE", "F"},
                       {"$BYTEORD", "1,2,3,4"}, {"$MODE", "L"},       {"$PAR", "2"},
                       {"$P1B", "32"},       {"$P1E", "0,0"},         {"$P1R", "1024"},
                       {"$P1N", "FSC"},      {"$P2B", "32"},          {"$P2E", "0,0"},
                       {"$P2R", "300"},      {"$P2N", "nn1"},         {"DEBARCODE_WELL", "trash"},
                       {"DEBARCODE_SOURCE", "a.fcs"}};
  for (const auto& [k, v] : expected) EXPECT_EQ(out.GetValue(k), v) << k;
  // Keys kept in their places; missing ones appended.
  EXPECT_EQ(out.KeyIndex("$NEXTDATA"), 5);
  EXPECT_GT(out.KeyIndex("$ENDSTEXT"), out.KeyIndex("$P2B"));
  // A histogram-mode source: the output is list mode.
  TPreText histogram = source;
  histogram.Values[2] = "C";
  EXPECT_EQ(OutputText(histogram, 2, {0, 1}, ParameterOutputs(histogram, 2, data, 2), "A01", "").GetValue("$MODE"), "L");
  EXPECT_EQ(OutputText(histogram, 2, {0, 1}, ParameterOutputs(histogram, 2, data, 2), "A01", "").KeyIndex("DEBARCODE_SOURCE"), -1);
}

TEST(ExportText, LogAmplifiedChannelsBecomeLinear) {
  struct Case {
    const char* name;
    const char* datatype;
    const char* e;
    const char* r;      // nullptr: no $PnR
    float top;          // largest value of the column
    bool linear;
    double decades, offset, range;
    const char* newE;   // $PnE written
    const char* newR;   // $PnR written
  };
  const Case cases[] = {
      {"fourDecades", "I", "4,1", "1024", 1023, true, 4, 1, 1024, "0,0", "10000"},
      {"offsetZeroIsOne", "I", "4.0,0", "1024", 1023, true, 4, 1, 1024, "0,0", "10000"},
      {"offset", "I", " 4.0,0.1024", "1024", 1023, true, 4, 0.1024, 1024, "0,0", "1024"},
      {"beyondTheRange", "I", "4,1", "1000", 1023, true, 4, 1, 1000, "0,0", "12360"},
      {"noRangeTakesTheBits", "I", "3,1", nullptr, 10, true, 3, 1, 65536, "0,0", "1000"},
      {"ascii", "A", "4,1", "1024", 1023, true, 4, 1, 1024, "0,0", "10000"},
      {"asciiWithoutRange", "A", "4,1", nullptr, 1023, false, 0, 0, 0, "4,1", "1024"},
      {"linear", "I", "0,0", "1024", 1023, false, 0, 0, 0, "0,0", "1024"},
      {"linearGain", "I", "0,1", "1024", 1023, false, 0, 0, 0, "0,1", "1024"},
      {"floatsAreLinear", "F", "4,1", "262144", 5, false, 0, 0, 0, "0,0", "262144"},
      {"doubles", "D", "2,1", "100", 5, false, 0, 0, 0, "0,0", "100"},
      {"malformed", "I", "x,1", "1024", 1023, false, 0, 0, 0, "x,1", "1024"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pairs p{{"$DATATYPE", c.datatype}, {"$MODE", "L"}, {"$PAR", "1"}, {"$P1N", "FL1"}, {"$P1B", "16"}, {"$P1E", c.e}};
    if (c.r) p.emplace_back("$P1R", c.r);
    const TPreText source = KeywordStore(p);
    const TSingleMatrix data{{0, c.top}};
    const auto params = ParameterOutputs(source, 1, data, 2);
    ASSERT_EQ(params.size(), 1u);
    ASSERT_EQ(params[0].linear.has_value(), c.linear);
    if (c.linear) {
      EXPECT_EQ(params[0].linear->decades, c.decades);
      EXPECT_EQ(params[0].linear->offset, c.offset);
      EXPECT_EQ(params[0].linear->range, c.range);
    }
    const TPreText out = OutputText(source, 1, {0}, params, "A01", "");
    EXPECT_EQ(out.GetValue("$P1E"), c.newE);
    EXPECT_EQ(out.GetValue("$P1R"), c.newR);
  }
}

TEST(ExportText, LinearValues) {
  const TLogToLinear four{4, 1, 1024};
  EXPECT_EQ(four(0), 1.0f);
  EXPECT_EQ(four(256), 10.0f);
  EXPECT_EQ(four(512), 100.0f);
  EXPECT_EQ(four(1024), 10000.0f);
  EXPECT_FLOAT_EQ(four(1023), static_cast<float>(std::pow(10.0, 4.0 * 1023 / 1024)));
  const TLogToLinear offset{4, 0.1024, 1024};
  EXPECT_FLOAT_EQ(offset(0), 0.1024f);
  EXPECT_FLOAT_EQ(offset(1024), 1024.0f);
}

}  // namespace
}  // namespace dbc
