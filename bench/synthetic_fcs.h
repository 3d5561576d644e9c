#pragma once
// Writes synthetic FCS 3.0 list-mode files for the benchmarks: `events` x
// `params` values of one data type, generated and written in chunks so that
// the writer itself stays small in memory.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace dbc::bench {

struct SyntheticSpec {
  std::int64_t events = 1'000'000;
  int params = 40;
  char datatype = 'F';  // 'F' float32 or 'I' int16
  bool bigEndian = false;
  std::uint32_t seed = 1;
};

inline std::string Field8(std::int64_t v) {
  std::string s = std::to_string(v);
  return std::string(s.size() < 8 ? 8 - s.size() : 0, ' ') + s;
}

inline void WriteSyntheticFcs(const std::string& path, const SyntheticSpec& spec) {
  const int width = spec.datatype == 'F' ? 4 : 2;
  const std::int64_t dataBytes = spec.events * spec.params * width;
  std::string text = "/$BYTEORD/" + std::string(spec.bigEndian ? "4,3,2,1" : "1,2,3,4") + "/$DATATYPE/" +
                     spec.datatype + "/$MODE/L/$PAR/" + std::to_string(spec.params) + "/$TOT/" +
                     std::to_string(spec.events) + "/";
  for (int p = 1; p <= spec.params; ++p) {
    const std::string n = std::to_string(p);
    text += "$P" + n + "B/" + std::to_string(width * 8) + "/$P" + n + "N/CH" + n + "/$P" + n + "R/" +
            (spec.datatype == 'F' ? "262144" : "1024") + "/$P" + n + "E/0,0/";
  }
  // Fixed-width offsets keep the TEXT length independent of their values.
  text += "$BEGINDATA/0000000000/$ENDDATA/0000000000/";
  const std::int64_t dataStart = 256 + static_cast<std::int64_t>(text.size());
  const std::int64_t dataEnd = dataStart + dataBytes - 1;
  auto pad = [](std::int64_t v) {
    std::string s = std::to_string(v);
    return std::string(10 - s.size(), '0') + s;
  };
  text.replace(text.find("$BEGINDATA/") + 11, 10, pad(dataStart));
  text.replace(text.find("$ENDDATA/") + 9, 10, pad(dataEnd));
  const bool fits = dataEnd <= 99'999'999;
  std::string header = "FCS3.0    " + Field8(256) + Field8(255 + static_cast<std::int64_t>(text.size())) +
                       Field8(fits ? dataStart : 0) + Field8(fits ? dataEnd : 0) + Field8(0) + Field8(0);
  header.resize(256, ' ');

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << header << text;
  std::mt19937 rng(spec.seed);
  std::lognormal_distribution<float> intensity(6.0f, 1.5f);
  std::uniform_int_distribution<int> channel(0, 1023);
  std::vector<char> chunk;
  const std::int64_t perChunk = 16384;
  for (std::int64_t e0 = 0; e0 < spec.events; e0 += perChunk) {
    const std::int64_t n = std::min(perChunk, spec.events - e0);
    chunk.resize(static_cast<std::size_t>(n * spec.params * width));
    char* p = chunk.data();
    for (std::int64_t i = 0; i < n * spec.params; ++i, p += width) {
      std::uint32_t u;
      if (spec.datatype == 'F') {
        const float f = intensity(rng);
        std::memcpy(&u, &f, 4);
      } else {
        u = static_cast<std::uint32_t>(channel(rng));
      }
      for (int k = 0; k < width; ++k) p[spec.bigEndian ? width - 1 - k : k] = static_cast<char>((u >> (8 * k)) & 0xFF);
    }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace dbc::bench
