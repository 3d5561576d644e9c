// debarcode info: the JSON it prints for a file, for text that is not
// UTF-8, for a file that is no FCS file, for errors; and that it describes
// every corpus file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "cli/info_json.h"
#include "support/fcs_builder.h"
#include "support/temp_dir.h"

namespace dbc {
namespace {

using nlohmann::json;
using test::F32;

struct Result {
  int status;
  std::string out, err;
};

Result Info(const std::string& path) {
  std::ostringstream out, err;
  const int status = cli::RunInfo(path, false, out, err);
  return {status, out.str(), err.str()};
}

TEST(InfoCommand, DescribesTheFile) {
  test::FcsBuilder b = test::ListMode('F', {32, 32}, 7, "4,3,2,1", {"FSC-A", "CD3"}, {1024, 0});
  b.Key("$P2DISPLAY", "LOG").Key("$SPILLOVER", "2,1,2,1,0.25,0.5,1").Key("$COM", "caf\xE9 \xC3\xA9");
  for (int e = 0; e < 7; ++e) b.data += F32(static_cast<float>(e) + 0.1f, true) + F32(static_cast<float>(-e), true);
  test::TempDir dir;
  const std::string path = dir.Write("sample.fcs", b.Build());
  const Result r = Info(path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Bytes that are no UTF-8 come out as the code point of their value.
  EXPECT_NE(r.out.find(R"(["$COM","caf\u00e9 \u00e9"])"), std::string::npos) << r.out;
  const json j = json::parse(r.out);
  EXPECT_EQ(j["file"], path);
  EXPECT_EQ(j["badfile"], false);
  EXPECT_EQ(j["notices"], json::array());
  ASSERT_EQ(j["datasets"].size(), 1u);
  const json& ds = j["datasets"][0];
  EXPECT_EQ(ds["signature"], "FCS");
  EXPECT_EQ(ds["version"], 3);
  EXPECT_EQ(ds["offset"], 0);
  EXPECT_EQ(ds["datatype"], "F");
  EXPECT_EQ(ds["mode"], "L");
  EXPECT_EQ(ds["par"], 2);
  EXPECT_EQ(ds["tot"], 7);
  EXPECT_EQ(ds["tot_announced"], 7);
  EXPECT_EQ(ds["compressed"], false);
  EXPECT_EQ(ds["keywords"][0], json::array({"$BYTEORD", "4,3,2,1"}));
  EXPECT_EQ(ds["parameters"][0], json({{"name", "FSC-A"}, {"bits", 32}, {"range", 1024}, {"logpar", false}}));
  EXPECT_EQ(ds["parameters"][1]["logpar"], true);
  EXPECT_EQ(ds["spillover"]["indices"], json::array({0, 1}));
  EXPECT_EQ(ds["spillover"]["matrix"], json::parse("[[1.0,0.25],[0.5,1.0]]"));
  // Sums in double precision over the float values; values round-trip.
  double sum = 0;
  for (int e = 0; e < 7; ++e) sum += static_cast<double>(static_cast<float>(e) + 0.1f);
  EXPECT_EQ(ds["column_sums"][0].get<double>(), sum);
  EXPECT_EQ(ds["column_sums"][1].get<double>(), -21.0);
  ASSERT_EQ(ds["first_events"].size(), 5u);
  ASSERT_EQ(ds["last_events"].size(), 5u);
  EXPECT_EQ(static_cast<float>(ds["first_events"][1][0].get<double>()), 1.1f);
  EXPECT_EQ(ds["last_events"][4], json::array({static_cast<double>(6.1f), -6.0}));
  // Members in the documented order.
  EXPECT_LT(r.out.find("\"file\""), r.out.find("\"badfile\""));
  EXPECT_LT(r.out.find("\"signature\""), r.out.find("\"keywords\""));
  EXPECT_LT(r.out.find("\"first_events\""), r.out.find("\"last_events\""));
}

TEST(InfoCommand, FewEventsAndNoSpillover) {
  test::FcsBuilder b = test::ListMode('I', {16}, 2);
  b.data = test::U16(3) + test::U16(4);
  test::TempDir dir;
  const json j = json::parse(Info(dir.Write("two.fcs", b.Build())).out);
  const json& ds = j["datasets"][0];
  EXPECT_EQ(ds["spillover"], nullptr);
  EXPECT_EQ(ds["first_events"], json::parse("[[3.0],[4.0]]"));
  EXPECT_EQ(ds["last_events"], json::parse("[[3.0],[4.0]]"));
}

// A file that holds fewer events than its "$TOT" announces: the events
// read and the number announced, and the notice on standard error too.
TEST(InfoCommand, FileCutShort) {
  test::FcsBuilder b = test::ListMode('F', {32}, 200000);
  for (int e = 0; e < 3; ++e) b.data += F32(static_cast<float>(e));
  b.data += "\x01\x02";  // a fourth event cut short
  test::TempDir dir;
  const std::string path = dir.Write("half.fcs", b.Build());
  const Result r = Info(path);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string notice = "File " + path + " is cut short: $TOT announces 200000 events, the file holds 3 complete events, which are read";
  EXPECT_EQ(r.err, notice + "\n");
  const json j = json::parse(r.out);
  EXPECT_EQ(j["notices"], json::array({notice}));
  const json& ds = j["datasets"][0];
  EXPECT_EQ(ds["tot"], 3);
  EXPECT_EQ(ds["tot_announced"], 200000);
  EXPECT_EQ(ds["last_events"], json::parse("[[0.0],[1.0],[2.0]]"));
}

TEST(InfoCommand, NoFcsFileAndErrors) {
  test::TempDir dir;
  const std::string text = dir.Write("notes.txt", "hello");
  const Result bad = Info(text);
  EXPECT_EQ(bad.status, 1);
  const json j = json::parse(bad.out);
  EXPECT_EQ(j["badfile"], true);
  EXPECT_EQ(j["datasets"], json::array());
  EXPECT_EQ(j["notices"], json::array({"File " + text + " does not look like FCS file!"}));

  const Result missing = Info(dir.File("none.fcs"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "Cannot open file \"" + dir.File("none.fcs") + "\". No such file or directory\n");

  test::FcsBuilder noMode = test::ListMode('F', {32}, 0);
  noMode.Erase("$MODE");
  const Result broken = Info(dir.Write("broken.fcs", noMode.Build()));
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.err, "FCS Error: Cannot get mandatory pars\n");
}

TEST(InfoCommand, BytesToUtf8) {
  EXPECT_EQ(cli::BytesToUtf8("abc"), "abc");
  EXPECT_EQ(cli::BytesToUtf8("\xC3\xA9"), "\xC3\xA9");              // valid: kept
  EXPECT_EQ(cli::BytesToUtf8("\xE9"), "\xC3\xA9");                  // Latin-1 byte
  EXPECT_EQ(cli::BytesToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");      // overlong
  EXPECT_EQ(cli::BytesToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // surrogate
  EXPECT_EQ(cli::BytesToUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(cli::BytesToUtf8("\xF0\x9F"), "\xC3\xB0\xC2\x9F");      // cut short
}

TEST(InfoCommand, DescribesEveryCorpusFile) {
  namespace fs = std::filesystem;
  int described = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(DEBARCODE_CORPUS_DIR) / "files")) {
    const std::string p = entry.path().string();
    if (p.size() < 9 || p.compare(p.size() - 9, 9, ".ref.json") != 0) continue;
    const std::string fcs = p.substr(0, p.size() - 9);
    const Result r = Info(fcs);
    SCOPED_TRACE(fcs);
    const bool corrupted = fcs.find("corrupted.fcs") != std::string::npos;
    EXPECT_EQ(r.status, corrupted ? 1 : 0) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["badfile"], corrupted);
    if (!corrupted) {
      EXPECT_GE(j["datasets"].size(), 1u);
    }
    ++described;
  }
  EXPECT_GE(described, 58);
}

}  // namespace
}  // namespace dbc
