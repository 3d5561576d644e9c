#include "app/output_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/plate.h"
#include "util/errors.h"

namespace dbc {

namespace fs = std::filesystem;

void MakeOutputFolder(const std::string& dir) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return;
  fs::create_directory(dir, ec);
  if (!ec && !fs::is_directory(dir, ec)) ec = std::make_error_code(std::errc::not_a_directory);
  if (ec) throw Exception("Cannot create folder \"" + dir + "\". " + ec.message());
}

std::vector<std::string> ToolOutputsIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col) {
      const std::string name = "Well_" + WellName(row, col) + ".fcs";
      if (fs::is_regular_file(dir + "/" + name, ec)) names.push_back(name);
    }
  // Temporary files of a write in progress begin with a dot.
  for (auto it = fs::directory_iterator(dir + "/trash", ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (it->is_regular_file(ec) && file.size() > 4 && file.front() != '.' &&
        file.compare(file.size() - 4, 4, ".fcs") == 0)
      names.push_back("trash/" + file);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveStaleOutputs(const std::string& dir, const std::vector<std::string>& keep) {
  for (const std::string& name : ToolOutputsIn(dir)) {
    if (std::find(keep.begin(), keep.end(), name) != keep.end()) continue;
    std::error_code ec;
    fs::remove(dir + "/" + name, ec);
    if (ec) throw Exception("Cannot remove file \"" + dir + "/" + name + "\". " + ec.message());
  }
}

std::string RelativeOutputName(const std::string& dir, const std::string& path) {
  if (path.size() > dir.size() + 1 && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/')
    return path.substr(dir.size() + 1);
  return path;
}

}  // namespace dbc
