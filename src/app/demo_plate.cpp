#include "app/demo_plate.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "util/errors.h"

namespace dbc {

SyntheticPlateOptions DemoPlateOptions() {
  SyntheticPlateOptions o;
  o.events = 200000;
  o.seed = 96;
  return o;
}

std::string DemoPlateFolder() {
  return DemoPlateFolder([](const char* name) { return std::getenv(name); });
}

std::string DemoPlateFolder(const std::function<const char*(const char*)>& getenv) {
  auto set = [&getenv](const char* name) -> std::string {
    const char* v = getenv(name);
    return v ? std::string(v) : std::string();
  };
  if (std::string dir = set("DEBARCODE_DEMO_DIR"); !dir.empty()) return dir;
  // A relative XDG_DATA_HOME is invalid and ignored.
  if (std::string data = set("XDG_DATA_HOME"); !data.empty() && data[0] == '/') return data + "/debarcode/demo";
  if (std::string home = set("HOME"); !home.empty()) return home + "/.local/share/debarcode/demo";
  std::error_code ec;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  return (ec ? std::filesystem::path("/tmp") : temp).string() + "/debarcode-demo";
}

std::string WriteDemoPlate(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw Exception("Cannot create folder \"" + folder + "\". " + ec.message());
  const std::string path = folder + "/" + kDemoPlateFileName;
  WriteSyntheticPlate(path, DemoPlateOptions());
  return path;
}

}  // namespace dbc
