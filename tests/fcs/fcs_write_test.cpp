// The FCS writer: file layout and TEXT sizing, keyword order, header offsets
// across the eight-digit limit, and that failed writes leave no file.
#include "fcs/fcs_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace dbc {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "fcs_write_XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::string ReadAll(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::int64_t HeaderField(const std::string& file, int k) {
  return std::stoll(file.substr(10 + 8 * static_cast<std::size_t>(k), 8));
}

// Keyword/value pairs of a '/'-delimited TEXT without escaped delimiters.
std::vector<std::pair<std::string, std::string>> Pairs(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t p = 1;
  while (p < text.size()) {
    const auto k = text.find('/', p);
    const auto v = text.find('/', k + 1);
    if (k == std::string::npos || v == std::string::npos) break;
    out.emplace_back(text.substr(p, k - p), text.substr(k + 1, v - k - 1));
    p = v + 1;
  }
  return out;
}

// The TEXT segment as the header places it.
std::string TextOf(const std::string& file) {
  const auto stop = static_cast<std::size_t>(HeaderField(file, 1));
  return file.substr(256, stop - 256 + 1);
}

std::string Value(const std::string& file, const std::string& key) {
  for (auto& [k, v] : Pairs(TextOf(file)))
    if (k == key) return v;
  return "<absent>";
}

// A keyword text whose size, once BeginData has added its placeholders, is
// `size` bytes.
void FillToSize(TPreText& t, int size) {
  TPreText probe = t;
  probe.SetValue("$TOT", TFCSWrite::kTotPlaceholder);
  probe.SetValue("$BEGINDATA", TFCSWrite::kOffsetPlaceholder);
  probe.SetValue("$ENDDATA", TFCSWrite::kOffsetPlaceholder);
  const int room = size - probe.Size() - static_cast<int>(std::strlen("$FILLER")) - 2;
  ASSERT_GE(room, 1);
  t.SetValue("$FILLER", std::string(static_cast<std::size_t>(room), 'x'));
}

TEST(OffsetField, RightAlignedAndCutToEightDigits) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "       0"},         {256, "     256"},       {99'999'999, "99999999"},
      {100'000'000, "00000000"}, {123'456'789, "23456789"}, {1'255, "    1255"},
  };
  for (auto [n, text] : cases) EXPECT_EQ(OffsetField(n), text) << n;
  EXPECT_EQ(FCSHeaderText(3, 256, 1255, 1280, 1759, 0, 0),
            "FCS3.0         256    1255    1280    1759       0       0");
}

struct SizingCase {
  int textSize;
  int events;
  int params;
  std::int64_t endDataArg;
  // The TEXT end the text is sized with (placeholders for "$TOT",
  // "$BEGINDATA", "$ENDDATA"); the final TEXT is shorter.
  std::int64_t sizedTextStop, datastart, datastop, fileSize;
  const char* tot;
};

class WriterSizing : public testing::TestWithParam<SizingCase> {};

TEST_P(WriterSizing, PlacesTextAndData) {
  const auto c = GetParam();
  TempDir dir;
  const std::string name = dir / "out.fcs";
  {
    TFCSWrite w(name);
    w.Text.SetValue("$PAR", std::to_string(c.params));
    FillToSize(w.Text, c.textSize);
    w.BeginData();
    EXPECT_EQ(w.Text.Size(), c.textSize);
    EXPECT_EQ(w.textstop, c.sizedTextStop);
    EXPECT_EQ(w.datastart, c.datastart);
    TSingleVector row(static_cast<std::size_t>(c.params));
    for (int e = 0; e < c.events; ++e) {
      for (int p = 0; p < c.params; ++p) row[static_cast<std::size_t>(p)] = static_cast<float>(e * 100 + p);
      w.WriteData(row);
    }
    EXPECT_FALSE(fs::exists(name)) << "visible before EndData";
    w.EndData(c.endDataArg);
    EXPECT_EQ(w.datastop, c.datastop);
    // The TEXT ends with its last delimiter.
    EXPECT_EQ(w.textstop, 256 + w.Text.Size() - 1);
    EXPECT_LT(w.textstop, c.sizedTextStop);
  }
  const std::string f = ReadAll(name);
  ASSERT_EQ(static_cast<std::int64_t>(f.size()), c.fileSize);
  EXPECT_EQ(static_cast<std::int64_t>(f.size()), c.datastop + 1);
  EXPECT_EQ(f.substr(0, 10), "FCS3.0    ");
  EXPECT_EQ(HeaderField(f, 0), 256);
  const std::int64_t textEnd = HeaderField(f, 1);
  EXPECT_EQ(f[static_cast<std::size_t>(textEnd)], '/');
  EXPECT_NE(f[static_cast<std::size_t>(textEnd) - 1], ' ');
  EXPECT_EQ(HeaderField(f, 2), c.datastart);
  EXPECT_EQ(HeaderField(f, 3), c.datastop);
  EXPECT_EQ(HeaderField(f, 4), 0);
  EXPECT_EQ(HeaderField(f, 5), 0);
  EXPECT_EQ(f.substr(58, 198), std::string(198, ' '));
  EXPECT_EQ(Value(f, "$TOT"), c.tot);
  EXPECT_EQ(Value(f, "$BEGINDATA"), std::to_string(c.datastart));
  EXPECT_EQ(Value(f, "$ENDDATA"), std::to_string(c.datastop));
  // Between the final TEXT and the DATA only blanks.
  const std::size_t gap = 256 + TextOf(f).size();
  EXPECT_EQ(gap, static_cast<std::size_t>(textEnd) + 1);
  EXPECT_EQ(f.substr(gap, static_cast<std::size_t>(c.datastart) - gap),
            std::string(static_cast<std::size_t>(c.datastart) - gap, ' '));
  // Values little-endian in event order.
  for (int e = 0; e < c.events; ++e)
    for (int p = 0; p < c.params; ++p) {
      float v;
      std::memcpy(&v, f.data() + c.datastart + 4 * (e * c.params + p), 4);
      ASSERT_EQ(v, static_cast<float>(e * 100 + p));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterSizing,
    testing::Values(
        // 1,000-byte text: sized to end at 1,255, DATA 1,280..1,759, 1,760 bytes.
        SizingCase{1000, 10, 12, 0, 1255, 1280, 1759, 1760, "10"},
        // A text of 256 bytes fills 256..511 exactly; one more byte moves DATA.
        SizingCase{256, 1, 2, 0, 511, 512, 519, 520, "1"},
        SizingCase{257, 1, 2, 0, 512, 768, 775, 776, "1"},
        // No event: the file ends where DATA would start.
        SizingCase{300, 0, 3, 0, 555, 768, 767, 768, "0"},
        // The count given to EndData wins over the events written, unless 0.
        SizingCase{400, 3, 2, 5, 655, 768, 791, 792, "5"},
        SizingCase{400, 3, 2, 0, 655, 768, 791, 792, "3"}));

TEST(FCSWrite, KeywordOrderWithAndWithoutOffsetKeywords) {
  TempDir dir;
  auto keysOf = [](const std::string& file) {
    std::vector<std::string> k;
    for (auto& [key, v] : Pairs(TextOf(file))) k.push_back(key);
    return k;
  };
  {
    TFCSWrite w(dir / "held.fcs");
    for (const char* k : {"$BEGINANALYSIS", "$BEGINDATA", "$P1N", "$tot", "$ENDDATA", "$PAR"})
      w.Text.SetValue(k, "1");
    w.BeginData();
    w.WriteData(1.5f);
    w.EndData(0);
  }
  EXPECT_EQ(keysOf(ReadAll(dir / "held.fcs")),
            (std::vector<std::string>{"$BEGINANALYSIS", "$BEGINDATA", "$P1N", "$tot",
                                      "$ENDDATA", "$PAR"}));
  {
    TFCSWrite w(dir / "lacking.fcs");
    w.Text.SetValue("$PAR", "1");
    w.Text.SetValue("$P1N", "FSC");
    w.BeginData();
    w.WriteData(1.5f);
    w.EndData(0);
  }
  EXPECT_EQ(keysOf(ReadAll(dir / "lacking.fcs")),
            (std::vector<std::string>{"$PAR", "$P1N", "$TOT", "$BEGINDATA", "$ENDDATA"}));
}

// Keeps the first bytes of what is written and the size, without storing
// hundreds of megabytes.
class HeadSink : public TByteSink {
 public:
  explicit HeadSink(std::string& head, std::uint64_t& size) : head_(head), size_(size) {}
  int WriteAt(std::uint64_t offset, const char* data, std::size_t n) noexcept override {
    size_ = std::max(size_, offset + n);
    if (offset < kKeep) {
      const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(n, kKeep - offset));
      if (head_.size() < offset + k) head_.resize(static_cast<std::size_t>(offset) + k, '\0');
      std::memcpy(head_.data() + offset, data, k);
    }
    return 0;
  }
  int Commit() noexcept override { return 0; }
  void Discard() noexcept override {}

 private:
  static constexpr std::uint64_t kKeep = 4096;
  std::string& head_;
  std::uint64_t& size_;
};

TEST(FCSWrite, OffsetsBeyondEightDigitsAreZeroInTheHeader) {
  // DATA ending at 99,999,999 still fits; one event more does not.
  const std::pair<std::int64_t, bool> cases[] = {{99'999'999, true}, {100'000'003, false}};
  for (auto [lastByte, fits] : cases) {
    std::string head;
    std::uint64_t size = 0;
    TFCSWrite w(std::make_unique<HeadSink>(head, size), "big.fcs");
    w.Text.SetValue("$PAR", "1");
    w.BeginData();
    const std::int64_t events = (lastByte + 1 - w.datastart) / 4;
    ASSERT_EQ(w.datastart + 4 * events - 1, lastByte);
    std::vector<float> chunk(1 << 16, 2.0f);
    for (std::int64_t done = 0; done < events;) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(events - done, 1 << 16));
      w.WriteEvents(chunk.data(), n, static_cast<std::int64_t>(n));
      done += static_cast<std::int64_t>(n);
    }
    w.EndData(0);
    EXPECT_EQ(size, static_cast<std::uint64_t>(lastByte + 1));
    EXPECT_EQ(HeaderField(head, 2), fits ? w.datastart : 0) << lastByte;
    EXPECT_EQ(HeaderField(head, 3), fits ? lastByte : 0) << lastByte;
    EXPECT_EQ(Value(head, "$BEGINDATA"), std::to_string(w.datastart));
    EXPECT_EQ(Value(head, "$ENDDATA"), std::to_string(lastByte));
    EXPECT_EQ(Value(head, "$TOT"), std::to_string(events));
  }
}

// Fails with `err` once `limit` bytes have been stored, or at Commit.
class FailingSink : public TByteSink {
 public:
  FailingSink(std::uint64_t limit, int err, bool failCommit, bool& discarded)
      : limit_(limit), err_(err), failCommit_(failCommit), discarded_(discarded) {}
  int WriteAt(std::uint64_t, const char*, std::size_t n) noexcept override {
    if (stored_ + n > limit_) return err_;
    stored_ += n;
    return 0;
  }
  int Commit() noexcept override { return failCommit_ ? err_ : 0; }
  void Discard() noexcept override { discarded_ = true; }

 private:
  std::uint64_t limit_, stored_ = 0;
  int err_;
  bool failCommit_;
  bool& discarded_;
};

TEST(FCSWrite, FailedWriteRaisesErrorNamingTheFile) {
  struct Case {
    const char* what;
    std::uint64_t limit;
    int err;
    bool failCommit;
    std::size_t events;
  };
  const Case cases[] = {
      {"the DATA", 1 << 20, ENOSPC, false, 1 << 20},
      {"header and TEXT after the DATA", 4000 + 100, EIO, false, 1000},
      {"the close", 1 << 30, EIO, true, 1000},
  };
  for (const auto& c : cases) {
    bool discarded = false;
    try {
      TFCSWrite w(std::make_unique<FailingSink>(c.limit, c.err, c.failCommit, discarded),
                  "/data/Well_A01.fcs");
      w.Text.SetValue("$PAR", "1");
      w.BeginData();
      for (std::size_t i = 0; i < c.events; ++i) w.WriteData(1.0f);
      w.EndData(0);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EWriteError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Cannot write file \"/data/Well_A01.fcs\". " + std::string(std::strerror(c.err)))
          << c.what;
    }
    // A failed store discards the file; a failed commit cleans up by itself.
    EXPECT_EQ(discarded, !c.failCommit) << c.what;
  }
}

TEST(FCSWrite, DiskFullDevice) {
  // /dev/full takes no byte and answers ENOSPC, as a full disk does.
  struct DevFull : TByteSink {
    int fd = ::open("/dev/full", O_WRONLY);
    ~DevFull() override { if (fd >= 0) ::close(fd); }
    int WriteAt(std::uint64_t, const char* d, std::size_t n) noexcept override {
      return ::write(fd, d, n) < 0 ? errno : 0;
    }
    int Commit() noexcept override { return 0; }
    void Discard() noexcept override {}
  };
  auto sink = std::make_unique<DevFull>();
  if (sink->fd < 0) GTEST_SKIP() << "no /dev/full";
  TFCSWrite w(std::move(sink), "full.fcs");
  w.BeginData();
  try {
    w.EndData(0);
    ADD_FAILURE() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "Cannot write file \"full.fcs\". No space left on device");
  }
}

TEST(FCSWrite, NoHalfWrittenFiles) {
  TempDir dir;
  const std::string name = dir / "Well_B02.fcs";
  {  // abandoned before EndData
    TFCSWrite w(name);
    w.BeginData();
    w.WriteData(1.0f);
  }
  EXPECT_TRUE(fs::is_empty(dir.path));

  // A finished file stays as it was when its rewrite is abandoned.
  {
    TFCSWrite w(name);
    w.BeginData();
    w.WriteData(1.0f);
    w.EndData(0);
  }
  const std::string before = ReadAll(name);
  {
    TFCSWrite w(name);
    w.BeginData();
    w.WriteData(2.0f);
    w.WriteData(3.0f);
  }
  EXPECT_EQ(ReadAll(name), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);

  // A folder in the place of the file: the creation error names it.
  fs::create_directory(dir / "Well_C07.fcs");
  try {
    TFCSWrite w(dir / "Well_C07.fcs");
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (dir / "Well_C07.fcs") + "\". Is a directory");
  }
  // A missing folder.
  try {
    TFCSWrite w(dir / "none/trash.fcs");
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + (dir / "none/trash.fcs") + "\". No such file or directory");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);
}

TEST(FCSWrite, IntegerAndRawWritesAreLittleEndian) {
  TempDir dir;
  {
    TFCSWrite w(dir / "raw.fcs");
    w.BeginData();
    w.WriteData(TIntVector{0x01020304, -1});
    w.Write16(0xA1B2);
    w.Write32(0x0A0B0C0D);
    w.Write64(0x1122334455667788ULL);
    EXPECT_EQ(w.Count, 1);
    w.EndData(0);
  }
  const std::string f = ReadAll(dir / "raw.fcs");
  const std::string expect("\x04\x03\x02\x01\xFF\xFF\xFF\xFF\xB2\xA1\x0D\x0C\x0B\x0A"
                           "\x88\x77\x66\x55\x44\x33\x22\x11", 22);
  EXPECT_EQ(f.substr(static_cast<std::size_t>(HeaderField(f, 2))), expect);
}

}  // namespace
}  // namespace dbc
