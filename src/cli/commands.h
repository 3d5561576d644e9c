#pragma once
// The subcommands of the debarcode program. Each one adds itself to the
// command line with Register<Name>(app, status); when it runs, it stores the
// program's exit status in `status` (0 success, 1 error). Errors print their
// message on standard error.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace dbc {
struct SyntheticPlateOptions;
struct PlateCounts;
}  // namespace dbc

namespace dbc::cli {

// debarcode info FILE: the file's data sets, keywords, parameters and a
// summary of its events as JSON on standard output.
void RegisterInfo(CLI::App& app, int& status);
// The work behind it: the JSON to out, errors to err; returns the exit status
// (1 also when the file is no FCS file; the JSON then says "badfile": true).
int RunInfo(const std::string& path, bool pretty, std::ostream& out, std::ostream& err);

// debarcode run FILE [--out DIR] [--include-barcode] [--settings RECORD]
// [--channel BIT=NAME]... [--threshold BIT=VALUE]... [--guess NAME]
// [--margin M] [--force] [--dry-run] [--json]: the debarcoding engine
// without a window; the plate's yield as a table (or JSON) on out, messages
// on err.
struct RunOptions {
  std::string input;
  std::optional<std::string> outDir;  // replaces the input path without extension
  bool includeBarcode = false;
  // "BIT=NAME" and "BIT=VALUE" as given on the command line.
  std::vector<std::string> channels;
  std::vector<std::string> thresholds;
  // A run record (or a folder holding one) whose bits, by parameter name,
  // and thresholds are applied before the options above.
  std::optional<std::string> settings;
  // Replace the outputs of another input in the output folder.
  bool force = false;
  std::string guess = "specification";  // a name of GuessNames()
  double margin = 0;                    // decades; see Debarcoder::SetMargin
  bool dryRun = false;
  bool json = false;
};
void RegisterRun(CLI::App& app, int& status);
int RunRun(const RunOptions& options, std::ostream& out, std::ostream& err);
// debarcode verify DIR: checks an output folder against its run record;
// what differs on out, status 1 when anything does.
void RegisterVerify(CLI::App& app, int& status);
int RunVerify(const std::string& dir, std::ostream& out, std::ostream& err);
// debarcode report DIR: report.html rebuilt from the folder's run record.
void RegisterReport(CLI::App& app, int& status);
int RunReport(const std::string& dir, std::ostream& out, std::ostream& err);
// The yield table that RunRun prints.
std::string FormatYieldTable(const PlateCounts& counts);
// debarcode synth OUT.fcs [--events N] [--params P] [--seed S] [--datatype F|I|D]
// [--separation D]:
// writes a synthetic barcoded plate.
void RegisterSynth(CLI::App& app, int& status);
int RunSynth(const std::string& path, const SyntheticPlateOptions& options, std::ostream& out,
             std::ostream& err);
// debarcode demo [--dir DIR]: writes the demo plate (app/demo_plate.h) into
// DIR, or the demo folder when DIR is empty, and prints its path alone.
void RegisterDemo(CLI::App& app, int& status);
int RunDemo(const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace dbc::cli
