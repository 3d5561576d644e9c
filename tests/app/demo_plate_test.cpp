// The demo plate: where it goes for each environment, and that it is
// always the same file.
#include "app/demo_plate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "util/errors.h"

namespace dbc {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

TEST(DemoPlate, FolderFollowsTheEnvironment) {
  const std::string temp = std::filesystem::temp_directory_path().string();
  struct Case {
    std::map<std::string, std::string> env;
    std::string folder;
  };
  const Case cases[] = {
      {{{"DEBARCODE_DEMO_DIR", "/x/demo"}, {"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}}, "/x/demo"},
      {{{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}}, "/d/debarcode/demo"},
      {{{"DEBARCODE_DEMO_DIR", ""}, {"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}}, "/h/.local/share/debarcode/demo"},
      {{{"HOME", "/h"}}, "/h/.local/share/debarcode/demo"},
      {{}, temp + "/debarcode-demo"},
  };
  for (const auto& c : cases) {
    auto getenv = [&c](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(DemoPlateFolder(getenv), c.folder);
  }
}

TEST(DemoPlate, AlwaysTheSameFile) {
  TempDir dir;
  const std::string folder = dir / "a/b/demo";
  const std::string path = WriteDemoPlate(folder);
  EXPECT_EQ(path, folder + "/demo-plate.fcs");
  const std::string first = ReadFile(path);
  EXPECT_EQ(ReadFile(WriteDemoPlate(folder)), first);
  TFCStream s(path, false, true, [](const std::string&) {});
  ASSERT_FALSE(s.dataset.empty());
  EXPECT_EQ(s.dataset[0]->GetEventCount(), 200000);
  EXPECT_EQ(DemoPlateOptions().events, 200000);

  // A file in the way of the folder.
  std::ofstream(dir / "file") << "x";
  EXPECT_THROW(WriteDemoPlate(dir / "file/demo"), Exception);
}

}  // namespace
}  // namespace dbc
