// Every corpus file (FCS files written by instruments and other software)
// opened with this reader and compared with the readings of independent
// readers: parameter and event counts, column sums, first and last events.
// Where this reader differs for a reason of the file format, the expected
// reading is stated below with that reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"

namespace dbc {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kCorpus = DEBARCODE_CORPUS_DIR;

struct CorpusFile {
  std::string name;  // relative to the corpus's files/ folder
  fs::path fcs;
  json ref;
};

std::vector<CorpusFile> Files() {
  std::vector<CorpusFile> out;
  for (const auto& entry : fs::recursive_directory_iterator(kCorpus / "files")) {
    const std::string p = entry.path().string();
    const std::string suffix = ".ref.json";
    if (p.size() <= suffix.size() || p.compare(p.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    CorpusFile f;
    f.fcs = p.substr(0, p.size() - suffix.size());
    f.name = fs::relative(f.fcs, kCorpus / "files").string();
    std::ifstream in(entry.path());
    f.ref = json::parse(in);
    out.push_back(std::move(f));
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return out;
}

void CompareDataSet(const std::string& what, const TDataSet& ds, const json& r) {
  EXPECT_EQ(ds.parcount(), r["parameter_count"].get<int>()) << what;
  EXPECT_EQ(ds.GetEventCount(), r["event_count"].get<int>()) << what;
  if (ds.parcount() != r["parameter_count"].get<int>() || ds.GetEventCount() != r["event_count"].get<int>()) return;
  const auto P = static_cast<std::size_t>(ds.parcount());
  const auto N = static_cast<std::size_t>(ds.GetEventCount());
  const json& sums = r["col_sums"];
  for (std::size_t p = 0; p < P; ++p) {
    double sum = 0;
    for (float v : ds.data[p]) sum += v;
    const double expected = sums[p].get<double>();
    EXPECT_LE(std::fabs(sum - expected), 1e-6 * std::max(1.0, std::fabs(expected))) << what << " column " << p;
  }
  const json& first = r["first5"];
  const json& last = r["last5"];
  for (std::size_t e = 0; e < first.size(); ++e)
    for (std::size_t p = 0; p < P; ++p)
      EXPECT_EQ(ds.data[p][e], static_cast<float>(first[e][p].get<double>())) << what << " event " << e << " par " << p;
  for (std::size_t e = 0; e < last.size(); ++e)
    for (std::size_t p = 0; p < P; ++p)
      EXPECT_EQ(ds.data[p][N - last.size() + e], static_cast<float>(last[e][p].get<double>()))
          << what << " event " << N - last.size() + e << " par " << p;
}

// Files without an agreed reading: what this reader reads, and why.
struct Special {
  const char* file;
  // Compare with this peer's reading instead of the reference (disputed).
  const char* peer = nullptr;
  bool badfile = false;
  int par = 0;
  int tot = 0;
  // "$TOT" as the TEXT announces it (more than tot: the file is cut short).
  int announced = 0;
};

const Special kSpecial[] = {
    // The header's DATA start (5555) lies inside the TEXT segment (58..6080);
    // "$BEGINDATA" gives the real start, 6081, which one peer also reads. The
    // other peer decodes TEXT bytes as events.
    {"FlowIO/data/fcs_files/data_start_offset_discrepancy_example.fcs", "flowio"},
    // Ten bytes of text, no FCS header: the file is reported as no FCS file.
    {"fcsparser/fcsparser/tests/data/FlowCytometers/corrupted/corrupted.fcs", nullptr, true},
    // A header and TEXT only: the DATA segment would begin at 5912, past the
    // end of the 3931-byte file, so there are no events.
    {"fcsparser/fcsparser/tests/data/FlowCytometers/cytek-nl-2000/sample_header.fcs", nullptr, false, 27, 0, 20000},
    // Cut short: DATA 2636..482635 in a file of 293161 bytes holds 6052
    // complete events of 12 floats (48 bytes).
    {"npm-fcs/test/testdata/AriaFile1.fcs", nullptr, false, 12, 6052, 10000},
};

const Special* FindSpecial(const std::string& name) {
  for (const auto& s : kSpecial)
    if (name == s.file) return &s;
  return nullptr;
}

TEST(Corpus, EveryFileMatchesItsReference) {
  const auto files = Files();
  ASSERT_GE(files.size(), 58u);
  int compared = 0;
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    std::vector<std::string> notices;
    std::unique_ptr<TFCStream> s;
    try {
      s = std::make_unique<TFCStream>(f.fcs.string(), false, true,
                                      [&](const std::string& t) { notices.push_back(t); });
    } catch (const std::exception& e) {
      ADD_FAILURE() << "open failed: " << e.what();
      continue;
    }
    const Special* special = FindSpecial(f.name);
    const json& ref = special && special->peer ? f.ref["peers"][special->peer] : f.ref["reference"];
    if (!ref.is_array()) {
      ASSERT_NE(special, nullptr) << "no reference and no stated reading";
      EXPECT_EQ(s->badfile, special->badfile);
      if (special->badfile) {
        EXPECT_EQ(notices, std::vector<std::string>{"File " + f.fcs.string() + " does not look like FCS file!"});
        continue;
      }
      ASSERT_EQ(s->Count(), 1);
      const TDataSet& ds = *s->dataset[0];
      EXPECT_EQ(ds.parcount(), special->par);
      EXPECT_EQ(ds.GetEventCount(), special->tot);
      EXPECT_EQ(ds.Text->GetValue("$TOT"), std::to_string(special->tot));
      EXPECT_EQ(ds.Text->announced, special->announced);
      EXPECT_EQ(notices, std::vector<std::string>{"File " + f.fcs.string() + " is cut short: $TOT announces " +
                                                  std::to_string(special->announced) + " events, the file holds " +
                                                  std::to_string(special->tot) + " complete events, which are read"});
      ASSERT_EQ(ds.data.size(), static_cast<std::size_t>(special->par));
      EXPECT_EQ(ds.data[0].size(), static_cast<std::size_t>(special->tot));
      continue;
    }
    EXPECT_FALSE(s->badfile);
    EXPECT_TRUE(notices.empty());
    for (const auto& ds : s->dataset) {
      if (ds->Text) {
        EXPECT_EQ(ds->Text->announced, ds->GetEventCount());
      }
    }
    EXPECT_EQ(static_cast<std::size_t>(s->Count()), ref.size());
    for (std::size_t i = 0; i < ref.size() && i < static_cast<std::size_t>(s->Count()); ++i)
      CompareDataSet(f.name + " data set " + std::to_string(i), *s->dataset[i], ref[i]);
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(files.size()) - 3);
}

// Delimiters inside values are written doubled and read as one; FCS 2.0
// writers give an empty value as two delimiters after its keyword.
TEST(Corpus, DelimitersInsideValuesAndEmptyValues) {
  struct Case {
    const char* file;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"fcsparser/fcsparser/tests/data/FlowCytometers/MiltenyiBiotec/FCS3.1/SG_2014-09-26_Duplicate_Names.fcs", "$P8S", "GFP/FITC-A"},
      {"fcsparser/fcsparser/tests/data/FlowCytometers/MiltenyiBiotec/FCS3.1/SG_2014-09-26_Duplicate_Names.fcs", "$P8L", "488nm"},
      {"FlowIO/data/fcs_files/G11.fcs", "$P3F", "488/10"},
      {"npm-fcs/test/testdata/AriaFile1.fcs", "$SRC", "Compens\x0c" "ation Controls"},
      {"FlowIO/data/fcs_files/data1.fcs", "&6Data File Prefix Part #2", ""},
      {"FlowIO/data/fcs_files/data1.fcs", "&7Data File Prefix Part #3", ""},
      {"flowCore/inst/extdata/0877408774.B08", "$P3S", ""},
      {"flowCore/inst/extdata/0877408774.B08", "$P4S", ""},
      {"flowCore/inst/extdata/0877408774.B08", "$P6N", "FL1-A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.key);
    const TFCStream s((kCorpus / "files" / c.file).string(), false, false, [](const std::string&) {});
    const TText& t = *s.dataset[0]->Text;
    ASSERT_GE(t.KeyIndex(c.key), 0);
    EXPECT_EQ(t.GetValue(c.key), c.value);
  }
}

TEST(Corpus, FastAndReferenceDecodingAgree) {
  for (const auto& f : Files()) {
    SCOPED_TRACE(f.name);
    auto quiet = [](const std::string&) {};
    const TFCStream fast(f.fcs.string(), false, true, quiet, TDecodePath::Fast);
    const TFCStream reference(f.fcs.string(), false, true, quiet, TDecodePath::Reference);
    ASSERT_EQ(fast.Count(), reference.Count());
    for (int i = 0; i < fast.Count(); ++i) {
      if (!fast.dataset[static_cast<std::size_t>(i)]->Text) continue;
      const TSingleMatrix& a = fast.dataset[static_cast<std::size_t>(i)]->data;
      const TSingleMatrix& b = reference.dataset[static_cast<std::size_t>(i)]->data;
      ASSERT_EQ(a.size(), b.size());
      for (std::size_t p = 0; p < a.size(); ++p) {
        ASSERT_EQ(a[p].size(), b[p].size());
        // Bit for bit (memcmp needs a column with events: no pointer otherwise).
        EXPECT_TRUE(a[p].empty() || std::memcmp(a[p].data(), b[p].data(), a[p].size() * sizeof(float)) == 0)
            << "parameter " << p;
      }
    }
  }
}

}  // namespace
}  // namespace dbc
