#include "fcs/fcs_stream.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <utility>

#include "fcs/dataset.h"
#include "util/text.h"

namespace dbc {

void NoticeToStderr(const std::string& text) { std::cerr << text << '\n'; }

TFCStream::TFCStream(const std::string& Filename, bool aDecimate, bool LoadData, TNoticeFn notice,
                     TDecodePath path)
    : TFCStream(OpenFileByteSource(Filename), Filename, aDecimate, LoadData, std::move(notice), path) {}

TFCStream::TFCStream(std::unique_ptr<TByteSource> source, const std::string& name, bool aDecimate,
                     bool LoadData, TNoticeFn notice, TDecodePath path)
    : fname(name), source_(std::move(source)), notice_(std::move(notice)), path_(path) {
  size_ = source_->Size();
  buf.resize(static_cast<std::size_t>(std::min(size_, kBufferCapacity)));
  bufsize = static_cast<std::int64_t>(source_->ReadAt(0, buf.data(), buf.size()));
  try {
    ReadAll(aDecimate, LoadData);
  } catch (...) {
    source_.reset();
    throw;
  }
  // The data sets are in memory; the file is not needed any more.
  source_.reset();
  buf.clear();
  buf.shrink_to_fit();
  bufsize = 0;
  size_ = 0;
}

TFCStream::TFCStream(std::unique_ptr<TByteSource> source, const std::string& name, TNoticeFn notice)
    : fname(name), source_(std::move(source)), notice_(std::move(notice)), path_(TDecodePath::Fast) {
  size_ = source_->Size();
  buf.resize(static_cast<std::size_t>(std::min(size_, kBufferCapacity)));
  bufsize = static_cast<std::int64_t>(source_->ReadAt(0, buf.data(), buf.size()));
}

// A data set that someone wants to outlive the stream is moved out of
// `dataset`; what is still here is freed with the stream.
TFCStream::~TFCStream() = default;

void TFCStream::ReadAll(bool aDecimate, bool LoadData) {
  dataset.push_back(std::make_unique<TDataSet>(*this, aDecimate, LoadData));
  if (badfile) return;
  // Later data sets of a chain share what is left of the file.
  readingChain_ = true;
  budget_ = std::max<std::int64_t>(0, size_ - consumed_);
  for (;;) {
    const std::int64_t next = dataset.back()->OffsetToNextDataSet();
    if (next <= 0) break;
    // $NEXTDATA is relative to the data set that holds it, and positive, so
    // the chain moves forward and ends at the latest at the end of the file.
    SetPosition(dataset.back()->Offset + next);
    chainSignatureFailed_ = false;
    std::unique_ptr<TDataSet> ds;
    try {
      ds = std::make_unique<TDataSet>(*this, aDecimate, LoadData);
    } catch (const std::exception&) {
      break;  // a broken later data set ends the chain; the earlier ones stay
    }
    if (chainSignatureFailed_) break;
    dataset.push_back(std::move(ds));
  }
}

int TFCStream::version(int n) const noexcept {
  if (n < 0 || n >= Count() || !dataset[static_cast<std::size_t>(n)]) return 0;
  return dataset[static_cast<std::size_t>(n)]->version;
}

void TFCStream::Notice(const std::string& text) const {
  if (notice_) notice_(text);
}

void TFCStream::SignatureFailed() {
  if (readingChain_) {
    chainSignatureFailed_ = true;
    return;
  }
  badfile = true;
  Notice("File " + fname + " does not look like FCS file!");
}

void TFCStream::Consume(std::int64_t bytes) noexcept {
  if (bytes <= 0) return;
  consumed_ += bytes;
  if (readingChain_) budget_ = std::max<std::int64_t>(0, budget_ - bytes);
}

void TFCStream::FillBuffer() {
  if (!source_) return;
  if (fposition >= bufposition && fposition < bufposition + bufsize) return;
  if (fposition < 0 || fposition >= size_) return;
  const std::int64_t want = std::min(size_ - fposition, static_cast<std::int64_t>(buf.size()));
  bufposition = fposition;
  bufsize = static_cast<std::int64_t>(source_->ReadAt(fposition, buf.data(), static_cast<std::size_t>(want)));
}

std::int64_t TFCStream::Read(void* buffer, std::int64_t Count) {
  bitnum = 0;
  if (!source_ || Count <= 0 || fposition < 0 || fposition >= size_) return 0;
  std::int64_t remaining = std::min(Count, size_ - fposition);
  auto* out = static_cast<unsigned char*>(buffer);
  if (remaining > static_cast<std::int64_t>(buf.size())) {
    const auto got = static_cast<std::int64_t>(
        source_->ReadAt(fposition, out, static_cast<std::size_t>(remaining)));
    fposition += got;
    return got;
  }
  std::int64_t total = 0;
  while (remaining > 0) {
    FillBuffer();
    const std::int64_t a = fposition - bufposition;
    if (a < 0 || a >= bufsize) break;
    const std::int64_t take = std::min(bufsize - a, remaining);
    std::memcpy(out + total, buf.data() + a, static_cast<std::size_t>(take));
    fposition += take;
    total += take;
    remaining -= take;
  }
  return total;
}

std::string TFCStream::ReadStr(std::int64_t len) {
  if (len <= 0 || fposition < 0 || fposition >= size_) {
    bitnum = 0;
    return {};
  }
  // Size the field by the bytes that exist, not by what a header claims.
  std::string s(static_cast<std::size_t>(std::min(len, size_ - fposition)), '\0');
  s.resize(static_cast<std::size_t>(Read(s.data(), static_cast<std::int64_t>(s.size()))));
  return s;
}

std::int32_t TFCStream::ReadInt(int len) {
  const std::string s = Trim(ReadStr(len));
  if (s.empty()) return 0;
  return StrToInt(s);
}

double TFCStream::ReadFloat(int len) {
  const std::string s = Trim(ReadStr(len));
  if (s.empty()) return 0;
  return static_cast<double>(StringToFloat(s));
}

std::size_t TFCStream::ReadAt(std::int64_t offset, void* dest, std::size_t count) {
  if (!source_) return 0;
  return source_->ReadAt(offset, dest, count);
}

bool TFCStream::NextBit(int& bit) {
  if (!source_ || fposition < 0 || fposition >= size_) return false;
  FillBuffer();
  const std::int64_t a = fposition - bufposition;
  if (a < 0 || a >= bufsize) return false;
  bit = (buf[static_cast<std::size_t>(a)] >> (7 - bitnum)) & 1;
  if (bitnum < 7) {
    ++bitnum;
  } else {
    bitnum = 0;
    ++fposition;
  }
  return true;
}

std::uint64_t TFCStream::ReadUB(int bits, bool* complete) {
  std::uint64_t result = 0;
  for (int i = 0; i < bits; ++i) {
    int bit = 0;
    if (!NextBit(bit)) {
      // The file ended: the missing bits are zeros.
      const int rest = bits - i;
      result = rest >= 64 ? 0 : result << rest;
      if (complete) *complete = false;
      return result;
    }
    result = (result << 1) | static_cast<std::uint64_t>(bit);
  }
  if (complete) *complete = true;
  return result;
}

}  // namespace dbc
