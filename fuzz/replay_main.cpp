// Runs a fuzz target over saved inputs without libFuzzer, so that the test
// suite replays them with any compiler (and under the sanitizers in the
// asan build). Arguments are files or folders; a folder contributes every
// regular file in it, in name order, and a folder that does not exist
// contributes nothing (a target without regression inputs has none). A run
// that finds no input at all fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> found;
      for (const auto& entry : fs::directory_iterator(arg, ec))
        if (entry.is_regular_file()) found.push_back(entry.path());
      std::sort(found.begin(), found.end());
      inputs.insert(inputs.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(arg, ec)) {
      inputs.push_back(arg);
    } else {
      std::printf("no inputs at %s\n", arg.c_str());
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 2;
  }
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 2;
    }
    // Printed first, so that the input is named when the target crashes.
    std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    std::fflush(stdout);
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(copy.data(), copy.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
