// The keyword texts of the export outputs are built in one pass with an
// index over the keys; here they are compared with the plain algorithm
// (parameter by parameter from the highest removed one down, keyword by
// keyword through the store's own lookups) on random source texts:
// parameter keys with "$", "@" or no prefix in either letter case, repeated
// or missing, "$DATATYPE" F or not, log-amplified parameters, keys of
// numbers beyond the parameter count.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "app/export_text.h"
#include "util/text.h"

namespace dbc {
namespace {

constexpr int kPar = 9;

// The number of a parameter key ("$", "@" or nothing, "P", digits, suffix)
// and where its digits are.
int KeyNumber(const std::string& key, std::size_t& from, std::size_t& to) {
  std::size_t i = (!key.empty() && (key[0] == '$' || key[0] == '@')) ? 1 : 0;
  if (i >= key.size() || (key[i] != 'P' && key[i] != 'p')) return -1;
  from = to = i + 1;
  while (to < key.size() && key[to] >= '0' && key[to] <= '9') ++to;
  return to == from ? -1 : std::stoi(key.substr(from, to - from));
}

TPreText Reference(const TPreText& source, const TIntVector& keep,
                   const std::vector<TParameterOutput>& params, const std::string& well) {
  TPreText t;
  t.Assign(source);
  for (int p = kPar - 1; p >= 0; --p) {
    if (std::find(keep.begin(), keep.end(), p) != keep.end()) continue;
    for (std::size_t i = t.keys.size(); i-- > 0;) {
      std::size_t from, to;
      const int m = KeyNumber(t.keys[i], from, to);
      if (m == p + 1) {
        t.keys.erase(t.keys.begin() + static_cast<long>(i));
        t.Values.erase(t.Values.begin() + static_cast<long>(i));
      } else if (m > p + 1 && m <= kPar) {
        t.keys[i] = t.keys[i].substr(0, from) + std::to_string(m - 1) + t.keys[i].substr(to);
      }
    }
  }
  for (std::size_t i = t.keys.size(); i-- > 0;)
    if (t.KeyIndex(t.keys[i]) != static_cast<int>(i)) {
      t.keys.erase(t.keys.begin() + static_cast<long>(i));
      t.Values.erase(t.Values.begin() + static_cast<long>(i));
    }

  bool float32 = SameTextAscii(Trim(source.GetValue("$DATATYPE")), "F");
  for (int n = 1; n <= kPar; ++n) float32 = float32 && Trim(source.GetValue("$P" + std::to_string(n) + "B")) == "32";
  t.SetValue("$PAR", std::to_string(keep.size()));
  t.SetValue("$BYTEORD", "1,2,3,4");
  if (!float32) t.SetValue("$DATATYPE", "F");
  if (UpperAscii(Trim(source.GetValue("$MODE"))).rfind('L', 0) != 0) t.SetValue("$MODE", "L");
  t.SetValue("$NEXTDATA", "0");
  for (const char* key : {"$BEGINSTEXT", "$ENDSTEXT", "$BEGINANALYSIS", "$ENDANALYSIS"}) t.SetValue(key, "0");
  for (std::size_t k = 0; k < keep.size(); ++k) {
    const std::string p = "$P" + std::to_string(k + 1);
    const TParameterOutput& o = params[static_cast<std::size_t>(keep[k])];
    if (!float32) t.SetValue(p + "B", "32");
    if (o.linearE || t.KeyIndex(p + "E") < 0) t.SetValue(p + "E", "0,0");
    if (!o.range.empty()) t.SetValue(p + "R", o.range);
    if (!o.name.empty()) t.SetValue(p + "N", o.name);
  }
  t.SetValue(kWellKeyword, well);
  t.SetValue(kSourceKeyword, "pool.fcs");
  return t;
}

TPreText RandomSource(std::mt19937& rng) {
  std::uniform_int_distribution<int> coin(0, 3), extra(0, 2), pick(0, 4);
  TPreText t;
  if (coin(rng) != 0) t.SetValue("$BYTEORD", "4,3,2,1");
  t.SetValue(coin(rng) == 0 ? "$datatype" : "$DATATYPE", coin(rng) == 0 ? "I" : "f");
  if (coin(rng) != 0) t.SetValue("$MODE", coin(rng) == 0 ? "C" : "L");
  t.SetValue("$PAR", std::to_string(kPar));
  const char* const widths[] = {"32", " 32", "16", "", "32 "};
  const char* const amplifiers[] = {"0,0", "4,1", "", "3,0", "0,1"};
  const char* const prefixes[] = {"$P", "$p", "P", "@P", "p"};
  const char* const suffixes[] = {"B", "E", "R", "N", "DISPLAY", "GAIN", "Lin2x"};
  for (int n = 1; n <= kPar + 2; ++n) {  // two numbers beyond the count
    for (int k = extra(rng) + 1; k > 0; --k) {
      const std::string suffix = suffixes[std::uniform_int_distribution<int>(0, 6)(rng)];
      t.keys.push_back(prefixes[pick(rng)] + std::to_string(n) + suffix);
      t.Values.push_back(suffix == "B"   ? widths[pick(rng)]
                         : suffix == "E" ? amplifiers[pick(rng)]
                         : suffix == "R" ? (coin(rng) == 0 ? "" : "1024")
                                         : "v" + std::to_string(rng() % 10));
    }
  }
  for (int k = extra(rng); k > 0; --k) {
    t.keys.push_back(coin(rng) == 0 ? "$fil" : "$FIL");
    t.Values.push_back("f" + std::to_string(k));
  }
  std::shuffle(t.keys.begin() + 3, t.keys.end(), rng);  // keys only: values stay random too
  return t;
}

TEST(ExportTextScan, TextsMatchThePlainAlgorithm) {
  std::mt19937 rng(5);
  const TSingleMatrix data(kPar, TSingleVector{3.0f, 1000.0f, 12.5f});
  const TIntVector all{0, 1, 2, 3, 4, 5, 6, 7, 8};
  for (int round = 0; round < 2000; ++round) {
    const TPreText source = RandomSource(rng);
    const std::vector<TParameterOutput> params = ParameterOutputs(source, kPar, data, 3);
    for (const TIntVector& keep : {all, TIntVector{2, 6}, TIntVector{0, 8}, TIntVector{}}) {
      const TPreText fast = OutputText(source, kPar, keep, params, "B07", "/data/pool.fcs");
      const TPreText plain = Reference(source, keep, params, "B07");
      ASSERT_EQ(fast.keys, plain.keys) << "round " << round << ", " << keep.size() << " kept";
      ASSERT_EQ(fast.Values, plain.Values) << "round " << round << ", " << keep.size() << " kept";
    }
  }
}

}  // namespace
}  // namespace dbc
