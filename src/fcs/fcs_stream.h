#pragma once
// TFCStream: one opened FCS file. The constructor reads every data set of
// the file into memory, following the "$NEXTDATA" chain, and releases the
// byte source before it returns. While the data sets are built it is also
// their reader: a buffered byte reader with a logical position, fixed-width
// text fields (header offsets, version) and a bit reader for bit-packed
// integer data.
//
// Positions are 64-bit. A read at a negative position or at or past the end
// returns nothing; a read that reaches the end returns the bytes that exist.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fcs/byte_source.h"

namespace dbc {

class TDataSet;

// Receives the notices the reader shows without raising ("File ... does not
// look like FCS file!", the variable-length ASCII notice).
using TNoticeFn = std::function<void(const std::string&)>;
// The default notice handler: the text and a newline on standard error.
void NoticeToStderr(const std::string& text);

// How byte-aligned events are decoded: in blocks straight into the columns
// (Fast), or one value at a time through the stream (Reference, the plain
// algorithm the fast path is tested against). Bit-packed and ASCII data are
// always decoded one value at a time.
enum class TDecodePath { Fast, Reference };

class TFCStream {
 public:
  // Opens Filename (the only way the reader opens a file). aDecimate keeps
  // every tenth event; LoadData false reads headers and keyword texts only.
  // Throws the open error, or the error of the first data set.
  TFCStream(const std::string& Filename, bool aDecimate, bool LoadData,
            TNoticeFn notice = NoticeToStderr, TDecodePath path = TDecodePath::Fast);
  // Reads from the given source; `name` stands for the file name in notices.
  TFCStream(std::unique_ptr<TByteSource> source, const std::string& name, bool aDecimate,
            bool LoadData, TNoticeFn notice = NoticeToStderr,
            TDecodePath path = TDecodePath::Fast);
  // Opens the source without reading any data set: the reader operations
  // work until the stream is destroyed (tests, tools that read by hand).
  TFCStream(std::unique_ptr<TByteSource> source, const std::string& name, TNoticeFn notice = NoticeToStderr);
  ~TFCStream();
  TFCStream(const TFCStream&) = delete;
  TFCStream& operator=(const TFCStream&) = delete;

  int Count() const noexcept { return static_cast<int>(dataset.size()); }
  // dataset[n].version, 0 when n names no data set.
  int version(int n) const noexcept;

  // --- reader operations; the source is open only during construction ---
  // Copies up to Count bytes from Position, advances Position by the number
  // copied and returns it; resets bitnum.
  std::int64_t Read(void* buffer, std::int64_t Count);
  // len bytes read with Read; a field cut by the end of the file holds only
  // the bytes that exist.
  std::string ReadStr(std::int64_t len);
  // A text field: trimmed, blank reads as 0, else a decimal integer
  // (EConvertError otherwise).
  std::int32_t ReadInt(int len);
  // As ReadInt, converted with StringToFloat.
  double ReadFloat(int len);
  // `bits` bits, most significant first, running on across bytes from the
  // bit position left by the previous call. Bits beyond the low 64 are
  // shifted out. When the file ends first, the missing bits read as 0 and
  // *complete (when given) is set false.
  std::uint64_t ReadUB(int bits, bool* complete = nullptr);
  std::int64_t Position() const noexcept { return fposition; }
  void SetPosition(std::int64_t Value) noexcept {
    fposition = Value;
    bitnum = 0;
  }
  // Size of the source in bytes (0 once the source is released).
  std::int64_t Size() const noexcept { return size_; }
  // Bulk read for the block decoder: up to count bytes at offset, not
  // through the buffer and without moving Position.
  std::size_t ReadAt(std::int64_t offset, void* dest, std::size_t count);

  // Writes every data set to the file fname, one after the other (nothing
  // for a bad file). Defined in dataset_write.cpp.
  void SaveAs(const std::string& fname) const;

  // Shows a notice through the handler given at construction.
  void Notice(const std::string& text) const;
  TDecodePath DecodePath() const noexcept { return path_; }
  // Called by a data set whose signature is neither "FCS" nor "ACS". For the
  // first data set of the file this shows "File <name> does not look like FCS
  // file!" and sets badfile; a later data set of a chain is dropped quietly.
  void SignatureFailed();
  // Bytes that a chained data set may still read (TEXT and events): the
  // data sets of one file together never decode more bytes than the file
  // holds. Unlimited while the first data set is read.
  std::int64_t ByteBudget() const noexcept { return budget_; }
  // A data set reports the bytes it has read (its TEXT, its events).
  void Consume(std::int64_t bytes) noexcept;

  // Index 0..7 of the next bit inside the byte at Position, from the most
  // significant bit; 0 when the reader is byte-aligned.
  int bitnum = 0;
  // Set when the first data set's signature is wrong; dataset[0] then has
  // no header and no keyword text.
  bool badfile = false;
  // The data sets in file order.
  std::vector<std::unique_ptr<TDataSet>> dataset;
  std::string fname;

 private:
  static constexpr std::int64_t kBufferCapacity = 16384;

  void ReadAll(bool aDecimate, bool LoadData);
  // Makes buf cover fposition when it lies inside the source.
  void FillBuffer();
  bool NextBit(int& bit);

  std::unique_ptr<TByteSource> source_;
  TNoticeFn notice_;
  TDecodePath path_;
  std::int64_t size_ = 0;
  std::vector<unsigned char> buf;
  std::int64_t bufposition = 0;
  std::int64_t bufsize = 0;
  std::int64_t fposition = 0;
  std::int64_t budget_ = INT64_MAX;
  std::int64_t consumed_ = 0;
  bool readingChain_ = false;
  bool chainSignatureFailed_ = false;
};

}  // namespace dbc
