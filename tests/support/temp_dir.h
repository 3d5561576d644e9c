#pragma once
// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
#include <filesystem>
#include <string>

namespace dbc::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }
  // path() / name, as a string.
  std::string File(const std::string& name) const;
  // Writes bytes to path() / name and returns that path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace dbc::test
