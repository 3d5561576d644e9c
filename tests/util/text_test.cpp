#include "util/text.h"

#include <gtest/gtest.h>

#include "util/errors.h"

namespace dbc {
namespace {

struct SplitCase {
  std::string s, d;
  StringArray expected;
};

TEST(SplitByString, KeepsEmptyFieldsAndDoesNotOverlap) {
  const SplitCase cases[] = {
      {"a,,b", ",", {"a", "", "b"}}, {"a,", ",", {"a", ""}},   {",a", ",", {"", "a"}},
      {"abc", ",", {"abc"}},         {"", ",", {}},            {"", "", {}},
      {"abc", "", {"abc"}},          {"a//b", "//", {"a", "b"}}, {"a///b", "//", {"a", "/b"}},
      {",", ",", {"", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitByString(c.s, c.d), c.expected) << "'" << c.s << "' by '" << c.d << "'";
}

TEST(SplitByCharSet, GivesMaximalRunsWithoutEmptyFields) {
  EXPECT_EQ(SplitByCharSet(",,1,,2,,", CommaSet()), (StringArray{"1", "2"}));
  EXPECT_EQ(SplitByCharSet("$P3", DigitSet()), (StringArray{"$P"}));
  EXPECT_EQ(SplitByCharSet("$P12N", DigitSet()), (StringArray{"$P", "N"}));
  EXPECT_EQ(SplitByCharSet("1,2,3,4", CommaSet()), (StringArray{"1", "2", "3", "4"}));
  EXPECT_TRUE(SplitByCharSet("", CommaSet()).empty());
  EXPECT_TRUE(SplitByCharSet(",,,", CommaSet()).empty());
}

TEST(JoinWithChar, PutsTheSeparatorBetweenItemsOnly) {
  EXPECT_EQ(JoinWithChar({}, ','), "");
  EXPECT_EQ(JoinWithChar({"a"}, ','), "a");
  EXPECT_EQ(JoinWithChar({"a", "", "b"}, ','), "a,,b");
}

TEST(Substrings, OutOfRangePositionsGiveEmptyResults) {
  EXPECT_EQ(FindSubstring("b", "abcb", 1, true), 2);
  EXPECT_EQ(FindSubstring("b", "abcb", 3, true), 4);
  EXPECT_EQ(FindSubstring("B", "abcb", 1, true), 0);
  EXPECT_EQ(FindSubstring("B", "abcb", 1, false), 2);
  EXPECT_EQ(FindSubstring("b", "abcb", -5, true), 2);
  EXPECT_EQ(FindSubstring("b", "abcb", 5, true), 0);
  EXPECT_EQ(FindSubstring("", "abc", 1, true), 0);
  EXPECT_EQ(CopyRange("abcdef", 2, 4), "bcd");
  EXPECT_EQ(CopyRange("abcdef", -3, 99), "abcdef");
  EXPECT_EQ(CopyRange("abcdef", 4, 2), "");
  EXPECT_EQ(CopyRange("abcdef", 7, 9), "");
  EXPECT_EQ(CopyToEnd("abcdef", 0), "abcdef");
  EXPECT_EQ(CopyToEnd("abcdef", 5), "ef");
  EXPECT_EQ(CopyToEnd("abcdef", 7), "");
}

TEST(PadWithZeros, FillsToWidthAndNeverCuts) {
  EXPECT_EQ(PadWithZeros("7", 2), "07");
  EXPECT_EQ(PadWithZeros("12", 2), "12");
  EXPECT_EQ(PadWithZeros("123", 2), "123");
  EXPECT_EQ(PadWithZeros("", 2), "00");
  EXPECT_EQ(PadWithZeros("5", 0), "5");
  EXPECT_EQ(PadWithZeros("5", -1), "5");
}

TEST(StringToFloat, AcceptsTheStrictDecimalGrammar) {
  const std::pair<const char*, long double> good[] = {
      {"1.5", 1.5L}, {"  -2.5e2", -250.0L}, {"+.5", 0.5L}, {".", 0.0L}, {"-.", 0.0L}, {"3", 3.0L},
      {"1.", 1.0L},  {"1E+2", 100.0L},      {"2e-1", 0.2L}, {"0.001", 0.001L},
  };
  for (const auto& [text, value] : good) EXPECT_EQ(StringToFloat(text), value) << text;
}

TEST(StringToFloat, RejectsEverythingElse) {
  for (const char* text : {"1,5", "1.5 ", "", "   ", "-", "+", "1E", "1e+", "1.2.3", "\t1", "abc", "0x10", "inf",
                           "nan", "1e99999", ". ", "1 2"}) {
    try {
      StringToFloat(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Error Converting Floting point string");
    }
  }
}

TEST(StrToInt, ParsesDecimalIntegersAndNamesTheBadText) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt(" -7"), -7);
  EXPECT_EQ(StrToInt("+3"), 3);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
  for (const char* text : {"", "x", "1 ", "2147483648", "-2147483649", "1.0", "-", "9999999999999"}) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
}

TEST(Trim, RemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xe9t\xe9"), "\xe9t\xe9");  // bytes above 0x7f are text, not blanks
}

TEST(SameTextAscii, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(SameTextAscii("$par", "$PAR"));
  EXPECT_FALSE(SameTextAscii(" $PAR", "$PAR"));
  EXPECT_FALSE(SameTextAscii("\xe9", "\xc9"));
}

TEST(TUniqueList, RefusesDuplicatesAccordingToCase) {
  TUniqueList exact(false);
  EXPECT_EQ(exact.Add("N"), 0);
  EXPECT_EQ(exact.Add("n"), 1);
  EXPECT_EQ(exact.Add("N"), -1);

  TUniqueList folded(true);
  EXPECT_EQ(folded.Add("N"), 0);
  EXPECT_EQ(folded.Add("n"), -1);

  int tag = 0;
  TUniqueList list(false);
  list.Add("N");
  list.AddObject("S", &tag);
  list.Add("n");
  list.Add("s");
  list.SetCaseIndifferent(true);
  EXPECT_EQ(list.Strings(), (StringArray{"N", "S"}));
  EXPECT_EQ(list.Objects(1), &tag);

  TUniqueList copy(true);
  copy.Add("s");
  copy.AddStrings(list);
  EXPECT_EQ(copy.Strings(), (StringArray{"s", "N"}));
  EXPECT_THROW(copy.Insert(5, "x"), EListError);
}

}  // namespace
}  // namespace dbc

namespace dbc {
namespace {

// Names go into JSON as UTF-8 and must be found again byte for byte.
TEST(Utf8ToLatin1, UndoesTheLatin1ReadingOfBytes) {
  const struct {
    std::string utf8;
    std::optional<std::string> bytes;
  } cases[] = {
      {"BC1-Pd102Di", "BC1-Pd102Di"},
      {"\xC3\xA9", "\xE9"},            // U+00E9
      {"\xC2\x80\xC3\xBF", "\x80\xFF"},  // the ends of the two-byte range
      {"\xC4\x80", std::nullopt},      // U+0100 is no byte
      {"\xE2\x82\xAC", std::nullopt},  // the euro sign
      {"\xE9", std::nullopt},          // no UTF-8
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToLatin1(c.utf8), c.bytes) << c.utf8;
  // Every byte that BytesToUtf8 turns into a character comes back.
  std::string all;
  for (int b = 0x80; b < 0x100; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToLatin1(BytesToUtf8(all)), all);
}

}  // namespace
}  // namespace dbc
