// debarcode synth and debarcode run, through the functions behind them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/run_record.h"
#include "app/synthetic_plate.h"
#include "cli/commands.h"
#include "support/temp_dir.h"

namespace dbc::cli {
namespace {

namespace fs = std::filesystem;

class RunCommand : public testing::Test {
 protected:
  void SetUp() override {
    input = dir.File("pool.fcs");
    SyntheticPlateOptions o;
    o.events = 5000;
    o.params = 10;
    std::ostringstream out, err;
    ASSERT_EQ(RunSynth(input, o, out, err), 0) << err.str();
    EXPECT_EQ(out.str().rfind("Wrote 5000 events of 10 parameters to " + input, 0), 0u);
  }
  // Another plate of 10 parameters (the same names); it becomes the input.
  void NextInput(const std::string& name, std::int64_t events, std::uint64_t seed) {
    input = dir.File(name);
    SyntheticPlateOptions o;
    o.events = events;
    o.params = 10;
    o.seed = seed;
    std::ostringstream sout, serr;
    ASSERT_EQ(RunSynth(input, o, sout, serr), 0) << serr.str();
  }
  int Run(RunOptions o, bool json) {
    o.input = input;
    o.json = json;
    out.str("");
    err.str("");
    return RunRun(o, out, err);
  }

  test::TempDir dir;
  std::string input;
  std::ostringstream out, err;
};

TEST_F(RunCommand, JsonReportsThePlate) {
  RunOptions o;
  o.thresholds = {"1=0.1", "7=2.0000000000000004"};
  ASSERT_EQ(Run(o, true), 0) << err.str();
  const auto j = nlohmann::json::parse(out.str());
  std::int64_t inWells = 0, wells = 0;
  for (const auto& [well, n] : j["wells"].items()) {
    inWells += n.get<std::int64_t>();
    wells += n.get<std::int64_t>() > 0;
  }
  EXPECT_EQ(err.str(), "Done\nThe files are in " + dir.File("pool") + "\n" + std::to_string(inWells) +
                           " events went to " + std::to_string(wells) + " wells, " +
                           std::to_string(j["trash"].get<std::int64_t>()) +
                           " to the trash\n");
  EXPECT_EQ(j["input"], input);
  EXPECT_EQ(j["events"], 5000);
  EXPECT_EQ(j["output_dir"], dir.File("pool"));
  EXPECT_EQ(j["exported"], true);
  ASSERT_EQ(j["bits"].size(), 7u);
  for (int bit = 1; bit <= 7; ++bit) {
    const auto& b = j["bits"][static_cast<std::size_t>(bit - 1)];
    EXPECT_EQ(b["bit"], bit);
    EXPECT_EQ(b["parameter"].get<std::string>().rfind("BC" + std::to_string(8 - bit), 0), 0u);
  }
  // Thresholds print so that they read back exactly.
  EXPECT_EQ(j["bits"][0]["threshold"].get<double>(), 0.1);
  EXPECT_EQ(j["bits"][6]["threshold"].get<double>(), 2.0000000000000004);
  ASSERT_EQ(j["wells"].size(), 96u);
  std::int64_t total = j["trash"];
  for (const auto& [well, n] : j["wells"].items()) total += n.get<std::int64_t>();
  EXPECT_EQ(total, 5000);
  EXPECT_TRUE(j["wells"].contains("A01"));
  EXPECT_TRUE(j["wells"].contains("H12"));
  EXPECT_TRUE(fs::exists(dir.File("pool/trash/trash.fcs")));
}

TEST_F(RunCommand, TableDryRunAndOutputFolder) {
  RunOptions o;
  o.dryRun = true;
  ASSERT_EQ(Run(o, false), 0) << err.str();
  EXPECT_EQ(err.str(), "");
  const std::string table = out.str();
  EXPECT_NE(table.find("\nA  "), std::string::npos);
  EXPECT_NE(table.find("\nH  "), std::string::npos);
  EXPECT_NE(table.find("\ntotal: 5000\n"), std::string::npos);
  EXPECT_NE(table.find("assigned to wells: "), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("pool"))) << "a dry run writes nothing";

  o.dryRun = false;
  o.outDir = dir.File("elsewhere");
  o.includeBarcode = true;
  ASSERT_EQ(Run(o, true), 0) << err.str();
  EXPECT_EQ(nlohmann::json::parse(out.str())["output_dir"], dir.File("elsewhere"));
  EXPECT_TRUE(fs::exists(dir.File("elsewhere/trash/trash.fcs")));
  EXPECT_FALSE(fs::exists(dir.File("pool")));
}

TEST_F(RunCommand, ErrorsExitOne) {
  struct Case {
    std::vector<std::string> channels, thresholds;
    std::string message;
  };
  const Case cases[] = {
      {{"1=nope"}, {}, "No parameter named 'nope' for bit 1\n"},
      {{"8=Time"}, {}, "Invalid --channel '8=Time': expected BIT=NAME with BIT 1..7\n"},
      {{}, {"2=abc"}, "Invalid --threshold '2=abc': 'abc' is not a number\n"},
      // Bit 1 takes BC1 from bit 7, which is left without a parameter.
      {{"1=BC1-Pd102Di"}, {}, "Bit 7 is not defined\n"},
  };
  for (const auto& c : cases) {
    RunOptions o;
    o.channels = c.channels;
    o.thresholds = c.thresholds;
    EXPECT_EQ(Run(o, true), 1);
    EXPECT_EQ(err.str(), c.message);
    EXPECT_EQ(out.str(), "");
  }
  RunOptions o;
  o.input = dir.File("missing.fcs");
  out.str("");
  err.str("");
  EXPECT_EQ(RunRun(o, out, err), 1);
  EXPECT_NE(err.str().find("missing.fcs"), std::string::npos) << err.str();
}

TEST_F(RunCommand, AnotherInputsFolderNeedsForce) {
  RunOptions o;
  o.outDir = dir.File("shared");
  ASSERT_EQ(Run(o, false), 0) << err.str();
  const RunRecord first = ReadRunRecord(dir.File("shared"));
  ASSERT_EQ(Run(o, false), 0) << "the same input again: " << err.str();

  const std::string firstInput = input;
  NextInput("other.fcs", 3000, 9);
  EXPECT_EQ(Run(o, false), 1);
  EXPECT_EQ(err.str(), "The folder \"" + dir.File("shared") + "\" holds the outputs of another input, \"" +
                           firstInput + "\". Add --force to replace them, or choose another folder with --out.\n");
  EXPECT_EQ(ReadRunRecord(dir.File("shared")).input.sha256, first.input.sha256);
  o.dryRun = true;
  EXPECT_EQ(Run(o, false), 0) << "a dry run writes nothing and asks nothing";
  o.dryRun = false;
  o.force = true;
  ASSERT_EQ(Run(o, false), 0) << err.str();
  const RunRecord second = ReadRunRecord(dir.File("shared"));
  EXPECT_EQ(second.input.path, input);
  EXPECT_EQ(second.input.eventsRead, 3000);
  EXPECT_EQ(RunVerify(dir.File("shared"), out, err), 0);
}

TEST_F(RunCommand, SettingsOfOneRunServeTheNext) {
  // Bit 2 takes a parameter that is no barcode channel; two thresholds
  // that need every digit.
  RunOptions o;
  o.thresholds = {"1=0.1", "4=2.0000000000000004"};
  o.channels = {"2=Time"};
  ASSERT_EQ(Run(o, false), 0) << err.str();
  const RunRecord a = ReadRunRecord(dir.File("pool"));
  EXPECT_EQ(a.bits[1].parameter, "Time");

  // The next plate, another file with the same names, takes them.
  const std::string record = dir.File("pool/debarcode-run.json");
  NextInput("next.fcs", 4000, 21);
  RunOptions next;
  next.settings = record;
  ASSERT_EQ(Run(next, false), 0) << err.str();
  const RunRecord b = ReadRunRecord(dir.File("next"));
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(b.bits[i].parameter, a.bits[i].parameter);
    EXPECT_EQ(b.bits[i].threshold, a.bits[i].threshold) << "bit " << i + 1;
  }
  EXPECT_EQ(b.bits[0].threshold, 0.1);
  EXPECT_EQ(b.bits[3].threshold, 2.0000000000000004);
  EXPECT_EQ(b.input.eventsRead, 4000);

  // The folder names the record as well; options given beside it win.
  next.settings = dir.File("pool");
  next.thresholds = {"3=1.5"};
  ASSERT_EQ(Run(next, false), 0) << err.str();
  EXPECT_EQ(ReadRunRecord(dir.File("next")).bits[2].threshold, 1.5);
  EXPECT_EQ(ReadRunRecord(dir.File("next")).bits[0].threshold, 0.1);

  // A parameter the file lacks, and a file that is no record.
  {
    std::ifstream f(record);
    std::string t((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const auto at = t.find("\"Time\"");
    ASSERT_NE(at, std::string::npos);
    t.replace(at, 6, "\"Tyme\"");
    std::ofstream(dir.File("edited.json")) << t;
  }
  next.settings = dir.File("edited.json");
  next.thresholds.clear();
  EXPECT_EQ(Run(next, false), 1);
  EXPECT_EQ(err.str(), "The file has no parameter named 'Tyme' (bit 2 in " + dir.File("edited.json") + ")\n");
  next.settings = input;
  EXPECT_EQ(Run(next, false), 1);
  EXPECT_EQ(err.str(), input + ": Not a run record: the text is no JSON\n");
}

TEST_F(RunCommand, VerifySaysWhatDiffers) {
  RunOptions o;
  ASSERT_EQ(Run(o, false), 0) << err.str();
  const RunRecord r = ReadRunRecord(dir.File("pool"));
  out.str("");
  ASSERT_EQ(RunVerify(dir.File("pool"), out, err), 0);
  EXPECT_EQ(out.str(), "OK: " + std::to_string(r.outputs.size()) + " outputs holding 5000 events, as the record says\n");

  const std::string well = r.outputs.back().name;
  fs::remove(dir.File("pool/" + well));
  out.str("");
  EXPECT_EQ(RunVerify(dir.File("pool"), out, err), 1);
  EXPECT_EQ(out.str(), well + ": missing\nthe outputs hold " + std::to_string(5000 - r.outputs.back().events) +
                           " events, the input 5000\n2 differences\n");
}

TEST_F(RunCommand, SynthRejectsBadOptions) {
  SyntheticPlateOptions o;
  o.params = 3;
  std::ostringstream sout, serr;
  EXPECT_EQ(RunSynth(dir.File("x.fcs"), o, sout, serr), 1);
  EXPECT_EQ(serr.str(), "The number of parameters must be 9 .. 1000\n");
}

// debarcode demo: the path alone on standard output, the plate ready for
// debarcode run.
TEST_F(RunCommand, DemoWritesThePlateAndPrintsItsPath) {
  std::ostringstream dout, derr;
  ASSERT_EQ(RunDemo(dir.File("demo"), dout, derr), 0) << derr.str();
  const std::string path = dir.File("demo") + "/demo-plate.fcs";
  EXPECT_EQ(dout.str(), path + "\n");
  EXPECT_EQ(derr.str(), "");
  input = path;
  RunOptions o;
  o.dryRun = true;
  ASSERT_EQ(Run(o, true), 0) << err.str();
  const auto j = nlohmann::json::parse(out.str());
  EXPECT_EQ(j["events"], 200000);
  int empty = 0;
  for (const auto& [well, n] : j["wells"].items()) empty += n.get<int>() == 0;
  EXPECT_EQ(empty, 0) << "every well gets events";

  dir.Write("in-the-way", "x");
  dout.str("");
  EXPECT_EQ(RunDemo(dir.File("in-the-way") + "/demo", dout, derr), 1);
  EXPECT_EQ(dout.str(), "");
  EXPECT_EQ(derr.str().rfind("Cannot create folder \"" + dir.File("in-the-way") + "/demo\".", 0), 0u) << derr.str();
}

}  // namespace
}  // namespace dbc::cli
