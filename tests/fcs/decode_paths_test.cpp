// The block decoder against the value-at-a-time reader on random files of
// every data type, width, byte order, mode, decimation and truncation: the
// two must give the same events, bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "support/fcs_builder.h"

namespace dbc {
namespace {

using test::FcsBuilder;

struct Config {
  std::string describe;
  std::string bytes;
  bool decimate = false;
};

Config RandomFile(std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](auto const& list) { return list[std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(rng)]; };
  auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };

  const char type = pick(std::vector<char>{'I', 'I', 'F', 'D'});
  const int P = std::uniform_int_distribution<int>(1, 7)(rng);
  std::vector<int> bits;
  for (int p = 0; p < P; ++p) {
    if (type == 'I') bits.push_back(pick(std::vector<int>{8, 16, 16, 24, 32, 40, 64, 0}));
    else if (type == 'F') bits.push_back(chance(0.9) ? 32 : pick(std::vector<int>{16, 64}));
    else bits.push_back(chance(0.9) ? 64 : 32);
  }
  const std::string byteord = pick(std::vector<std::string>{
      "1,2,3,4", "4,3,2,1", "2,1", "1,2", "3,4,1,2", "2,1,4,3", "1", "3,2,1", "2,3,1", "1,2,3,9",
      "8,7,6,5,4,3,2,1", "1,2,3,4,5,6,7,8", "", "4,4,4,4"});
  std::vector<std::int64_t> ranges;
  std::vector<std::string> names;
  for (int p = 0; p < P; ++p) {
    ranges.push_back(pick(std::vector<std::int64_t>{0, 1, 1000, 1024, 30000, 262144, 1 << 20, 4294967296LL}));
    names.push_back(chance(0.15) ? "PRISM" : "P" + std::to_string(p + 1));
  }
  // A few files span several of the block decoder's chunks (256 KiB).
  const bool big = chance(0.03);
  const std::int64_t events = big ? std::uniform_int_distribution<std::int64_t>(20000, 60000)(rng)
                                  : std::uniform_int_distribution<std::int64_t>(0, 200)(rng);
  FcsBuilder b = test::ListMode(type, bits, events, byteord, names, ranges);
  if (chance(0.2)) b.Set("$MODE", "C");
  if (chance(0.1)) b.Set("$TOT", std::to_string(events * 3 + 7));
  if (chance(0.1)) b.Erase("$TOT");
  if (chance(0.15) && P >= 3) {
    b.Key("$CYT", "CyAn").Key("$SYS", "Summit V4").Key("$TIMESTEP", pick(std::vector<std::string>{"0.01", "2", "1e-3"}));
    if (chance(0.7)) b.Set("$P2N", "TIME");
  }
  // Event bytes: random, with a fair share of NaN and infinity patterns.
  std::int64_t width = 0;
  int maxbits = 0;
  for (int v : bits) maxbits = std::max(maxbits, v);
  for (int v : bits) width += ((v == 0 ? maxbits : v) + 7) / 8;
  std::string data(static_cast<std::size_t>((width + 2) * events), '\0');
  for (auto& c : data) c = static_cast<char>(chance(0.05) ? 0xFF : std::uniform_int_distribution<int>(0, 255)(rng));
  if (chance(0.5) && !data.empty()) data.resize(std::uniform_int_distribution<std::size_t>(0, data.size())(rng));
  b.data = data;
  if (chance(0.1)) {
    b.beginEndKeywords = true;
    b.headerFields[2] = test::Field8(0);
  }
  Config c;
  c.decimate = chance(0.25);
  c.bytes = b.Build();
  c.describe = "seed " + std::to_string(seed) + " type " + type + " P " + std::to_string(P) + " byteord '" +
               byteord + "' events " + std::to_string(events) + " decimate " + std::to_string(c.decimate);
  return c;
}

TEST(DecodePaths, FastEqualsReferenceOnRandomFiles) {
  int loaded = 0, events = 0;
  for (std::uint32_t seed = 1; seed <= 600; ++seed) {
    const Config c = RandomFile(seed);
    std::unique_ptr<TFCStream> fast, reference;
    std::string fastError, referenceError;
    auto quiet = [](const std::string&) {};
    try {
      fast = std::make_unique<TFCStream>(MemoryByteSource(c.bytes), "r.fcs", c.decimate, true, quiet, TDecodePath::Fast);
    } catch (const std::exception& e) {
      fastError = e.what();
    }
    try {
      reference = std::make_unique<TFCStream>(MemoryByteSource(c.bytes), "r.fcs", c.decimate, true, quiet,
                                              TDecodePath::Reference);
    } catch (const std::exception& e) {
      referenceError = e.what();
    }
    ASSERT_EQ(fastError, referenceError) << c.describe;
    if (!fast) continue;
    ASSERT_EQ(fast->Count(), reference->Count()) << c.describe;
    const TDataSet& f = *fast->dataset[0];
    const TDataSet& r = *reference->dataset[0];
    ASSERT_EQ(f.GetEventCount(), r.GetEventCount()) << c.describe;
    ASSERT_EQ(f.Text->GetValue("$TOT"), r.Text->GetValue("$TOT")) << c.describe;
    ASSERT_EQ(f.EventSize, r.EventSize) << c.describe;
    ASSERT_EQ(f.data.size(), r.data.size()) << c.describe;
    for (std::size_t p = 0; p < f.data.size(); ++p) {
      ASSERT_EQ(f.data[p].size(), static_cast<std::size_t>(f.GetEventCount())) << c.describe;
      ASSERT_EQ(r.data[p].size(), f.data[p].size()) << c.describe;
      // Bit for bit (memcmp needs a column with events: no pointer otherwise).
      ASSERT_TRUE(f.data[p].empty() ||
                  std::memcmp(f.data[p].data(), r.data[p].data(), f.data[p].size() * sizeof(float)) == 0)
          << c.describe << " parameter " << p;
    }
    ++loaded;
    events += f.GetEventCount();
  }
  // The random files must exercise the decoders, not only their errors.
  EXPECT_GT(loaded, 400);
  EXPECT_GT(events, 200000);
}

}  // namespace
}  // namespace dbc
