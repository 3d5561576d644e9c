// debarcode run FILE: open, propose the channels from their names, apply
// the channel overrides, Load with the chosen guess, apply the threshold
// overrides and the margin, report the plate's yield and export (unless a
// dry run) -- the window's workflow through the engine.
#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/debarcoder.h"
#include "app/plate.h"
#include "app/run_record.h"
#include "cli/commands.h"
#include "cli/info_json.h"
#include "fcs/dataset.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc::cli {

namespace {

// "BIT=REST" with BIT 1..7.
std::pair<int, std::string> SplitBitAssignment(const std::string& text, const std::string& what,
                                               const char* rest) {
  const auto eq = text.find('=');
  int bit = 0;
  if (eq != std::string::npos) {
    const char* first = text.data();
    const auto [end, ec] = std::from_chars(first, first + eq, bit);
    if (ec != std::errc() || end != first + eq) bit = 0;
  }
  if (bit < 1 || bit > 7 || eq + 1 >= text.size())
    throw Exception("Invalid " + what + " '" + text + "': expected BIT=" + rest + " with BIT 1..7");
  return {bit, text.substr(eq + 1)};
}

// A code as its seven bits, bit 7 first.
std::string CodeBits(int code) {
  std::string bits;
  for (int bit = 7; bit >= 1; --bit) bits += ((code >> (bit - 1)) & 1) ? '1' : '0';
  return bits;
}

nlohmann::json ReportJson(const Debarcoder& engine, const std::string& input, const std::string& outDir,
                          bool exported) {
  nlohmann::json j;
  j["input"] = BytesToUtf8(input);
  j["events"] = engine.Events();
  j["bits"] = nlohmann::json::array();
  for (int bit = 1; bit <= Debarcoder::kBits; ++bit) {
    const int p = engine.BitParameter(bit);
    const double t = engine.Threshold(bit);
    // JSON has no infinities or NaN; nlohmann writes doubles so that they
    // read back exactly.
    j["bits"].push_back({{"bit", bit},
                         {"parameter", BytesToUtf8(engine.DataSet()->ParName(p))},
                         {"index", p},
                         {"threshold", std::isfinite(t) ? nlohmann::json(t) : nlohmann::json()}});
  }
  const PlateCounts& c = engine.Counts();
  nlohmann::json wells = nlohmann::json::object();
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col) wells[WellName(row, col)] = c.wells[row][col];
  j["wells"] = std::move(wells);
  j["trash"] = c.trash;
  j["trash_per_code"] = nlohmann::json::array();
  for (const std::uint8_t code : NoWellCodes())
    j["trash_per_code"].push_back({{"code", code}, {"bits", CodeBits(code)}, {"events", c.perCode[code]}});
  j["ambiguous"] = c.ambiguous;
  j["guess"] = GuessName(engine.Guess());
  j["margin"] = engine.Margin();
  j["output_dir"] = BytesToUtf8(outDir);
  j["exported"] = exported;
  return j;
}

// Bits and thresholds of a run record, applied to the opened file: each
// bit gets the parameter of the recorded name.
struct Settings {
  std::string source;
  RunRecord record;
};

Settings ReadSettings(const std::string& path) {
  std::error_code ec;
  const bool folder = std::filesystem::is_directory(path, ec);
  return {path, folder ? ReadRunRecord(path) : ReadRunRecordFile(path)};
}

void ApplyBits(Debarcoder& engine, const Settings& s) {
  for (int bit = 1; bit <= Debarcoder::kBits; ++bit) {
    const std::string& name = s.record.bits[static_cast<std::size_t>(bit - 1)].parameter;
    int index = engine.FindParameter(name);
    // A name that is no UTF-8 was written byte for byte as Latin-1.
    if (index < 0)
      if (const auto bytes = Utf8ToLatin1(name); bytes && *bytes != name) index = engine.FindParameter(*bytes);
    if (index < 0)
      throw Exception("The file has no parameter named '" + name + "' (bit " + std::to_string(bit) + " in " +
                      s.source + ")");
    engine.AssignBit(bit, index);
  }
}

void ApplyThresholds(Debarcoder& engine, const Settings& s) {
  for (int bit = 1; bit <= Debarcoder::kBits; ++bit)
    engine.SetThreshold(bit, s.record.bits[static_cast<std::size_t>(bit - 1)].threshold);
}

}  // namespace

// Rows A..H by columns 1..12 of event counts, then the trash count and the
// trash per code, the ambiguous count, the total and the share assigned to
// wells.
std::string FormatYieldTable(const PlateCounts& c) {
  std::string out = "   ";
  char buf[64];
  for (int col = 1; col <= kPlateColumns; ++col) {
    std::snprintf(buf, sizeof buf, "%8d", col);
    out += buf;
  }
  out += '\n';
  for (int row = 0; row < kPlateRows; ++row) {
    out += WellRowLetter(row);
    out += "  ";
    for (int col = 0; col < kPlateColumns; ++col) {
      std::snprintf(buf, sizeof buf, "%8lld", static_cast<long long>(c.wells[row][col]));
      out += buf;
    }
    out += '\n';
  }
  std::snprintf(buf, sizeof buf, "trash: %lld\n", static_cast<long long>(c.trash));
  out += buf;
  out += "trash per code (bits 7..1):\n";
  int column = 0;
  for (const std::uint8_t code : NoWellCodes()) {
    std::snprintf(buf, sizeof buf, "  %s %10lld", CodeBits(code).c_str(), static_cast<long long>(c.perCode[code]));
    out += buf;
    if (++column % 4 == 0) out += '\n';
  }
  std::snprintf(buf, sizeof buf, "ambiguous: %lld\n", static_cast<long long>(c.ambiguous));
  out += buf;
  std::snprintf(buf, sizeof buf, "total: %lld\n", static_cast<long long>(c.total));
  out += buf;
  std::snprintf(buf, sizeof buf, "assigned to wells: %.2f %%\n",
                c.total > 0 ? 100.0 * static_cast<double>(c.InWells()) / static_cast<double>(c.total) : 0.0);
  out += buf;
  return out;
}

int RunRun(const RunOptions& options, std::ostream& out, std::ostream& err) {
  try {
    std::vector<std::pair<int, std::string>> channels;
    std::vector<std::pair<int, double>> thresholds;
    for (const auto& c : options.channels) channels.push_back(SplitBitAssignment(c, "--channel", "NAME"));
    for (const auto& t : options.thresholds) {
      auto [bit, text] = SplitBitAssignment(t, "--threshold", "VALUE");
      double v = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || end != text.data() + text.size())
        throw Exception("Invalid --threshold '" + t + "': '" + text + "' is not a number");
      thresholds.emplace_back(bit, v);
    }

    const std::optional<ThresholdGuess> guess = GuessNamed(options.guess);
    if (!guess) {
      std::string names;
      for (const std::string& n : GuessNames()) names += (names.empty() ? "" : " or ") + n;
      throw Exception("Unknown --guess '" + options.guess + "': expected " + names);
    }
    std::optional<Settings> settings;
    if (options.settings) settings = ReadSettings(*options.settings);

    Debarcoder engine([&err](const std::string& m) { err << m << '\n'; });
    engine.SetGuess(*guess);
    engine.SetMargin(options.margin);
    engine.Open(options.input);
    const std::string outDir = options.outDir ? *options.outDir : engine.DefaultOutputDir();
    engine.ProposeBits();
    if (settings) ApplyBits(engine, *settings);
    for (const auto& [bit, name] : channels) {
      const int index = engine.FindParameter(name);
      if (index < 0) throw Exception("No parameter named '" + name + "' for bit " + std::to_string(bit));
      engine.AssignBit(bit, index);
    }
    engine.Load();
    if (settings) ApplyThresholds(engine, *settings);
    for (const auto& [bit, value] : thresholds) engine.SetThreshold(bit, value);

    bool exported = false;
    if (!options.dryRun) {
      if (!options.force)
        if (const std::optional<std::string> foreign = engine.ForeignOutputs(outDir))
          throw Exception(*foreign + " Add --force to replace them, or choose another folder with --out.");
      engine.Export(outDir, options.includeBarcode);
      exported = true;
      err << DoneMessage(outDir, engine.LastRecord()) << '\n';
    }
    if (options.json)
      out << ReportJson(engine, options.input, outDir, exported).dump() << '\n';
    else
      out << FormatYieldTable(engine.Counts());
    return 0;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return 1;
  }
}

void RegisterRun(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "run", "Debarcode FILE as the window would: propose the channels, load, guess the "
             "thresholds and export one FCS file per well");
  auto o = std::make_shared<RunOptions>();
  auto out = std::make_shared<std::string>();
  cmd->add_option("FILE", o->input, "The pooled FCS file")->required();
  cmd->add_option("--out", *out, "Output folder (default: FILE without its extension)");
  cmd->add_flag("--include-barcode", o->includeBarcode, "Keep the barcode channels in the well files");
  cmd->add_option("--settings", o->settings,
                  "RECORD: a run record (or its folder) whose bits, by parameter name, and thresholds "
                  "are applied");
  cmd->add_option("--channel", o->channels, "BIT=NAME: parameter NAME carries bit 1..7")->take_all();
  cmd->add_option("--threshold", o->thresholds, "BIT=VALUE: threshold of bit 1..7 on the log scale")
      ->take_all();
  cmd->add_flag("--force", o->force, "Replace the outputs of another input in the output folder");
  cmd->add_option("--guess", o->guess,
                  "How Load guesses the thresholds: specification (the valley, then 2.5 % into the "
                  "population above it) or valley (the valley point)")
      ->check(CLI::IsMember(GuessNames()))
      ->capture_default_str();
  cmd->add_option("--margin", o->margin,
                  "Decades of the log scale: an event this close to a threshold on any bit goes to "
                  "trash/ambiguous.fcs")
      ->capture_default_str();
  cmd->add_flag("--dry-run", o->dryRun, "Classify and report, write nothing");
  cmd->add_flag("--json", o->json, "Report as JSON");
  cmd->callback([o, out, &status] {
    if (!out->empty()) o->outDir = *out;
    status = RunRun(*o, std::cout, std::cerr);
  });
}

}  // namespace dbc::cli
