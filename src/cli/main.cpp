// debarcode: the debarcoding workflow without a window.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"debarcode: split a pooled, barcoded FCS file into one FCS file per well"};
  app.require_subcommand(1);
  int status = 0;
  dbc::cli::RegisterInfo(app, status);
  dbc::cli::RegisterRun(app, status);
  dbc::cli::RegisterSynth(app, status);
  dbc::cli::RegisterDemo(app, status);
  dbc::cli::RegisterVerify(app, status);
  dbc::cli::RegisterReport(app, status);
  CLI11_PARSE(app, argc, argv);
  return status;
}
