#include "fcs/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "util/errors.h"

namespace dbc {

namespace {

std::string OpenError(const std::string& filename, const std::string& reason) {
  return "Cannot open file \"" + filename + "\". " + reason;
}

class FileByteSource final : public TByteSource {
 public:
  FileByteSource(int fd, std::int64_t size, std::string name)
      : fd_(fd), size_(size), name_(std::move(name)) {}
  ~FileByteSource() override { ::close(fd_); }
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  std::int64_t Size() const override { return size_; }

  std::size_t ReadAt(std::int64_t offset, void* dest, std::size_t count) override {
    if (offset < 0 || offset >= size_ || count == 0) return 0;
    const auto left = static_cast<std::uint64_t>(size_ - offset);
    if (count > left) count = static_cast<std::size_t>(left);
    auto* out = static_cast<char*>(dest);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (n < 0) {
        if (errno == EINTR) continue;
        throw Exception("Error reading file \"" + name_ + "\". " + std::strerror(errno));
      }
      if (n == 0) break;  // the file shrank while open
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

 private:
  int fd_;
  std::int64_t size_;
  std::string name_;
};

class MemoryByteSourceImpl final : public TByteSource {
 public:
  explicit MemoryByteSourceImpl(std::string bytes) : bytes_(std::move(bytes)) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  std::size_t ReadAt(std::int64_t offset, void* dest, std::size_t count) override {
    const auto size = static_cast<std::int64_t>(bytes_.size());
    if (offset < 0 || offset >= size || count == 0) return 0;
    const auto left = static_cast<std::uint64_t>(size - offset);
    if (count > left) count = static_cast<std::size_t>(left);
    std::memcpy(dest, bytes_.data() + offset, count);
    return count;
  }

 private:
  std::string bytes_;
};

}  // namespace

std::unique_ptr<TByteSource> OpenFileByteSource(const std::string& filename) {
  int fd;
  do {
    fd = ::open(filename.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw Exception(OpenError(filename, std::strerror(errno)));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw Exception(OpenError(filename, std::strerror(err)));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Exception(OpenError(filename, std::strerror(S_ISDIR(st.st_mode) ? EISDIR : EINVAL)));
  }
  return std::make_unique<FileByteSource>(fd, static_cast<std::int64_t>(st.st_size), filename);
}

std::unique_ptr<TByteSource> MemoryByteSource(std::string bytes) {
  return std::make_unique<MemoryByteSourceImpl>(std::move(bytes));
}

}  // namespace dbc
