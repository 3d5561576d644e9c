// Interpretation of the TEXT segment: syntax, mandatory keywords, byte
// order, parameter descriptors, event count, instrument repairs.
#include "fcs/text.h"

#include <gtest/gtest.h>

#include <random>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "support/expect_error.h"
#include "support/fcs_builder.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {
namespace {

using test::FcsBuilder;
using test::OpenBytes;

// Opens without decoding events and returns the first data set's text.
struct TextOf {
  explicit TextOf(const FcsBuilder& b, bool decimate = false) : o(OpenBytes(b.Build(), decimate, false)) {}
  const TDataSet& ds() const { return *o.stream->dataset[0]; }
  const TText& operator*() const { return *ds().Text; }
  const TText* operator->() const { return ds().Text.get(); }
  test::Opened o;
};

FcsBuilder Basic(char delim = '/') {
  FcsBuilder b;
  b.delim = delim;
  b.Key("$MODE", "L").Key("$DATATYPE", "F").Key("$PAR", "1").Key("$TOT", "5").Key("$P1B", "32");
  b.data = std::string(20, '\0');
  return b;
}

TEST(FcsTextSyntax, PairsWithAnyDelimiter) {
  for (char delim : {'/', '|', '\\', '\x0c'}) {
    for (bool final : {true, false}) {
      FcsBuilder b = Basic(delim);
      b.finalDelimiter = final;
      TextOf t(b);
      EXPECT_EQ(t->Delim, delim);
      ASSERT_EQ(t->count(), 5);
      EXPECT_EQ(t->keys[2], "$PAR");
      EXPECT_EQ(t->Values[4], "32");
      EXPECT_EQ(t->DataType, 'F');
      EXPECT_EQ(t->Mode, 'L');
      EXPECT_EQ(t->par, 1);
      EXPECT_EQ(t->tot, 5);
      EXPECT_EQ(t->pars[0].bits, 32);
      EXPECT_EQ(t->pars[0].bytes, 4);
    }
  }
}

// A doubled delimiter is one literal delimiter inside a keyword or value;
// FCS 2.0 texts write an empty value as two delimiters after its keyword.
TEST(FcsTextSyntax, DoubledDelimiters) {
  const std::string head = "/$MODE/L/$DATATYPE/F/$PAR/1/$P1B/32/$TOT/1";
  struct Case {
    const char* name;
    const char* version;
    std::string text;  // after the mandatory pairs
    test::Keywords extra;  // the pairs read after them
  };
  const Case cases[] = {
      {"value", "FCS3.0", "/$P1F/488//10/$SYS/x/", {{"$P1F", "488/10"}, {"$SYS", "x"}}},
      {"valueFcs2", "FCS2.0", "/$P1F/488//10/$SYS/x/", {{"$P1F", "488/10"}, {"$SYS", "x"}}},
      {"keyword", "FCS3.1", "/A//B/x/$SYS/y/", {{"A/B", "x"}, {"$SYS", "y"}}},
      {"valueEnd", "FCS3.0", "/$SYS/x///$FIL/f/", {{"$SYS", "x/"}, {"$FIL", "f"}}},
      {"onlyDelimiter", "FCS3.0", "/$SYS/ ///$FIL/f/", {{"$SYS", "/"}, {"$FIL", "f"}}},
      {"leading", "FCS3.0", "/$SYS/ //x/$FIL/f/", {{"$SYS", "/x"}, {"$FIL", "f"}}},
      {"twice", "FCS3.0", "/$SYS/a//b//c/", {{"$SYS", "a/b/c"}}},
      {"lastItemOdd", "FCS3.0", "/$SYS/x//y", {{"$SYS", "x/y"}}},
      // CellQuest (FCS 2.0): "$P1S\\$SYS\\" are two empty values.
      {"emptyValuesFcs2", "FCS2.0", "/$P1S//$SYS//$FIL/f/", {{"$P1S", ""}, {"$SYS", ""}, {"$FIL", "f"}}},
      {"emptyValueAtTheEndFcs2", "FCS2.0", "/$FIL/f/$SYS//", {{"$FIL", "f"}, {"$SYS", ""}}},
      {"notAnEmptyValueInFcs3", "FCS3.0", "/$P1S//$SYS/x/", {{"$P1S/$SYS", "x"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FcsBuilder b;
    b.version = c.version;
    b.rawText = head + c.text;
    b.data = std::string(4, '\0');
    TextOf t(b);
    ASSERT_EQ(t->count(), 5 + static_cast<int>(c.extra.size()));
    for (std::size_t i = 0; i < c.extra.size(); ++i) {
      EXPECT_EQ(t->keys[5 + i], c.extra[i].first);
      EXPECT_EQ(t->Values[5 + i], c.extra[i].second);
    }
  }
}

// Every text the writer serialises reads back as the same keywords and
// values: delimiters at the start, inside and at the end of keys and values,
// empty values, for several delimiters.
TEST(FcsTextSyntax, SerialisedTextsReadBackIdentically) {
  std::mt19937 rng(12);
  for (char delim : {'/', '|', '\\', '\x0c', ','}) {
    const std::string alphabet = std::string("ab$P1 ") + delim;
    std::uniform_int_distribution<std::size_t> length(0, 6), pick(0, alphabet.size() - 1);
    auto item = [&] {
      std::string s;
      for (std::size_t n = length(rng); n > 0; --n) s += alphabet[pick(rng)];
      return Trim(s);  // the reader trims; a store read from a file holds no outer blanks
    };
    for (int round = 0; round < 300; ++round) {
      TPreText text;
      text.Delim = delim;
      for (const auto& [k, v] : {std::pair{"$MODE", "L"}, {"$DATATYPE", "F"}, {"$PAR", "1"}, {"$TOT", "1"}, {"$P1B", "32"}})
        text.SetValue(k, v);
      for (int n = 0; n < 6; ++n) {
        text.keys.push_back("K" + item());
        text.Values.push_back(item());
      }
      FcsBuilder b;
      b.rawText = text.Serialize();
      b.data = std::string(4, '\0');
      TextOf t(b);
      ASSERT_EQ(t->keys, text.keys) << "delimiter " << int(delim) << ": " << *b.rawText;
      ASSERT_EQ(t->Values, text.Values) << "delimiter " << int(delim) << ": " << *b.rawText;
    }
  }
}

TEST(FcsTextSyntax, KeysAndValuesAreTrimmedAndKeepTheirCase) {
  FcsBuilder b;
  b.rawText = "/ $mode / l /$datatype/f/$PAR/1/$P1B/ 32\t/$TOT/1/$P1N/ FSC A /";
  b.data = std::string(4, '\0');
  TextOf t(b);
  EXPECT_EQ(t->keys[0], "$mode");
  EXPECT_EQ(t->Values[0], "l");
  EXPECT_EQ(t->DataType, 'F');
  EXPECT_EQ(t->Mode, 'L');
  EXPECT_EQ(t->pars[0].bits, 32);
  EXPECT_EQ(t->pars[0].name, "FSC A");
}

TEST(FcsTextMandatory, MissingKeywords) {
  for (const char* key : {"$DATATYPE", "$MODE"}) {
    FcsBuilder b = Basic();
    b.Erase(key);
    EXPECT_THROW_MSG(OpenBytes(b.Build()), Exception, "FCS Error: Cannot get mandatory pars");
  }
  FcsBuilder empty = Basic();
  empty.Set("$MODE", " ");  // an empty value, written as a blank
  EXPECT_THROW_MSG(OpenBytes(empty.Build()), Exception, "FCS Error: Cannot get mandatory pars");

  // A TEXT start outside the file reads nothing.
  FcsBuilder away = Basic();
  away.headerFields[0] = test::Field8(-40);
  EXPECT_THROW_MSG(OpenBytes(away.Build()), Exception, "FCS Error: Cannot get mandatory pars");
  away.headerFields[0] = test::Field8(5000);
  away.headerFields[1] = test::Field8(5100);
  EXPECT_THROW_MSG(OpenBytes(away.Build()), Exception, "FCS Error: Cannot get mandatory pars");
  // A TEXT that ends before it starts is empty: no parameters, no events.
  away.headerFields[1] = test::Field8(100);
  TextOf t(away);
  EXPECT_EQ(t->count(), 0);
  EXPECT_EQ(t->par, 0);
  EXPECT_EQ(t.ds().GetEventCount(), 0);
  EXPECT_TRUE(t.ds().logpar.empty());
}

TEST(FcsTextMandatory, ParameterCountOutOfReach) {
  FcsBuilder none = Basic();
  none.Set("$PAR", "0").Erase("$P1B");
  EXPECT_THROW_MSG(OpenBytes(none.Build()), Exception, "Error reading a dataset");
  // More parameters than the text has pairs: no descriptor is allocated.
  for (const char* par : {"6", "2000000000"}) {
    FcsBuilder b = Basic();
    b.Set("$PAR", par);
    EXPECT_THROW_MSG(OpenBytes(b.Build()), Exception, "Error reading a dataset");
  }
  FcsBuilder highest = Basic();
  highest.Set("$PAR", "0").Key("$P999999999N", "x");
  EXPECT_THROW_MSG(OpenBytes(highest.Build()), Exception, "Error reading a dataset");
}

struct ByteOrderCase {
  const char* value;
  std::array<int, 8> map;
  TByteOrderKind kind;
  int cover;
  bool reverse;
};

TEST(FcsTextByteOrder, Maps) {
  const ByteOrderCase cases[] = {
      {"1,2,3,4", {1, 2, 3, 4, 5, 6, 7, 8}, TByteOrderKind::Ascending, 8, false},
      {"4,3,2,1", {4, 3, 2, 1, 8, 7, 6, 5}, TByteOrderKind::Descending, 8, true},
      {"4321", {4, 3, 2, 1, 8, 7, 6, 5}, TByteOrderKind::Descending, 8, true},
      {"2,1", {2, 1, 4, 3, 6, 5, 8, 7}, TByteOrderKind::Descending, 8, true},
      {"1,2", {1, 2, 3, 4, 5, 6, 7, 8}, TByteOrderKind::Ascending, 8, false},
      {"3,4,1,2", {3, 4, 1, 2, 7, 8, 5, 6}, TByteOrderKind::Other, 8, false},
      {"3,2,1", {3, 2, 1, 0, 0, 0, 0, 0}, TByteOrderKind::Descending, 3, true},
      {"2,3,1", {2, 3, 1, 0, 0, 0, 0, 0}, TByteOrderKind::Other, 3, false},
      {"1", {1, 0, 0, 0, 0, 0, 0, 0}, TByteOrderKind::Ascending, 1, true},
      {"1,2,3,9", {1, 2, 3, 9, 5, 6, 7, 13}, TByteOrderKind::Other, 8, false},
      {"8,7,6,5,4,3,2,1", {8, 7, 6, 5, 4, 3, 2, 1}, TByteOrderKind::Descending, 8, true},
      {" 1 , 2 ,,3,4,", {1, 2, 3, 4, 5, 6, 7, 8}, TByteOrderKind::Ascending, 8, false},
  };
  for (const auto& c : cases) {
    FcsBuilder b = Basic();
    b.Key("$BYTEORD", c.value);
    TextOf t(b);
    EXPECT_EQ(t->ByteCount, 8) << c.value;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(t->ByteOrd[static_cast<std::size_t>(i)], c.map[static_cast<std::size_t>(i)]) << c.value << " " << i;
    EXPECT_EQ(t->ByteOrderKind, c.kind) << c.value;
    EXPECT_EQ(t->ByteOrderCover, c.cover) << c.value;
    EXPECT_EQ(t->pars[0].ReverseByteOrder, c.reverse) << c.value;
  }
  TextOf none(Basic());
  EXPECT_EQ(none->ByteCount, 0);
  EXPECT_EQ(none->ByteOrderKind, TByteOrderKind::None);
  EXPECT_FALSE(none->pars[0].ReverseByteOrder);

  FcsBuilder bad = Basic();
  bad.Key("$BYTEORD", "1,2,x,4");
  EXPECT_THROW_MSG(OpenBytes(bad.Build()), EConvertError, "'x' is not a valid integer value");
}

TEST(FcsTextParameters, Descriptors) {
  FcsBuilder b = Basic();
  b.Set("$PAR", "3").Set("$TOT", "1");
  b.Key("$P1N", " FSC-A ").Key("$P1R", "1024").Key("$P1E", "4,1").Key("$P1G", "2.5");
  b.Key("$P2B", "0").Key("$P2N", "SSC").Key("$P2R", "1000").Key("$P2E", "0,0").Key("$P2G", "abc");
  b.Key("$P3B", "16").Key("$P3R", "12.5").Key("$P3E", ",1").Key("P3DISPLAY", "log");
  TextOf t(b);
  ASSERT_EQ(t->par, 3);
  const TPar& p1 = t->pars[0];
  EXPECT_EQ(p1.name, "FSC-A");
  EXPECT_EQ(p1.resolution, 1024);
  EXPECT_EQ(p1.mask, 1023);
  EXPECT_EQ(p1.decade, 4.0);
  EXPECT_EQ(p1.intersect, 1.0);
  EXPECT_EQ(p1.gain, 2.5);
  EXPECT_FALSE(p1.bdLogDisplay);
  const TPar& p2 = t->pars[1];
  EXPECT_EQ(p2.bits, 32);  // 0 takes the widest
  EXPECT_EQ(p2.bytes, 4);
  EXPECT_EQ(p2.resolution, 1000);
  EXPECT_EQ(p2.mask, 1023);  // next power of two, so that 600 stays 600
  EXPECT_EQ(p2.decade, 0.0);
  EXPECT_EQ(p2.intersect, 0.0);
  EXPECT_EQ(p2.gain, 1.0);
  const TPar& p3 = t->pars[2];
  EXPECT_EQ(p3.name, "nn2");
  EXPECT_EQ(p3.bits, 16);
  EXPECT_EQ(p3.resolution, 0);  // not an integer
  EXPECT_EQ(p3.mask, -1);
  EXPECT_EQ(p3.decade, 1.0);
  EXPECT_EQ(p3.intersect, 1.0);
  EXPECT_TRUE(p3.bdLogDisplay);

  FcsBuilder e = Basic();
  e.Key("$P1E", "4 ,1");
  EXPECT_THROW_MSG(OpenBytes(e.Build()), Exception, "Error Converting Floting point string");
}

TEST(FcsTextParameters, RangeMask) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"1", 0},          {"2", 1},       {"1000", 1023},         {"1024", 1023}, {"1025", 2047},
      {"30000", 32767},  {"0", -1},      {"-5", -1},             {"", -1},
      {"4294967296", 4294967295}, {"262144.000", -1}};
  for (const auto& [range, mask] : cases) {
    FcsBuilder b = Basic();
    if (*range) b.Key("$P1R", range);
    TextOf t(b);
    EXPECT_EQ(t->pars[0].mask, mask) << range;
  }
}

TEST(FcsTextEvents, WidthsAndPacking) {
  // Ten-bit values: two bytes each unless the DATA segment is too short for
  // that, then bit-packed.
  FcsBuilder b = test::ListMode('I', {10}, 100);
  b.data = std::string(200, '\0');
  TextOf aligned(b);
  EXPECT_EQ(aligned->pars[0].bytes, 2);
  EXPECT_FALSE(aligned.ds().compressed);
  b.data = std::string(125, '\0');
  TextOf packed(b);
  EXPECT_TRUE(packed.ds().compressed);
  // Not list mode: never packed.
  b.Set("$MODE", "C");
  TextOf correlated(b);
  EXPECT_FALSE(correlated.ds().compressed);
}

TEST(FcsTextEvents, CountFromTheDataSegment) {
  FcsBuilder b = test::ListMode('I', {16, 32, 16}, 0);
  b.Erase("$TOT");
  b.data = std::string(800, '\0');
  EXPECT_EQ(TextOf(b)->tot, 100);
  b.Set("$TOT", "0");
  EXPECT_EQ(TextOf(b)->tot, 100);
  // Events without width cannot be counted: none.
  FcsBuilder w = test::ListMode('I', {0, 0}, 0);
  w.Erase("$TOT");
  w.data = std::string(800, '\0');
  EXPECT_EQ(TextOf(w)->tot, 0);
  // DATA end before its start.
  b.Erase("$TOT");
  b.headerFields[3] = test::Field8(10);
  EXPECT_EQ(TextOf(b)->tot, 0);

  FcsBuilder bad = Basic();
  bad.Set("$TOT", "abc");
  EXPECT_THROW_MSG(OpenBytes(bad.Build()), EConvertError, "'abc' is not a valid integer value");
}

TEST(FcsTextEvents, Decimation) {
  FcsBuilder b = Basic();
  b.Set("$TOT", "105");
  TextOf t(b, true);
  EXPECT_EQ(t->tot, 10);
  EXPECT_EQ(t->GetValue("$TOT"), "10");
  EXPECT_TRUE(t->Decimate);
}

TEST(FcsTextDialects, Prism) {
  FcsBuilder b = test::ListMode('F', {32, 32, 32}, 1, "1,2,3,4", {"PRISM", "x", "PRISM"});
  EXPECT_EQ(TextOf(b)->prizmpar, 2);
  FcsBuilder lower = test::ListMode('F', {32}, 1, "1,2,3,4", {"prism"});
  EXPECT_EQ(TextOf(lower)->prizmpar, -1);
}

FcsBuilder Cyan(int P, int timeAt) {
  std::vector<std::string> names;
  for (int i = 1; i <= P; ++i) names.push_back(i == timeAt ? "Time" : "FL" + std::to_string(i));
  FcsBuilder b = test::ListMode('I', std::vector<int>(static_cast<std::size_t>(P), 16), 1, "1,2", names);
  b.Key("$CYT", "CyAn").Key("$SYS", "Summit 4.3").Key("$TIMESTEP", "0.5");
  b.Key("$SPILLOVER", "2,3,9,1,0.1,0.2,1");
  return b;
}

TEST(FcsTextDialects, CyanSummitWithTime) {
  TextOf t(Cyan(10, 5));
  EXPECT_TRUE(t->cyanSummit);
  EXPECT_EQ(t->par, 8);
  EXPECT_EQ(t->GetValue("$PAR"), "8");
  EXPECT_EQ(t->cyantimepar, 4);
  EXPECT_EQ(t->timestep, 0.5);
  EXPECT_EQ(t->pars[4].name, "TIME");
  EXPECT_EQ(t->pars[4].bits, 32);
  // The former parameters 7 to 9 are now 6 to 8.
  EXPECT_EQ(t->pars[5].name, "FL7");
  EXPECT_EQ(t->pars[7].name, "FL9");
  EXPECT_EQ(t->GetValue("$P10N"), "");
  EXPECT_EQ(t->GetValue("$SPILLOVER"), "2,3,8,1,0.1,0.2,1");
}

TEST(FcsTextDialects, CyanSummitWithoutTime) {
  TextOf t(Cyan(10, 0));
  EXPECT_EQ(t->par, 9);
  // "$PAR" agrees with the descriptors kept.
  EXPECT_EQ(t->GetValue("$PAR"), "9");
  EXPECT_EQ(t->cyantimepar, -1);

  FcsBuilder noStep = Cyan(4, 2);
  noStep.Erase("$TIMESTEP");
  EXPECT_THROW_MSG(OpenBytes(noStep.Build()), Exception, "Error Converting Floting point string");
}

TEST(FcsTextDialects, VariableLengthAscii) {
  FcsBuilder b = test::ListMode('A', {0, 0}, 3);
  b.Set("$P1B", "*").Set("$P2B", "*");
  b.data = "1,2,3,4,5,6,";
  auto o = OpenBytes(b.Build());
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_TRUE(ds.notimplemented);
  EXPECT_EQ(o.notices,
            std::vector<std::string>(2, "Variable length ASCII data are not implemented yet. And I am not going to do that."));
  // Nothing of such events can be read: there are none.
  EXPECT_EQ(ds.GetEventCount(), 0);
}

}  // namespace
}  // namespace dbc
