// debarcode synth and debarcode run, through the functions behind them.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

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
  EXPECT_EQ(err.str(), "Done\n");
  const auto j = nlohmann::json::parse(out.str());
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

TEST_F(RunCommand, SynthRejectsBadOptions) {
  SyntheticPlateOptions o;
  o.params = 3;
  std::ostringstream sout, serr;
  EXPECT_EQ(RunSynth(dir.File("x.fcs"), o, sout, serr), 1);
  EXPECT_EQ(serr.str(), "The number of parameters must be 9 .. 1000\n");
}

}  // namespace
}  // namespace dbc::cli
