#include "app/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "util/errors.h"

namespace dbc {

struct TSha256::Context {
  EVP_MD_CTX* md = nullptr;
  ~Context() { EVP_MD_CTX_free(md); }
};

TSha256::TSha256() : ctx_(std::make_unique<Context>()) {
  ctx_->md = EVP_MD_CTX_new();
  if (!ctx_->md || EVP_DigestInit_ex(ctx_->md, EVP_sha256(), nullptr) != 1)
    throw Exception("SHA-256 is not available");
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, std::size_t n) {
  if (n > 0 && EVP_DigestUpdate(ctx_->md, data, n) != 1) throw Exception("SHA-256 failed");
}

std::string TSha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(ctx_->md, digest, &len) != 1) throw Exception("SHA-256 failed");
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < len; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string Sha256Hex(std::string_view bytes) {
  TSha256 h;
  h.Update(bytes);
  return h.HexDigest();
}

FileDigest DigestFile(const std::string& filename) {
  auto fail = [&filename](int err) {
    return Exception("Cannot read file \"" + filename + "\". " + std::strerror(err));
  };
  const int fd = ::open(filename.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fail(errno);
  TSha256 h;
  FileDigest d;
  std::vector<char> buf(std::size_t{1} << 20);
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw fail(err);
    }
    if (n == 0) break;
    h.Update(buf.data(), static_cast<std::size_t>(n));
    d.bytes += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  d.sha256 = h.HexDigest();
  return d;
}

}  // namespace dbc
