// debarcode verify DIR: an output folder checked against its run record.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/verify_folder.h"
#include "cli/commands.h"

namespace dbc::cli {

int RunVerify(const std::string& dir, std::ostream& out, std::ostream& err) {
  try {
    const FolderCheck check = VerifyOutputFolder(dir);
    for (const std::string& d : check.differences) out << d << '\n';
    for (const std::string& n : check.notes) out << "note: " << n << '\n';
    if (!check.differences.empty()) {
      out << check.differences.size() << (check.differences.size() == 1 ? " difference\n" : " differences\n");
      return 1;
    }
    out << "OK: " << check.outputs << " outputs holding " << check.events << " events, as the record says\n";
    return 0;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return 1;
  }
}

void RegisterVerify(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "verify", "Check an output folder against its run record: every output's size, SHA-256 and "
                "events, the counts, no output missing or extra");
  auto dir = std::make_shared<std::string>();
  cmd->add_option("DIR", *dir, "The output folder")->required();
  cmd->callback([dir, &status] { status = RunVerify(*dir, std::cout, std::cerr); });
}

}  // namespace dbc::cli
