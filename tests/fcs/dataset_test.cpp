// Loading a data set: every data type, width and byte order, bit-packed and
// ASCII values, the instrument repairs, the data start, files cut short,
// decimation, the per-parameter flags and the spillover matrix. Decoding
// cases run through both the block decoder and the value-at-a-time reader.
#include "fcs/dataset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fcs/fcs_stream.h"
#include "support/expect_error.h"
#include "support/fcs_builder.h"
#include "util/errors.h"

namespace dbc {
namespace {

using test::Bytes;
using test::F32;
using test::F64;
using test::FcsBuilder;
using test::OpenBytes;
using test::U16;
using test::U32;
using Rows = std::vector<std::vector<float>>;

struct ValueCase {
  const char* name;
  char type;
  std::vector<int> bits;
  const char* byteord;
  std::vector<std::int64_t> ranges;
  std::string data;
  Rows expected;
  std::vector<std::string> names = {};
  const char* mode = "L";
};

const double kBig = 1.5;

const ValueCase kValueCases[] = {
    {"FloatLittle", 'F', {32}, "1,2,3,4", {}, Bytes({0, 0, 0x80, 0x3F}), {{1.0f}}},
    {"FloatBig", 'F', {32}, "4,3,2,1", {}, Bytes({0x3F, 0x80, 0, 0}), {{1.0f}}},
    {"FloatNoByteOrder", 'F', {32}, "", {}, F32(-2.25f), {{-2.25f}}},
    {"Int16Big", 'I', {16}, "4,3,2,1", {}, Bytes({1, 2}), {{258.0f}}},
    {"Int16Little", 'I', {16}, "1,2,3,4", {}, Bytes({1, 2}), {{513.0f}}},
    {"Int16FcsTwo", 'I', {16}, "2,1", {}, Bytes({1, 2}), {{258.0f}}},
    {"Int16RangePowerOfTwo", 'I', {16}, "1,2,3,4", {1024}, Bytes({0xFF, 0xFF}), {{1023.0f}}},
    {"Int16NoRange", 'I', {16}, "1,2,3,4", {}, Bytes({0xFF, 0xFF}), {{65535.0f}}},
    // A range of 1000 keeps the ten bits below 1024: 600 stays 600.
    {"Int16RangeThousand", 'I', {16}, "1,2,3,4", {1000}, U16(600) + U16(1023) + U16(1024), {{600.0f}, {1023.0f}, {0.0f}}},
    {"Int16RangeNotListMode", 'I', {16}, "1,2,3,4", {1024}, Bytes({0xFF, 0xFF}), {{65535.0f}}, {}, "C"},
    {"Int32Unsigned", 'I', {32}, "1,2,3,4", {}, Bytes({0, 0, 0, 0x80}), {{2147483648.0f}}},
    {"Int32Big", 'I', {32}, "4,3,2,1", {}, U32(70000, true), {{70000.0f}}},
    {"Int8", 'I', {8, 8}, "1,2,3,4", {100}, Bytes({200, 99}), {{72.0f, 99.0f}}},
    // 24-bit integers read in the order of their $BYTEORD.
    {"Int24Big", 'I', {24}, "4,3,2,1", {}, Bytes({1, 2, 3}), {{66051.0f}}},
    {"Int24Little", 'I', {24}, "1,2,3,4", {}, Bytes({1, 2, 3}), {{197121.0f}}},
    {"Int24Masked", 'I', {24}, "4,3,2,1", {1000000}, Bytes({0xFF, 0xFF, 0xFF}), {{1048575.0f}}},
    {"Int64", 'I', {64}, "1,2,3,4", {}, test::U64((std::uint64_t{1} << 40) + 5), {{1099511627776.0f}}},
    {"Int64Big", 'I', {64}, "4,3,2,1", {}, test::U64(123456789, true), {{123456789.0f}}},
    {"MixedWidths", 'I', {8, 16, 32}, "4,3,2,1", {}, test::U8(7) + U16(300, true) + U32(5000000, true), {{7.0f, 300.0f, 5000000.0f}}},
    {"DoubleBig", 'D', {64}, "4,3,2,1", {}, F64(kBig, true), {{1.5f}}},
    {"DoubleLittle", 'D', {64}, "1,2,3,4,5,6,7,8", {}, F64(-1e300), {{-std::numeric_limits<float>::infinity()}}},
    {"DoubleRounded", 'D', {64}, "1,2,3,4", {}, F64(0.1), {{0.1f}}},
    // An order that is neither ascending nor descending: its map.
    {"Int32Map3412", 'I', {32}, "3,4,1,2", {}, Bytes({0x01, 0x02, 0x03, 0x04}), {{static_cast<float>(0x02010403)}}},
    {"Int16Map3412", 'I', {16}, "3,4,1,2", {}, Bytes({0x01, 0x02}), {{513.0f}}},
    {"Int16Map2143", 'I', {16}, "2,1,4,3", {}, Bytes({0x01, 0x02}), {{258.0f}}},
    {"Int32Map2143", 'I', {32}, "2,1,4,3", {}, Bytes({1, 2, 3, 4}), {{static_cast<float>(0x03040102)}}},
    {"FloatMap3412", 'F', {32}, "3,4,1,2", {}, Bytes({0x80, 0x3F, 0, 0}), {{1.0f}}},
    // Maps with too few entries or entries beyond the value: nothing lands
    // outside the value; widths beyond the map read as stored.
    {"Int32MapOfThree", 'I', {32}, "2,3,1", {}, Bytes({1, 2, 3, 4}), {{static_cast<float>(0x04030201)}}},
    {"Int24MapOfThree", 'I', {24}, "2,3,1", {}, Bytes({1, 2, 3}), {{static_cast<float>(0x020103)}}},
    {"Int32MapOutside", 'I', {32}, "1,2,3,9", {}, Bytes({1, 2, 3, 4}), {{static_cast<float>(0x04030201)}}},
    {"Int32MapZero", 'I', {32}, "0,0,0,0", {}, Bytes({1, 2, 3, 4}), {{static_cast<float>(0x04030201)}}},
    {"Int16OneEntry", 'I', {16}, "2", {}, Bytes({1, 2}), {{513.0f}}},
    {"DescendingOfThree", 'I', {32}, "3,2,1", {}, Bytes({1, 2, 3, 4}), {{static_cast<float>(0x01020304)}}},
    // Bit-packed: 12-bit values, MSB first, running across bytes.
    {"Packed12", 'I', {12, 12}, "1,2,3,4", {4096, 4096}, Bytes({0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56}),
     {{2748.0f, 3567.0f}, {291.0f, 1110.0f}}},
    {"Packed12Masked", 'I', {12, 4}, "1,2,3,4", {1000, 0}, Bytes({0xFF, 0xFA, 0x12, 0x34}),
     {{1023.0f, 10.0f}, {291.0f, 4.0f}}},
    // Three bytes for an event of 12 + 4 bits hold it byte-aligned.
    {"NotPacked", 'I', {12, 4}, "1,2,3,4", {}, Bytes({0xFF, 0xFA, 0x12}), {{64255.0f, 18.0f}}},
    // ASCII: fixed-width decimal fields.
    {"Ascii", 'A', {5, 3}, "", {}, "  123-12    7abc", {{123.0f, -12.0f}, {7.0f, 0.0f}}},
    {"AsciiOtherLetter", 'X', {2}, "", {}, " 9", {{9.0f}}},
    // PRISM keeps the low 6 bits of the rounded value.
    {"PrismInt", 'I', {16}, "1,2,3,4", {}, U16(70), {{6.0f}}, {"PRISM"}},
    {"PrismHalfToEven", 'F', {32, 32}, "1,2,3,4", {}, F32(2.5f) + F32(2.5f) + F32(3.5f) + F32(3.5f),
     {{2.5f, 2.0f}, {3.5f, 4.0f}}, {"x", "PRISM"}},
    {"PrismNegativeAndOutOfRange", 'F', {32}, "1,2,3,4", {}, F32(-70.0f) + F32(1e20f) + F32(std::nanf("")),
     {{58.0f}, {0.0f}, {0.0f}}, {"PRISM"}},
};

class DecodeValues : public ::testing::TestWithParam<std::tuple<ValueCase, TDecodePath>> {};

TEST_P(DecodeValues, AsExpected) {
  const auto& [c, path] = GetParam();
  FcsBuilder b = test::ListMode(c.type, c.bits, static_cast<std::int64_t>(c.expected.size()), c.byteord, c.names, c.ranges);
  b.Set("$MODE", c.mode);
  b.data = c.data;
  auto o = OpenBytes(b.Build(), false, true, path);
  const TDataSet& ds = *o.stream->dataset[0];
  ASSERT_EQ(ds.GetEventCount(), static_cast<int>(c.expected.size()));
  ASSERT_EQ(ds.parcount(), static_cast<int>(c.bits.size()));
  for (std::size_t e = 0; e < c.expected.size(); ++e)
    for (std::size_t p = 0; p < c.bits.size(); ++p) {
      EXPECT_EQ(ds.data[p][e], c.expected[e][p]) << "event " << e << " parameter " << p;
    }
}

std::string CaseName(const ::testing::TestParamInfo<DecodeValues::ParamType>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == TDecodePath::Fast ? "_Fast" : "_Reference");
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeValues,
                         ::testing::Combine(::testing::ValuesIn(kValueCases),
                                            ::testing::Values(TDecodePath::Fast, TDecodePath::Reference)),
                         CaseName);

// Events 0..n-1 of one 32-bit float parameter holding 0, 1, 2, ...
FcsBuilder Counting(std::int64_t tot, int events, const char* type = "F") {
  FcsBuilder b = test::ListMode(type[0], {32}, tot);
  for (int i = 0; i < events; ++i) b.data += type[0] == 'F' ? F32(static_cast<float>(i)) : U32(static_cast<std::uint32_t>(i));
  return b;
}

class DataSetLoad : public ::testing::TestWithParam<TDecodePath> {
 protected:
  test::Opened Open(const FcsBuilder& b, bool decimate = false) { return OpenBytes(b.Build(), decimate, true, GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Paths, DataSetLoad, ::testing::Values(TDecodePath::Fast, TDecodePath::Reference),
                         [](const auto& info) { return info.param == TDecodePath::Fast ? "Fast" : "Reference"; });

TEST_P(DataSetLoad, FileCutShortKeepsTheCompleteEvents) {
  FcsBuilder b = Counting(20, 11);
  b.data.resize(b.data.size() - 2);  // the file ends inside event 11
  auto o = Open(b);
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_EQ(ds.GetEventCount(), 10);
  EXPECT_EQ(ds.Text->GetValue("$TOT"), "10");
  ASSERT_EQ(ds.data[0].size(), 10u);
  EXPECT_EQ(ds.data[0][9], 9.0f);
  EXPECT_EQ(ds.EventSize, 4);
}

TEST_P(DataSetLoad, AnnouncedEventsBeyondTheFileAreNotAllocated) {
  auto o = Open(Counting(2000000000, 3));
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_EQ(ds.GetEventCount(), 3);
  EXPECT_EQ(ds.Text->GetValue("$TOT"), "3");
  EXPECT_EQ(ds.data[0].capacity(), 3u);
}

TEST_P(DataSetLoad, PackedAndAsciiFilesCutShort) {
  FcsBuilder packed = test::ListMode('I', {12, 12}, 1000, "1,2,3,4");
  packed.data = Bytes({0xAB, 0xCD, 0xEF, 0x12, 0x34});  // one event and a half
  auto p = Open(packed);
  EXPECT_EQ(p.stream->dataset[0]->GetEventCount(), 1);
  EXPECT_EQ(p.stream->dataset[0]->data[1][0], 3567.0f);

  FcsBuilder ascii = test::ListMode('A', {4, 4}, 1000000, "");
  ascii.data = "   1   2   3  ";
  auto a = Open(ascii);
  EXPECT_EQ(a.stream->dataset[0]->GetEventCount(), 1);
  EXPECT_EQ(a.stream->dataset[0]->Text->GetValue("$TOT"), "1");
}

TEST_P(DataSetLoad, Decimation) {
  auto o = Open(Counting(100, 100), true);
  const TDataSet& ds = *o.stream->dataset[0];
  ASSERT_EQ(ds.GetEventCount(), 10);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(ds.data[0][static_cast<std::size_t>(k)], 10.0f * static_cast<float>(k));
  // Cut after file event 55: the kept events are 0, 10, ..., 50.
  auto cut = Open(Counting(100, 55), true);
  EXPECT_EQ(cut.stream->dataset[0]->GetEventCount(), 6);
  EXPECT_EQ(cut.stream->dataset[0]->data[0][5], 50.0f);
}

TEST_P(DataSetLoad, DataStart) {
  FcsBuilder b = Counting(3, 3);
  b.beginEndKeywords = true;
  b.headerFields[2] = test::Field8(0);
  b.headerFields[3] = test::Field8(0);
  auto o = Open(b);
  EXPECT_EQ(o.stream->dataset[0]->data[0][2], 2.0f);

  // Header DATA start 0 wins over nothing: "$BEGINDATA" must then be usable.
  for (const char* begin : {"", "abc"}) {
    FcsBuilder n = Counting(3, 3);
    n.headerFields[2] = test::Field8(0);
    if (*begin) n.Key("$BEGINDATA", begin);
    EXPECT_THROW_MSG(Open(n), Exception, "BEGINDATA parameter is invalid");
  }
  // A header DATA start inside the TEXT segment gives way to "$BEGINDATA".
  FcsBuilder inside = Counting(3, 3);
  inside.beginEndKeywords = true;
  inside.headerFields[2] = test::Field8(70);
  auto in = Open(inside);
  EXPECT_EQ(in.stream->dataset[0]->data[0], (TSingleVector{0, 1, 2}));
  inside.beginEndKeywords = false;
  auto textBytes = Open(inside);  // nothing better known: the header's start
  EXPECT_EQ(textBytes.stream->dataset[0]->GetEventCount(), 3);
  EXPECT_NE(textBytes.stream->dataset[0]->data[0], (TSingleVector{0, 1, 2}));

  // A "$BEGINDATA" beyond 2 GiB is an offset like any other (here past the
  // end of the file).
  FcsBuilder far = Counting(3, 3);
  far.headerFields[2] = test::Field8(0);
  far.Key("$BEGINDATA", "3000000000");
  EXPECT_EQ(Open(far).stream->dataset[0]->GetEventCount(), 0);

  // A DATA start before the file or past its end: no events.
  for (std::int64_t start : {-5000, -1, 900000}) {
    FcsBuilder n = Counting(3, 3);
    n.headerFields[2] = test::Field8(start);
    auto z = Open(n);
    EXPECT_EQ(z.stream->dataset[0]->GetEventCount(), 0) << start;
  }
}

TEST_P(DataSetLoad, CyanSummitEvents) {
  // Parameters: FL1, Time (low word), Time (high word), FL4, and a last one
  // whose two bytes follow every event without a descriptor.
  FcsBuilder b = test::ListMode('I', {16, 16, 16, 16, 16}, 2, "1,2", {"FL1", "Time", "x", "FL4", "last"});
  b.Key("$CYT", "CyAn").Key("$SYS", "Summit 4.3").Key("$TIMESTEP", "0.5");
  b.data = U16(11) + U16(3) + U16(1) + U16(44) + U16(999) + U16(12) + U16(8) + U16(0) + U16(45) + U16(999);
  auto o = Open(b);
  const TDataSet& ds = *o.stream->dataset[0];
  ASSERT_EQ(ds.parcount(), 3);
  ASSERT_EQ(ds.GetEventCount(), 2);
  EXPECT_EQ(ds.ParName(1), "TIME");
  EXPECT_EQ(ds.data[0][1], 12.0f);
  EXPECT_EQ(ds.data[1][0], static_cast<float>((65536.0 + 3.0) * 0.5));
  EXPECT_EQ(ds.data[1][1], 4.0f);
  EXPECT_EQ(ds.data[2][1], 45.0f);
  EXPECT_EQ(ds.EventSize, 10);
}

TEST_P(DataSetLoad, WithoutLoading) {
  auto o = OpenBytes(Counting(5, 5).Build(), false, false, GetParam());
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_EQ(ds.parcount(), 1);
  EXPECT_EQ(ds.GetEventCount(), 5);
  EXPECT_TRUE(ds.data.empty());
}

TEST(DataSetFlags, LogPar) {
  FcsBuilder b = test::ListMode('F', {32, 32, 32, 32, 32, 32}, 0, "1,2,3,4",
                                {"FSC-A", "SSC-A", "CD3", "CD4", "CD8", "SS"});
  b.Key("$P1D", "Linear,0,1024");
  b.Key("$P2DISPLAY", "LOG");   // a scatter parameter stays linear
  b.Key("$P3DISPLAY", "log");
  b.Key("$P4D", "LOG");
  b.Key("P5D", "Log");          // the keyword without "$"
  b.Key("$P6D", "LOG");
  auto o = OpenBytes(b.Build());
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_EQ(ds.logpar, (TBoolVector{false, false, true, true, true, false}));
  EXPECT_TRUE(ds.Text->pars[2].bdLogDisplay);
  EXPECT_FALSE(ds.Text->pars[3].bdLogDisplay);
  EXPECT_EQ(ds.mins.size(), 6u);
  EXPECT_EQ(ds.maxs.size(), 6u);
  EXPECT_EQ(ds.Scales.size(), 6u);
  EXPECT_EQ(ds.Decades, 4.0);
  EXPECT_TRUE(ds.CropOutliers);
  EXPECT_TRUE(ds.ApplySpillover);
}

TEST(DataSetNames, ListFileNameAndRows) {
  FcsBuilder b = test::ListMode('F', {32, 32, 32}, 2, "1,2,3,4", {"BC1-Pr141", "", "x"});
  b.Key("$P1S", "long one").Key("FILE", "plate.fcs");
  b.data = F32(1) + F32(2) + F32(3) + F32(4) + F32(5) + F32(6);
  auto o = OpenBytes(b.Build());
  const TDataSet& ds = *o.stream->dataset[0];
  std::vector<std::string> items = {"stale"};
  ds.FillComboBox([&] { items.clear(); }, [&](const std::string& s) { items.push_back(s); });
  EXPECT_EQ(items, (std::vector<std::string>{"BC1-Pr141", "nn1", "x"}));
  EXPECT_EQ(ds.ParShortName(1), "");
  EXPECT_EQ(ds.ParLongName(0), "long one");
  EXPECT_EQ(ds.filename(), "plate.fcs");
  EXPECT_EQ(ds.GetRow(1), (TSingleVector{4, 5, 6}));
  b.Key("$FIL", "own.fcs");
  EXPECT_EQ(OpenBytes(b.Build()).stream->dataset[0]->filename(), "own.fcs");
}

TEST(DataSetSpillover, ReadAndInverted) {
  FcsBuilder b = test::ListMode('F', {32, 32, 32}, 0);
  b.Key("$SPILLOVER", "2,1,3,0.9,0.5,0.25,0.7");
  auto o = OpenBytes(b.Build());
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_EQ(ds.SpillInds, (TIntVector{0, 2}));
  EXPECT_EQ(ds.spillover, (TMatrix{{1, 0.5}, {0.25, 1}}));
  ASSERT_EQ(ds.spill_inv.size(), 2u);
  const double det = 1 - 0.125;
  EXPECT_NEAR(ds.spill_inv[0][0], 1 / det, 1e-12);
  EXPECT_NEAR(ds.spill_inv[0][1], -0.5 / det, 1e-12);
  EXPECT_FALSE(ds.SpillSingular);

  FcsBuilder spill = test::ListMode('F', {32, 32}, 0, "1,2,3,4", {"FL1-A", "FL2-A"});
  spill.Key("SPILL", "2,fl2-a,FL1-A,1,0.1,0.2,1");
  auto s = OpenBytes(spill.Build());
  EXPECT_EQ(s.stream->dataset[0]->SpillInds, (TIntVector{1, 0}));

  // FCS 3.1 names the parameters in "$SPILLOVER".
  FcsBuilder named = test::ListMode('F', {32, 32}, 0, "1,2,3,4", {"FL1-A", "FL2-A"});
  named.Key("$SPILLOVER", "2,FL2-A,FL1-A,1,0.1,0.2,1");
  auto n = OpenBytes(named.Build());
  EXPECT_EQ(n.stream->dataset[0]->SpillInds, (TIntVector{1, 0}));
  EXPECT_EQ(n.stream->dataset[0]->spillover, (TMatrix{{1, 0.1}, {0.2, 1}}));
  EXPECT_FALSE(n.stream->dataset[0]->SpillUnreadable);
  EXPECT_EQ(n.stream->dataset[0]->spill_inv.size(), 2u);
}

TEST(DataSetSpillover, SingularAndMalformed) {
  FcsBuilder b = test::ListMode('F', {32, 32}, 0);
  b.Key("$SPILLOVER", "2,1,2,1,1,1,1");
  auto o = OpenBytes(b.Build());
  EXPECT_TRUE(o.stream->dataset[0]->SpillSingular);
  EXPECT_TRUE(o.stream->dataset[0]->spill_inv.empty());
  EXPECT_EQ(o.stream->dataset[0]->spillover.size(), 2u);

  // A keyword that cannot be read leaves the data set without a matrix; the
  // events are read all the same.
  for (const char* value : {"2,1,2,1,0.5", "6,FL2-A,FL2-H,FL4-A,FL4-H,FL7-A,FL7-H", "x"}) {
    b.Set("$SPILLOVER", value);
    b.data = F32(1) + F32(2);
    auto m = OpenBytes(b.Build());
    const TDataSet& ds = *m.stream->dataset[0];
    EXPECT_TRUE(ds.SpillUnreadable) << value;
    EXPECT_TRUE(ds.spillover.empty());
    EXPECT_TRUE(ds.SpillInds.empty());
    EXPECT_TRUE(ds.spill_inv.empty());
    EXPECT_EQ(ds.data[1][0], 2.0f);
  }
  FcsBuilder unknown = test::ListMode('F', {32, 32}, 0);
  unknown.Key("SPILL", "1,nope,1");
  EXPECT_TRUE(OpenBytes(unknown.Build()).stream->dataset[0]->SpillUnreadable);
  FcsBuilder none = test::ListMode('F', {32}, 0);
  auto n = OpenBytes(none.Build());
  EXPECT_TRUE(n.stream->dataset[0]->spillover.empty());
  EXPECT_TRUE(n.stream->dataset[0]->spill_inv.empty());
  EXPECT_FALSE(n.stream->dataset[0]->SpillSingular);
}

}  // namespace
}  // namespace dbc
