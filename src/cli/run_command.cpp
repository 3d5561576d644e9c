// debarcode run FILE
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/batch_run.h"
#include "cli/commands.h"

namespace dbc::cli {

int RunRun(const BatchRunOptions& options, bool json, std::ostream& out, std::ostream& err) {
  try {
    const BatchRunResult r = RunBatch(options, [&err](const std::string& m) { err << m << '\n'; });
    if (!r.ok) return 1;
    out << (json ? FormatJson(r) : FormatYieldTable(r));
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
  auto o = std::make_shared<BatchRunOptions>();
  auto json = std::make_shared<bool>(false);
  auto out = std::make_shared<std::string>();
  cmd->add_option("FILE", o->input, "The pooled FCS file")->required();
  cmd->add_option("--out", *out, "Output folder (default: FILE without its extension)");
  cmd->add_flag("--include-barcode", o->includeBarcode, "Keep the barcode channels in the well files");
  cmd->add_option("--channel", o->channels, "BIT=NAME: parameter NAME carries bit 1..7")
      ->take_all();
  cmd->add_option("--threshold", o->thresholds, "BIT=VALUE: threshold of bit 1..7 on the log scale")
      ->take_all();
  cmd->add_flag("--dry-run", o->dryRun, "Classify and report, write nothing");
  cmd->add_flag("--json", *json, "Report as JSON");
  cmd->callback([o, json, out, &status] {
    if (!out->empty()) o->outDir = *out;
    status = RunRun(*o, *json, std::cout, std::cerr);
  });
}

}  // namespace dbc::cli
