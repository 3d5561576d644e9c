// debarcode demo [--dir DIR]
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/demo_plate.h"
#include "cli/commands.h"

namespace dbc::cli {

int RunDemo(const std::string& dir, std::ostream& out, std::ostream& err) {
  try {
    out << WriteDemoPlate(dir.empty() ? DemoPlateFolder() : dir) << '\n';
    return 0;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return 1;
  }
}

void RegisterDemo(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "demo", "Write the demo plate (200,000 synthetic barcoded events, always the same) into the demo "
              "folder and print its path");
  auto dir = std::make_shared<std::string>();
  cmd->add_option("--dir", *dir,
                  "Folder instead of $DEBARCODE_DEMO_DIR, $XDG_DATA_HOME/debarcode/demo or "
                  "~/.local/share/debarcode/demo");
  cmd->callback([dir, &status] { status = RunDemo(*dir, std::cout, std::cerr); });
}

}  // namespace dbc::cli
