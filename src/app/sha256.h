#pragma once
// SHA-256 digests through OpenSSL's libcrypto (EVP), as lower-case hex: the
// run record names every file it describes by its digest.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace dbc {

// A digest fed piece by piece.
class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(const void* data, std::size_t n);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The 64 hex digits of the digest; the object is done after it.
  std::string HexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> ctx_;
};

std::string Sha256Hex(std::string_view bytes);

struct FileDigest {
  std::uint64_t bytes = 0;
  std::string sha256;
};
// Reads the whole file. Throws Exception 'Cannot read file "NAME". REASON'.
FileDigest DigestFile(const std::string& filename);

}  // namespace dbc
