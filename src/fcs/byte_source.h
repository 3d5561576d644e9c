#pragma once
// Where the FCS reader gets its bytes from: a file, or bytes in memory. The
// reader only ever asks for "up to n bytes at offset o", so tests and fuzz
// targets open bytes without touching the disk, and OpenFileByteSource is
// the one place that opens an input file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dbc {

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Number of bytes the source holds.
  virtual std::int64_t Size() const = 0;
  // Copies up to count bytes starting at offset into dest and returns the
  // number copied: fewer at the end, none for an offset that is negative or
  // at or past the end. Throws dbc::Exception on an I/O error.
  virtual std::size_t ReadAt(std::int64_t offset, void* dest, std::size_t count) = 0;
};

// Opens a regular file read-only. Throws dbc::Exception with the message
// "Cannot open file \"<name>\". <reason>" when that fails.
std::unique_ptr<TByteSource> OpenFileByteSource(const std::string& filename);

// A source over a copy of the given bytes.
std::unique_ptr<TByteSource> MemoryByteSource(std::string bytes);

}  // namespace dbc
