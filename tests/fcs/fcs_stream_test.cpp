// The byte reader and the header: positions, reads at and past the end of
// the file, text fields, the bit reader, the segment table and the chain of
// data sets.
#include "fcs/fcs_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "fcs/dataset.h"
#include "util/errors.h"
#include "support/expect_error.h"
#include "support/fcs_builder.h"
#include "support/temp_dir.h"

namespace dbc {
namespace {

using test::Bytes;
using test::FcsBuilder;
using test::OpenBytes;

TFCStream Reader(std::string bytes) { return TFCStream(MemoryByteSource(std::move(bytes)), "mem.fcs"); }

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

TEST(FcsStreamRead, StopsAtTheEndOfTheFile) {
  TFCStream s = Reader(Pattern(100));
  char buf[10];
  s.SetPosition(95);
  EXPECT_EQ(s.Read(buf, 10), 5);
  EXPECT_EQ(s.Position(), 100);
  EXPECT_EQ(s.Read(buf, 10), 0);
  EXPECT_EQ(s.Position(), 100);
}

TEST(FcsStreamRead, NegativePositionsReadNothing) {
  TFCStream s = Reader(Pattern(100));
  char buf[10];
  s.SetPosition(-3);
  EXPECT_EQ(s.Read(buf, 10), 0);
  EXPECT_EQ(s.Position(), -3);
  EXPECT_EQ(s.ReadStr(8), "");
  bool complete = true;
  EXPECT_EQ(s.ReadUB(8, &complete), 0u);
  EXPECT_FALSE(complete);
}

TEST(FcsStreamRead, LargeReadsCrossBufferRefills) {
  const std::string bytes = Pattern(50000);
  TFCStream s = Reader(bytes);
  std::string buf(20000, '\0');
  EXPECT_EQ(s.Read(buf.data(), 20000), 20000);
  EXPECT_EQ(buf, bytes.substr(0, 20000));
  // Small reads straddling the buffer window come out right too.
  s.SetPosition(16380);
  std::string small(10, '\0');
  EXPECT_EQ(s.Read(small.data(), 10), 10);
  EXPECT_EQ(small, bytes.substr(16380, 10));
  s.SetPosition(49995);
  EXPECT_EQ(s.ReadStr(10), bytes.substr(49995));
}

TEST(FcsStreamRead, TextFields) {
  TFCStream s = Reader("     42 -7      \t  3.1    1,5     x");
  EXPECT_EQ(s.ReadInt(8), 42);
  EXPECT_EQ(s.ReadInt(3), -7);
  EXPECT_EQ(s.ReadInt(8), 0);  // blanks and a tab
  EXPECT_DOUBLE_EQ(s.ReadFloat(7), 3.1);
  EXPECT_THROW_MSG(s.ReadFloat(4), Exception, "Error Converting Floting point string");
  EXPECT_THROW_MSG(s.ReadInt(6), EConvertError, "'x' is not a valid integer value");
}

TEST(FcsStreamRead, BitReaderRunsAcrossBytes) {
  TFCStream s = Reader(Bytes({0xAB, 0xCD}));
  EXPECT_EQ(s.ReadUB(12), 0xABCu);
  EXPECT_EQ(s.Position(), 1);
  EXPECT_EQ(s.bitnum, 4);
  EXPECT_EQ(s.ReadUB(4), 0xDu);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_EQ(s.bitnum, 0);

  // A byte read after a partial bit read starts at the partly read byte.
  s.SetPosition(0);
  EXPECT_EQ(s.ReadUB(4), 0xAu);
  unsigned char b = 0;
  EXPECT_EQ(s.Read(&b, 1), 1);
  EXPECT_EQ(b, 0xAB);
  EXPECT_EQ(s.bitnum, 0);

  // Running out: the missing bits are zeros and the read is incomplete.
  s.SetPosition(1);
  bool complete = true;
  EXPECT_EQ(s.ReadUB(12, &complete), 0xCD0u);
  EXPECT_FALSE(complete);
  s.SetPosition(0);
  EXPECT_EQ(s.ReadUB(16, &complete), 0xABCDu);
  EXPECT_TRUE(complete);
  EXPECT_EQ(s.ReadUB(0, &complete), 0u);
  EXPECT_TRUE(complete);
}

// A minimal valid data set with the given header fields.
FcsBuilder Minimal() {
  FcsBuilder b = test::ListMode('F', {32}, 1);
  b.data = test::F32(1.5f);
  return b;
}

TEST(FcsHeader, SegmentTable) {
  FcsBuilder b = Minimal();
  b.headerFields = {test::Field8(58), test::Field8(1023), test::Field8(1024), test::Field8(5023),
                    test::Field8(0), test::Field8(0)};
  b.tail = std::string(6000, '\0');
  auto o = OpenBytes(b.Build(), false, false);
  const THeader& h = *o.stream->dataset[0]->Header;
  ASSERT_EQ(h.Count(), 3);
  EXPECT_EQ(h.bounds[0].start, 58);
  EXPECT_EQ(h.bounds[0].stop, 1023);
  EXPECT_EQ(h.bounds[1].start, 1024);
  EXPECT_EQ(h.bounds[1].stop, 5023);
  EXPECT_EQ(h.Len(0), 966);
  EXPECT_EQ(h.Len(1), 4000);
  EXPECT_EQ(h.Len(2), 1);
  EXPECT_EQ(h.Len(3), 0);
}

TEST(FcsHeader, VersionIsTruncated) {
  const std::pair<std::string, int> cases[] = {
      {"FCS3.1", 3}, {"FCS2.0", 2}, {"FCS3.0", 3}, {"FCS", 0}, {"ACS1.0", 1}};
  for (const auto& [text, version] : cases) {
    FcsBuilder b = Minimal();
    b.version = text;
    auto o = OpenBytes(b.Build());
    EXPECT_EQ(o.stream->dataset[0]->version, version) << text;
    EXPECT_EQ(o.stream->version(0), version);
    EXPECT_EQ(o.stream->version(1), 0);
    EXPECT_EQ(o.stream->dataset[0]->signature, text.substr(0, 3));
  }
}

TEST(FcsHeader, BlankAndMalformedFields) {
  FcsBuilder b = Minimal();
  b.headerFields[4] = "        ";
  b.headerFields[5] = "        ";
  auto o = OpenBytes(b.Build());
  EXPECT_EQ(o.stream->dataset[0]->Header->bounds[2].start, 0);
  EXPECT_EQ(o.stream->dataset[0]->Header->bounds[2].stop, 0);

  b.headerFields[2] = "     1x2";
  EXPECT_THROW_MSG(OpenBytes(b.Build()), EConvertError, "'1x2' is not a valid integer value");

  b = Minimal();
  b.version = "FCS3.x";
  EXPECT_THROW_MSG(OpenBytes(b.Build()), Exception, "Error Converting Floting point string");
}

TEST(FcsHeader, CutShort) {
  // Fields past the end of the file hold only the bytes that exist. Here
  // the TEXT start reads 5 and everything after it 0: a TEXT ending before
  // it starts is empty.
  auto o = OpenBytes("FCS3.0           5", false, false);
  const TDataSet& ds = *o.stream->dataset[0];
  EXPECT_EQ(ds.Header->bounds[0].start, 5);
  EXPECT_EQ(ds.Header->bounds[0].stop, 0);
  EXPECT_EQ(ds.Header->bounds[2].stop, 0);
  EXPECT_EQ(ds.parcount(), 0);
  // Its DATA start is 0 too, and no "$BEGINDATA" can replace it.
  EXPECT_THROW_MSG(OpenBytes("FCS3.0           5"), Exception, "BEGINDATA parameter is invalid");
  // All offsets 0: a one-byte TEXT (the "F" at offset 0) without keywords.
  EXPECT_THROW_MSG(OpenBytes("FCS3.0    "), Exception, "FCS Error: Cannot get mandatory pars");
}

TEST(FcsStreamOpen, NotAnFcsFile) {
  for (const std::string& bytes : {std::string("oi21j08cn\n"), std::string(), std::string("fcs3.0")}) {
    auto o = OpenBytes(bytes, false, true, TDecodePath::Fast, "plain.txt");
    EXPECT_TRUE(o.stream->badfile);
    ASSERT_EQ(o.stream->Count(), 1);
    EXPECT_EQ(o.stream->dataset[0]->Header, nullptr);
    EXPECT_EQ(o.stream->dataset[0]->Text, nullptr);
    EXPECT_EQ(o.notices, std::vector<std::string>{"File plain.txt does not look like FCS file!"});
  }
}

TEST(FcsStreamOpen, FromAFileAndItsErrors) {
  test::TempDir dir;
  const std::string path = dir.Write("a.fcs", Minimal().Build());
  TFCStream s(path, false, true, [](const std::string&) {});
  ASSERT_EQ(s.Count(), 1);
  EXPECT_EQ(s.fname, path);
  EXPECT_EQ(s.dataset[0]->data[0][0], 1.5f);
  EXPECT_EQ(s.Size(), 0);  // the file is closed after reading

  const std::string missing = dir.File("missing.fcs");
  EXPECT_THROW_MSG(TFCStream m(missing, false, true), Exception, "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_THROW_MSG(TFCStream d(dir.path().string(), false, true), Exception, "Cannot open file \"" + dir.path().string() + "\". Is a directory");
}

TEST(FcsStreamOpen, FirstDataSetErrorFailsTheOpen) {
  FcsBuilder b = Minimal();
  b.Erase("$DATATYPE");
  EXPECT_THROW_MSG(OpenBytes(b.Build()), Exception, "FCS Error: Cannot get mandatory pars");
}

FcsBuilder Numbered(float v) {
  FcsBuilder b = test::ListMode('F', {32}, 2);
  b.data = test::F32(v) + test::F32(v + 1);
  return b;
}

TEST(FcsChain, FollowsNextData) {
  auto o = OpenBytes(test::Chain({Numbered(1), Numbered(10), Numbered(100)}));
  ASSERT_EQ(o.stream->Count(), 3);
  EXPECT_EQ(o.stream->dataset[0]->Offset, 0);
  EXPECT_GT(o.stream->dataset[1]->Offset, 0);
  EXPECT_EQ(o.stream->dataset[1]->data[0][1], 11.0f);
  EXPECT_EQ(o.stream->dataset[2]->data[0][0], 100.0f);
  EXPECT_FALSE(o.stream->badfile);
}

TEST(FcsChain, NextDataThatEndsTheChain) {
  for (const char* next : {"", " ", "0", "-100", "999999"}) {
    FcsBuilder b = Numbered(1);
    if (*next) b.Key("$NEXTDATA", next);
    auto o = OpenBytes(b.Build());
    EXPECT_EQ(o.stream->Count(), 1) << "'" << next << "'";
    EXPECT_FALSE(o.stream->badfile);
    EXPECT_TRUE(o.notices.empty());
  }
  FcsBuilder b = Numbered(1);
  b.Key("$NEXTDATA", "ten");
  EXPECT_THROW_MSG(OpenBytes(b.Build()), EConvertError, "'ten' is not a valid integer value");
}

TEST(FcsChain, BrokenLaterDataSetsAreDroppedQuietly) {
  FcsBuilder noType = Numbered(10);
  noType.Erase("$DATATYPE");
  FcsBuilder noFcs = Numbered(10);
  noFcs.version = "XYZ3.0";
  for (const FcsBuilder& second : {noType, noFcs}) {
    auto o = OpenBytes(test::Chain({Numbered(1), second, Numbered(100)}));
    EXPECT_EQ(o.stream->Count(), 1);
    // The first data set is fine: the file is not marked bad and nothing is
    // shown for the broken one.
    EXPECT_FALSE(o.stream->badfile);
    EXPECT_TRUE(o.notices.empty());
  }
}

TEST(FcsChain, LaterDataSetsShareTheBytesOfTheFile) {
  // A crafted chain: after the first data set come a shared TEXT and 200
  // headers, 58 bytes apart, whose negative offsets all point at that TEXT
  // and at the first data set's DATA. Together the data sets may not decode
  // more bytes than the file holds.
  const int events = 1000;
  FcsBuilder first = test::ListMode('F', {32}, events);
  for (int i = 0; i < events; ++i) first.data += test::F32(static_cast<float>(i));
  first.Key("$NEXTDATA", "0000000000");
  const std::int64_t firstLen = static_cast<std::int64_t>(first.Build().size());
  const std::int64_t dataStart = first.builtDataStart;

  FcsBuilder shared = test::ListMode('F', {32}, events);
  shared.Key("$NEXTDATA", "58");
  const std::string sharedText = shared.TextSegment();
  const std::int64_t sharedAt = firstLen;
  const std::int64_t firstHeader = sharedAt + static_cast<std::int64_t>(sharedText.size());
  first.Set("$NEXTDATA", std::to_string(firstHeader + 10000000000LL).substr(1));

  std::string file = first.Build() + sharedText;
  ASSERT_EQ(static_cast<std::int64_t>(file.size()), firstHeader);
  const int headers = 200;
  for (int h = 0; h < headers; ++h) {
    const std::int64_t at = firstHeader + 58 * h;
    file += "FCS3.0    " + test::Field8(sharedAt - at) +
            test::Field8(sharedAt - at + static_cast<std::int64_t>(sharedText.size()) - 1) +
            test::Field8(dataStart - at) + test::Field8(dataStart - at + events * 4 - 1) +
            test::Field8(0) + test::Field8(0);
  }
  auto o = OpenBytes(file);
  ASSERT_GT(o.stream->Count(), 1);
  EXPECT_LT(o.stream->Count(), 10);
  EXPECT_EQ(o.stream->dataset[1]->data[0][5], 5.0f);
  std::int64_t decoded = 0;
  for (const auto& ds : o.stream->dataset) decoded += std::int64_t{ds->GetEventCount()} * 4;
  EXPECT_LE(decoded, static_cast<std::int64_t>(file.size()));
}

}  // namespace
}  // namespace dbc
