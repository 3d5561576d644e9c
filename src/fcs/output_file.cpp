#include "fcs/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace dbc {

std::string CreateErrorText(const std::string& filename, int err) {
  return "Cannot create file \"" + filename + "\". " + std::strerror(err);
}

std::string WriteErrorText(const std::string& filename, int err) {
  return "Cannot write file \"" + filename + "\". " + std::strerror(err);
}

namespace {

std::atomic<unsigned> temp_counter{0};

std::string TempNameFor(const std::string& final_name) {
  // A hidden name in the same folder, so that the rename stays within one
  // file system and cannot be mistaken for a well file.
  const auto slash = final_name.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : final_name.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? final_name : final_name.substr(slash + 1);
  return folder + "." + base + "." + std::to_string(::getpid()) + "-" +
         std::to_string(temp_counter.fetch_add(1)) + ".tmp";
}

}  // namespace

TFileSink::TFileSink(std::string filename) : final_(std::move(filename)) {
  struct stat st {};
  if (::stat(final_.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw EFCreateError(CreateErrorText(final_, EISDIR));
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = TempNameFor(final_);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
    if (errno != EEXIST) break;
  }
  const int err = errno;
  temp_.clear();
  throw EFCreateError(CreateErrorText(final_, err));
}

TFileSink::~TFileSink() {
  if (!done_) Discard();
}

int TFileSink::WriteAt(std::uint64_t offset, const char* data, std::size_t n) noexcept {
  if (fd_ < 0) return EBADF;
  while (n > 0) {
    const ssize_t w = ::pwrite(fd_, data, n, static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (w == 0) return ENOSPC;
    data += w;
    offset += static_cast<std::uint64_t>(w);
    n -= static_cast<std::size_t>(w);
  }
  return 0;
}

int TFileSink::Commit() noexcept {
  if (done_) return EBADF;
  const int fd = fd_;
  fd_ = -1;
  int err = 0;
  if (::close(fd) != 0) err = errno;
  if (err == 0 && ::rename(temp_.c_str(), final_.c_str()) != 0) err = errno;
  if (err != 0) ::unlink(temp_.c_str());
  done_ = true;
  return err;
}

void TFileSink::Discard() noexcept {
  if (done_) return;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  done_ = true;
}

TOutputFile::TOutputFile(const std::string& filename, std::size_t buffer)
    : TOutputFile(std::make_unique<TFileSink>(filename), filename, buffer) {}

TOutputFile::TOutputFile(std::unique_ptr<TByteSink> sink, std::string filename, std::size_t buffer)
    : sink_(std::move(sink)), name_(std::move(filename)), capacity_(buffer > 0 ? buffer : 1) {}

TOutputFile::~TOutputFile() {
  if (sink_) sink_->Discard();
}

void TOutputFile::Fail(int err) {
  sink_->Discard();
  sink_.reset();
  throw EWriteError(WriteErrorText(name_, err));
}

void TOutputFile::Flush() {
  if (!sink_) throw EWriteError(WriteErrorText(name_, EBADF));
  if (used_ == 0) return;
  if (const int err = sink_->WriteAt(start_, buf_.get(), used_)) Fail(err);
  start_ += used_;
  used_ = 0;
}

void TOutputFile::Seek(std::uint64_t pos) {
  if (pos == Position()) return;
  Flush();
  start_ = pos;
}

void TOutputFile::Write(const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  if (n >= capacity_) {  // large blocks go straight to the sink
    Flush();
    if (const int err = sink_->WriteAt(start_, p, n)) Fail(err);
    start_ += n;
    return;
  }
  if (!buf_) buf_ = std::make_unique_for_overwrite<char[]>(capacity_);
  while (n > 0) {
    if (used_ == capacity_) Flush();
    const std::size_t k = std::min(n, capacity_ - used_);
    std::memcpy(buf_.get() + used_, p, k);
    used_ += k;
    p += k;
    n -= k;
  }
}

char* TOutputFile::Claim(std::size_t n) {
  if (capacity_ - used_ < n) {
    Flush();
    if (capacity_ < n) {
      capacity_ = n;
      buf_.reset();
    }
  }
  if (!buf_) buf_ = std::make_unique_for_overwrite<char[]>(capacity_);
  char* p = buf_.get() + used_;
  used_ += n;
  return p;
}

int TOutputFile::WriteAt(std::uint64_t offset, const void* data, std::size_t n) noexcept {
  if (!sink_) return EBADF;
  return sink_->WriteAt(offset, static_cast<const char*>(data), n);
}

void TOutputFile::Close() {
  Flush();
  const int err = sink_->Commit();
  sink_.reset();
  if (err != 0) throw EWriteError(WriteErrorText(name_, err));
}

}  // namespace dbc
