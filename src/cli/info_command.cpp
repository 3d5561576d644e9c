// debarcode info FILE
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"
#include "cli/info_json.h"
#include "fcs/fcs_stream.h"

namespace dbc::cli {

int RunInfo(const std::string& path, bool pretty, std::ostream& out, std::ostream& err) {
  try {
    std::vector<std::string> notices;
    const TFCStream stream(path, false, true, [&notices](const std::string& t) { notices.push_back(t); });
    out << FileJson(path, stream, notices).dump(pretty ? 2 : -1, ' ', true) << '\n';
    // The notices are in the description and, as every command shows them,
    // on standard error.
    for (const std::string& n : notices) err << n << '\n';
    return stream.badfile ? 1 : 0;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return 1;
  }
}

void RegisterInfo(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand("info", "Describe an FCS file as JSON: data sets, keywords, parameters, events");
  auto path = std::make_shared<std::string>();
  auto pretty = std::make_shared<bool>(false);
  cmd->add_option("FILE", *path, "FCS file")->required();
  cmd->add_flag("--pretty", *pretty, "Indent the JSON");
  cmd->callback([path, pretty, &status] { status = RunInfo(*path, *pretty, std::cout, std::cerr); });
}

}  // namespace dbc::cli
