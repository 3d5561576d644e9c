#pragma once
// Output files that never end up half-written. Bytes go through a large
// buffer into a byte sink; the file sink writes under a temporary name in
// the target's folder and renames it over the final name only when the
// file is complete, so a failed or abandoned write leaves no partial file.
// Every write and the close are checked: a full disk or an I/O error
// raises EWriteError naming the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "util/errors.h"

namespace dbc {

// The file could not be created: 'Cannot create file "NAME". REASON'.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// Bytes could not be stored: 'Cannot write file "NAME". REASON'.
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

std::string CreateErrorText(const std::string& filename, int err);
std::string WriteErrorText(const std::string& filename, int err);

// Where written bytes end up. Methods report failure with an errno value
// (0 = success) so that the writer words every error the same way; tests
// inject failures through their own sink.
class TByteSink {
 public:
  virtual ~TByteSink() = default;
  // Stores all n bytes at the given offset.
  virtual int WriteAt(std::uint64_t offset, const char* data, std::size_t n) noexcept = 0;
  // Makes the stored bytes the final file.
  virtual int Commit() noexcept = 0;
  // Drops what was stored; the final file is left as it was.
  virtual void Discard() noexcept = 0;
};

// A file on disk, written as a temporary file beside the final one.
class TFileSink : public TByteSink {
 public:
  // Throws EFCreateError naming `filename` when the temporary file cannot be
  // created or `filename` is a folder.
  explicit TFileSink(std::string filename);
  ~TFileSink() override;
  TFileSink(const TFileSink&) = delete;
  TFileSink& operator=(const TFileSink&) = delete;

  int WriteAt(std::uint64_t offset, const char* data, std::size_t n) noexcept override;
  int Commit() noexcept override;
  void Discard() noexcept override;
  const std::string& TempName() const noexcept { return temp_; }

 private:
  std::string final_;
  std::string temp_;
  int fd_ = -1;
  bool done_ = false;
};

// A buffered writer with a position, over one sink. Writing past the end
// leaves a gap that a later write at a lower position fills.
class TOutputFile {
 public:
  static constexpr std::size_t kDefaultBuffer = std::size_t{4} << 20;

  // Creates `filename` (through a TFileSink).
  explicit TOutputFile(const std::string& filename, std::size_t buffer = kDefaultBuffer);
  TOutputFile(std::unique_ptr<TByteSink> sink, std::string filename,
              std::size_t buffer = kDefaultBuffer);
  // Discards the file unless Close has succeeded.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& Name() const noexcept { return name_; }
  std::uint64_t Position() const noexcept { return start_ + used_; }
  void Seek(std::uint64_t pos);
  void Write(const void* data, std::size_t n);
  void Write(const std::string& s) { Write(s.data(), s.size()); }
  // Room for n bytes at the position, to be filled by the caller at once;
  // the position moves past them.
  char* Claim(std::size_t n);
  // Stores n bytes at the file offset straight through the sink, past the
  // buffer and the position, which stay as they are. Several threads may
  // write disjoint ranges at once. Returns 0 or the errno value; a failure
  // leaves the file open (it is discarded when the writer goes).
  int WriteAt(std::uint64_t offset, const void* data, std::size_t n) noexcept;
  // Flushes and makes the file final. Throws EWriteError.
  void Close();
  bool IsOpen() const noexcept { return sink_ != nullptr; }

 private:
  void Flush();
  void Fail(int err);

  std::unique_ptr<TByteSink> sink_;
  std::string name_;
  // Allocated at the first buffered write and never zero-filled, so that a
  // file written in large blocks touches none of it.
  std::unique_ptr<char[]> buf_;
  std::size_t capacity_;
  std::uint64_t start_ = 0;  // file offset of buf_[0]
  std::size_t used_ = 0;
};

}  // namespace dbc
