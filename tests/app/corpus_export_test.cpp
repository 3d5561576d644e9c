// Every corpus file with at least seven parameters is exported (bits on the
// first seven parameters that are not the time, thresholds at the medians,
// barcode parameters removed from the well files unless no other parameter
// remains) and every output is read
// back with this project's reader and checked against the source:
//  - the layout: one data set, the TEXT ending with its delimiter at the
//    header's TEXT end, header offsets equal to "$BEGINDATA"/"$ENDDATA",
//    the file $ENDDATA + 1 bytes long, no other segment;
//  - the keywords: each once, "$NEXTDATA" and the other segments' offsets
//    0, every keyword FCS 3.0 requires, float data declared linear, the
//    origin keywords;
//  - every parameter keyword ("$PnX", "PnX", "@PnX") of a kept parameter
//    under its new number with its value, none of a removed one;
//  - the spillover matrix: the source's restricted to the kept parameters;
//  - every value equal to the source's (log-amplified channels as linear
//    values, which the output's "$PnR" covers), the events of each output
//    in source order, and the counts adding up.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "app/export.h"
#include "app/plate.h"
#include "app/temp_dir.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "support/sanitizers.h"
#include "util/text.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;

#ifdef DBC_ASAN
constexpr std::size_t kMaxEvents = 20000;  // the sanitizers are slow
#else
constexpr std::size_t kMaxEvents = SIZE_MAX;
#endif

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> out;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(DEBARCODE_CORPUS_DIR) / "files")) {
    const std::string p = entry.path().string();
    if (p.size() > 9 && p.compare(p.size() - 9, 9, ".ref.json") == 0) out.emplace_back(p.substr(0, p.size() - 9));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// A parameter key split as (prefix + "P", number, suffix), prefix "$", "@"
// or none; number 0 when the key is none.
struct ParKey {
  std::string head;
  long long number = 0;
  std::string suffix;
};

ParKey SplitParKey(const std::string& key) {
  std::size_t i = (!key.empty() && (key[0] == '$' || key[0] == '@')) ? 1 : 0;
  if (i >= key.size() || (key[i] != 'P' && key[i] != 'p')) return {};
  std::size_t j = i + 1;
  while (j < key.size() && j < i + 10 && key[j] >= '0' && key[j] <= '9') ++j;
  if (j == i + 1) return {};
  return {key.substr(0, i + 1), std::stoll(key.substr(i + 1, j - i - 1)), key.substr(j)};
}

// (head, suffix) -> value of the first key of every parameter number.
std::map<long long, std::map<std::pair<std::string, std::string>, std::string>> ParameterKeys(const TPreText& t) {
  std::map<long long, std::map<std::pair<std::string, std::string>, std::string>> out;
  for (std::size_t i = 0; i < t.keys.size(); ++i) {
    const ParKey k = SplitParKey(t.keys[i]);
    if (k.number > 0) out[k.number].emplace(std::pair{UpperAscii(k.head), UpperAscii(k.suffix)}, t.Values[i]);
  }
  return out;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The source's value as an output holds it: a log-amplified channel number
// ("$PnE" f1 > 0 on integer data) becomes f2 * 10^(f1 * x / $PnR).
struct Expected {
  bool log = false;
  double f1 = 0, f2 = 1, range = 1;
  float operator()(float x) const {
    return log ? static_cast<float>(f2 * std::pow(10.0, f1 * static_cast<double>(x) / range)) : x;
  }
};

Expected ExpectedOf(const TText& t, int p) {
  Expected e;
  const TPar& par = t.pars[static_cast<std::size_t>(p)];
  if ((t.DataType == 'I' || t.DataType == 'A') && par.decade > 0) {
    e.log = true;
    e.f1 = par.decade;
    e.f2 = par.intersect == 0 ? 1.0 : par.intersect;
    e.range = par.resolution > 0 ? static_cast<double>(par.resolution) : std::ldexp(1.0, par.bits);
  }
  return e;
}

struct Source {
  std::string name;
  const TDataSet* ds;
  std::size_t events;
  TIntVector keep;  // parameters of a well file
  TByteVector codes;
};

void CheckLayout(const std::string& file, const TText& t) {
  const std::string bytes = ReadFile(file);
  ASSERT_GE(bytes.size(), 256u);
  EXPECT_EQ(bytes.substr(0, 10), "FCS3.0    ");
  auto field = [&](int k) { return std::stoll(bytes.substr(10 + 8 * static_cast<std::size_t>(k), 8)); };
  EXPECT_EQ(field(0), 256);
  const long long textEnd = field(1);
  ASSERT_GT(textEnd, 256);
  EXPECT_EQ(bytes[static_cast<std::size_t>(textEnd)], bytes[256]) << "the TEXT ends with its delimiter";
  EXPECT_NE(bytes[static_cast<std::size_t>(textEnd) - 1], ' ');
  EXPECT_EQ(std::to_string(field(2)), t.GetValue("$BEGINDATA"));
  EXPECT_EQ(std::to_string(field(3)), t.GetValue("$ENDDATA"));
  EXPECT_EQ(std::to_string(bytes.size() - 1), t.GetValue("$ENDDATA"));
  EXPECT_EQ(field(4), 0);
  EXPECT_EQ(field(5), 0);
}

void CheckKeywords(const TText& t, const std::string& well, const std::string& sourceName) {
  std::set<std::string> seen;
  for (const auto& k : t.keys) EXPECT_TRUE(seen.insert(UpperAscii(k)).second) << "repeated " << k;
  for (const char* zero : {"$NEXTDATA", "$BEGINSTEXT", "$ENDSTEXT", "$BEGINANALYSIS", "$ENDANALYSIS"})
    EXPECT_EQ(t.GetValue(zero), "0") << zero;
  for (const char* required : {"$BYTEORD", "$DATATYPE", "$MODE", "$PAR", "$TOT", "$BEGINDATA", "$ENDDATA"})
    EXPECT_FALSE(Trim(t.GetValue(required)).empty()) << required;
  EXPECT_EQ(t.GetValue("$BYTEORD"), "1,2,3,4");
  EXPECT_EQ(t.DataType, 'F');
  EXPECT_EQ(t.Mode, 'L');
  for (int n = 1; n <= t.par; ++n) {
    for (const char* suffix : {"B", "E", "N", "R"})
      EXPECT_FALSE(Trim(t.GetValue("$P" + std::to_string(n) + suffix)).empty()) << "$P" << n << suffix;
    EXPECT_EQ(t.GetValue("$P" + std::to_string(n) + "B"), "32");
    EXPECT_EQ(t.pars[static_cast<std::size_t>(n - 1)].decade, 0.0) << "float data declared log, $P" << n << "E";
  }
  EXPECT_EQ(t.GetValue("DEBARCODE_WELL"), well);
  EXPECT_EQ(t.GetValue("DEBARCODE_SOURCE"), sourceName);
}

void CheckParameterKeys(const TText& source, const TText& out, const TIntVector& kept) {
  const auto before = ParameterKeys(source), after = ParameterKeys(out);
  // The keywords the export rewrites for float data.
  auto rewritten = [](const std::pair<std::string, std::string>& k) {
    return k.first == "$P" && (k.second == "B" || k.second == "E" || k.second == "R" || k.second == "N");
  };
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const auto n = static_cast<long long>(k) + 1;
    const long long p = kept[k] + 1;
    const auto b = before.count(p) ? before.at(p) : decltype(before.at(p)){};
    const auto a = after.count(n) ? after.at(n) : decltype(after.at(n)){};
    for (const auto& [key, value] : b)
      if (!rewritten(key)) {
        ASSERT_TRUE(a.count(key)) << key.first << n << key.second << " (was " << key.first << p << key.second << ")";
        EXPECT_EQ(a.at(key), value) << key.first << n << key.second;
      }
    for (const auto& [key, value] : a) {
      if (!rewritten(key)) {
        EXPECT_TRUE(b.count(key)) << "new key " << key.first << n << key.second;
      }
    }
    EXPECT_EQ(out.pars[k].name, source.pars[static_cast<std::size_t>(p - 1)].name);
  }
  // No key of a removed parameter: numbers above the output's count and
  // up to the source's are none's.
  for (const auto& [n, keys] : after)
    EXPECT_FALSE(n > out.par && n <= source.par) << "key of parameter " << n << " of " << out.par;
}

void CheckSpillover(const TDataSet& source, const TDataSet& out, const TIntVector& kept) {
  // Output parameter of each source parameter.
  std::map<int, int> newIndex;
  for (std::size_t k = 0; k < kept.size(); ++k) newIndex[kept[k]] = static_cast<int>(k);
  std::vector<std::size_t> rows;  // rows of the source matrix that remain
  for (std::size_t i = 0; i < source.SpillInds.size() && !source.spillover.empty(); ++i)
    if (newIndex.count(source.SpillInds[i])) rows.push_back(i);
  ASSERT_EQ(out.spillover.size(), rows.size());
  ASSERT_EQ(out.SpillInds.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(out.SpillInds[i], newIndex.at(source.SpillInds[rows[i]]));
    for (std::size_t j = 0; j < rows.size(); ++j) EXPECT_EQ(out.spillover[i][j], source.spillover[rows[i]][rows[j]]);
  }
  for (const char* key : {"$SPILLOVER", "SPILL", "$COMP"}) {
    if (!source.Text->GetValue(key).empty() && !source.SpillUnreadable) {
      EXPECT_EQ(out.Text->GetValue(key).empty(), rows.empty()) << key;
    }
  }
}

void CheckValues(const Source& s, const TDataSet& out, const TIntVector& kept, int output,
                 const std::array<int, kCodeCount>& outputOf) {
  const TText& st = *s.ds->Text;
  std::vector<Expected> expected;
  for (int p : kept) expected.push_back(ExpectedOf(st, p));
  std::int64_t e = 0;
  for (std::size_t i = 0; i < s.events; ++i) {
    if (outputOf[s.codes[i]] != output) continue;
    ASSERT_LT(e, out.GetEventCount());
    for (std::size_t k = 0; k < kept.size(); ++k) {
      const float want = expected[k](s.ds->data[static_cast<std::size_t>(kept[k])][i]);
      const float got = out.data[k][static_cast<std::size_t>(e)];
      if (expected[k].log)
        ASSERT_NEAR(got, want, 1e-6 * std::fabs(want)) << "event " << i << ", parameter " << kept[k];
      else
        ASSERT_TRUE(SameBits(got, want)) << "event " << i << ", parameter " << kept[k] << ": " << got << " vs " << want;
    }
    ++e;
  }
  EXPECT_EQ(e, out.GetEventCount());
  // A linear value stays within the range the output declares.
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (!expected[k].log) continue;
    for (float v : out.data[k]) ASSERT_LE(v, static_cast<double>(out.Text->pars[k].resolution));
  }
}

TEST(CorpusExport, EveryOutputMeansWhatTheSourceMeant) {
  BuildPlateTables();
  std::array<int, kCodeCount> outputOf{};
  for (int code = 0; code < kCodeCount; ++code)
    outputOf[static_cast<std::size_t>(code)] = code2well[code].col < 0 ? 0 : 1 + code2well[code].row * 12 + code2well[code].col;
  int exported = 0;
  for (const fs::path& path : CorpusFiles()) {
    SCOPED_TRACE(path.string());
    auto quiet = [](const std::string&) {};
    std::unique_ptr<TFCStream> stream;
    try {
      stream = std::make_unique<TFCStream>(path.string(), false, true, quiet);
    } catch (const std::exception&) {
      continue;
    }
    if (stream->badfile || stream->dataset.empty() || stream->dataset[0]->parcount() < 7) continue;
    Source s;
    s.name = path.filename().string();
    s.ds = stream->dataset[0].get();
    s.events = std::min<std::size_t>(static_cast<std::size_t>(s.ds->GetEventCount()), kMaxEvents);
    BitParams bits{};
    int found = 0;
    for (int p = 0; p < s.ds->parcount() && found < 7; ++p)
      if (LowerAscii(s.ds->ParName(p)).find("time") == std::string::npos) bits[static_cast<std::size_t>(found++)] = p;
    if (found < 7) continue;
    BitThresholds thresholds{};
    for (int j = 0; j < 7; ++j) {
      const TSingleVector& column = s.ds->data[static_cast<std::size_t>(bits[static_cast<std::size_t>(j)])];
      std::vector<float> v(column.begin(), column.begin() + static_cast<long>(s.events));
      if (v.empty()) continue;
      std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
      thresholds[static_cast<std::size_t>(j)] = v[v.size() / 2];
    }
    s.codes = ClassifyEvents(s.ds->data, s.events, bits, thresholds);
    for (int p = 0; p < s.ds->parcount(); ++p)
      if (std::find(bits.begin(), bits.end(), p) == bits.end()) s.keep.push_back(p);
    TIntVector all(static_cast<std::size_t>(s.ds->parcount()));
    for (int p = 0; p < s.ds->parcount(); ++p) all[static_cast<std::size_t>(p)] = p;

    // A file of seven parameters would give well files without any
    // (which no reader takes); its wells keep the barcode parameters.
    const bool include = s.keep.empty();
    if (include) s.keep = all;
    TempDir dir;
    ExportJob job{s.ds->Text.get(), &s.ds->data, s.events, &s.codes, bits, include, dir.str(), path.string()};
    ExportResult result;
    ASSERT_NO_THROW(result = ExportPlate(job));
    if (s.events == 0) {
      EXPECT_TRUE(result.files.empty());
      continue;
    }
    ++exported;
    std::int64_t total = 0;
    for (const std::string& file : result.files) {
      SCOPED_TRACE(file);
      const bool trash = file == TrashFileName(dir.str());
      std::string well = "trash";
      int output = 0;
      if (!trash) {
        const std::string base = fs::path(file).filename().string();  // Well_B07.fcs
        well = base.substr(5, 3);
        output = 1 + (well[0] - 'A') * 12 + std::stoi(well.substr(1)) - 1;
      }
      const TIntVector& kept = trash ? all : s.keep;
      std::vector<std::string> notices;
      std::unique_ptr<TFCStream> back;
      try {
        back = std::make_unique<TFCStream>(file, false, true, [&](const std::string& n) { notices.push_back(n); });
      } catch (const std::exception& e) {
        ADD_FAILURE() << "cannot read " << file << ": " << e.what();
        continue;
      }
      EXPECT_TRUE(notices.empty());
      ASSERT_FALSE(back->badfile);
      ASSERT_EQ(back->Count(), 1);
      const TDataSet& out = *back->dataset[0];
      const TText& t = *out.Text;
      ASSERT_EQ(out.parcount(), static_cast<int>(kept.size()));
      CheckLayout(file, t);
      CheckKeywords(t, well, s.name);
      CheckParameterKeys(*s.ds->Text, t, kept);
      CheckSpillover(*s.ds, out, kept);
      CheckValues(s, out, kept, output, outputOf);
      total += out.GetEventCount();
    }
    EXPECT_EQ(total, static_cast<std::int64_t>(s.events));
  }
  EXPECT_GE(exported, 40);
}

}  // namespace
}  // namespace dbc
