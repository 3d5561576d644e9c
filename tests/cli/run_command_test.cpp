// debarcode synth and debarcode run, through the functions behind them.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/debarcoder.h"
#include "app/plate.h"
#include "app/run_record.h"
#include "app/synthetic_plate.h"
#include "cli/commands.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
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

TEST_F(RunCommand, GuessMarginAndTheTrashPerCode) {
  struct Case {
    std::string guess;
    double margin;
  };
  const Case cases[] = {{"specification", 0}, {"valley", 0}, {"valley", 0.1}, {"specification", 0.05}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.guess + " " + std::to_string(c.margin));
    RunOptions o;
    o.guess = c.guess;
    o.margin = c.margin;
    o.outDir = dir.File("out_" + c.guess + std::to_string(c.margin));
    ASSERT_EQ(Run(o, true), 0) << err.str();
    const auto j = nlohmann::json::parse(out.str());
    EXPECT_EQ(j["guess"], c.guess);
    EXPECT_EQ(j["margin"].get<double>(), c.margin);
    // The trash explained: its events per code that is no well, ascending.
    const auto& perCode = j["trash_per_code"];
    ASSERT_EQ(perCode.size(), 32u);
    std::int64_t trash = 0;
    for (std::size_t k = 0; k < perCode.size(); ++k) {
      const int code = perCode[k]["code"];
      EXPECT_EQ(code, NoWellCodes()[k]);
      std::string bits;
      for (int bit = 7; bit >= 1; --bit) bits += (code >> (bit - 1)) & 1 ? '1' : '0';
      EXPECT_EQ(perCode[k]["bits"], bits);
      trash += perCode[k]["events"].get<std::int64_t>();
    }
    EXPECT_EQ(trash, j["trash"].get<std::int64_t>());
    const std::int64_t ambiguous = j["ambiguous"];
    EXPECT_EQ(ambiguous > 0, c.margin > 0);
    std::int64_t total = trash + ambiguous;
    for (const auto& [well, n] : j["wells"].items()) total += n.get<std::int64_t>();
    EXPECT_EQ(total, 5000);
    EXPECT_EQ(fs::exists(*o.outDir + "/trash/ambiguous.fcs"), ambiguous > 0);
  }
  // The table says the same.
  RunOptions o;
  o.margin = 0.1;
  o.guess = "valley";
  o.dryRun = true;
  ASSERT_EQ(Run(o, false), 0) << err.str();
  const std::string table = out.str();
  EXPECT_NE(table.find("\ntrash per code (bits 7..1):\n  0000000 "), std::string::npos) << table;
  EXPECT_NE(table.find("\nambiguous: "), std::string::npos);
  EXPECT_EQ(table.find("\nambiguous: 0\n"), std::string::npos);
}

TEST(YieldTable, TrashPerCodeAndAmbiguous) {
  BuildPlateTables();
  std::array<std::int64_t, 128> perCode{};
  for (int code = 0; code < 128; ++code) perCode[static_cast<std::size_t>(code)] = code;
  std::array<std::int64_t, 128> aside{};
  aside[5] = 10;
  aside[100] = 7;
  const std::string table = FormatYieldTable(CountsFromPerCode(perCode, aside));
  // Four codes to a line: the first line holds the first four of the 32.
  const auto at = NoWellCodes();
  std::string first = "trash per code (bits 7..1):\n";
  for (int k = 0; k < 4; ++k) {
    char entry[32];
    std::string bits;
    for (int bit = 7; bit >= 1; --bit) bits += (at[static_cast<std::size_t>(k)] >> (bit - 1)) & 1 ? '1' : '0';
    std::snprintf(entry, sizeof entry, "  %s %10d", bits.c_str(), at[static_cast<std::size_t>(k)]);
    first += entry;
  }
  EXPECT_NE(table.find(first + "\n"), std::string::npos) << table;
  EXPECT_NE(table.find("\nambiguous: 17\ntotal: 8145\n"), std::string::npos) << table;
  std::int64_t trash = 0;
  for (const auto code : at) trash += code;
  EXPECT_NE(table.find("\ntrash: " + std::to_string(trash) + "\n"), std::string::npos);
  // Assigned to wells: neither trash nor ambiguous.
  char share[64];
  std::snprintf(share, sizeof share, "assigned to wells: %.2f %%\n", 100.0 * (8128 - trash) / 8145.0);
  EXPECT_NE(table.find(share), std::string::npos) << table;
}

// A file cut short: the notice names both numbers on standard error, and
// the complete events are debarcoded and exported.
TEST_F(RunCommand, FileCutShortIsSaidAndItsCompleteEventsExported) {
  std::string bytes;
  {
    std::ifstream f(input, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  const std::string half = dir.File("half.fcs");
  {
    std::ofstream f(half, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size() - 40 * 2500 - 7));
  }
  const TFCStream read(half, false, true, [](const std::string&) {});
  const int events = read.dataset[0]->GetEventCount();
  ASSERT_GT(events, 0);
  ASSERT_LT(events, 5000);
  input = half;
  ASSERT_EQ(Run(RunOptions{}, true), 0) << err.str();
  EXPECT_EQ(err.str().rfind("File " + half + " is cut short: $TOT announces 5000 events, the file holds " +
                                std::to_string(events) + " complete events, which are read\nDone\n",
                            0),
            0u)
      << err.str();
  EXPECT_EQ(nlohmann::json::parse(out.str())["events"], events);
  const TFCStream trash(dir.File("half/trash/trash.fcs"), false, false, [](const std::string&) {});
  EXPECT_EQ(trash.dataset[0]->Text->GetValue("DEBARCODE_SOURCE"), "half.fcs");
  EXPECT_EQ(trash.dataset[0]->Text->GetValue("DEBARCODE_WELL"), "trash");
}

TEST_F(RunCommand, ErrorsExitOne) {
  struct Case {
    std::vector<std::string> channels, thresholds;
    std::string message;
    std::string guess = "specification";
    double margin = 0;
  };
  const Case cases[] = {
      {{"1=nope"}, {}, "No parameter named 'nope' for bit 1\n"},
      {{"8=Time"}, {}, "Invalid --channel '8=Time': expected BIT=NAME with BIT 1..7\n"},
      {{}, {"2=abc"}, "Invalid --threshold '2=abc': 'abc' is not a number\n"},
      // Bit 1 takes BC1 from bit 7, which is left without a parameter.
      {{"1=BC1-Pd102Di"}, {}, "Bit 7 is not defined\n"},
      {{}, {}, "Unknown --guess 'fit': expected specification or valley\n", "fit"},
      {{}, {}, "The margin must be a number of decades, 0 or more\n", "valley", -0.1},
  };
  for (const auto& c : cases) {
    RunOptions o;
    o.channels = c.channels;
    o.thresholds = c.thresholds;
    o.guess = c.guess;
    o.margin = c.margin;
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

// The command lines as typed, through the registered subcommands.
int Parse(std::vector<std::string> args) {
  CLI::App app;
  app.require_subcommand(1);
  int status = -1;
  RegisterRun(app, status);
  RegisterSynth(app, status);
  std::reverse(args.begin(), args.end());
  app.parse(args);
  return status;
}

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(CommandLine, SynthSeparationAndRunOptions) {
  test::TempDir dir;
  // Without --separation the file of the seed as ever (the options'
  // default); with it, another. Same file names: $FIL holds the name.
  SyntheticPlateOptions o;
  o.events = 2000;
  o.params = 9;
  o.seed = 4;
  std::ostringstream sout, serr;
  for (const char* sub : {"lib", "a", "b"}) fs::create_directory(dir.File(sub));
  ASSERT_EQ(RunSynth(dir.File("lib/p.fcs"), o, sout, serr), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"synth", dir.File("a/p.fcs"), "--events", "2000", "--params", "9", "--seed", "4"}), 0);
  EXPECT_EQ(Parse({"synth", dir.File("b/p.fcs"), "--events", "2000", "--params", "9", "--seed", "4",
                   "--separation", "0.8"}),
            0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(Slurp(dir.File("a/p.fcs")) == Slurp(dir.File("lib/p.fcs")));
  EXPECT_FALSE(Slurp(dir.File("b/p.fcs")) == Slurp(dir.File("lib/p.fcs")));
  EXPECT_EQ(Slurp(dir.File("b/p.fcs")).size(), Slurp(dir.File("lib/p.fcs")).size());

  testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"run", dir.File("b/p.fcs"), "--guess", "valley", "--margin", "0.05", "--dry-run", "--json"}), 0);
  const auto j = nlohmann::json::parse(testing::internal::GetCapturedStdout());
  EXPECT_EQ(j["guess"], "valley");
  EXPECT_EQ(j["margin"], 0.05);
  EXPECT_THROW(Parse({"run", dir.File("b/p.fcs"), "--guess", "fit"}), CLI::ValidationError);
}

}  // namespace
}  // namespace dbc::cli
