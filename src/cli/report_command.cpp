// debarcode report DIR: report.html rebuilt from an output folder's run record.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/report.h"
#include "cli/commands.h"

namespace dbc::cli {

int RunReport(const std::string& dir, std::ostream& out, std::ostream& err) {
  try {
    const ReportData data = ReportFromFolder(dir);
    WriteReport(dir, data);
    if (!data.histogramNote.empty()) err << data.histogramNote << '\n';
    out << "Wrote " << dir << "/" << kReportName << '\n';
    return 0;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return 1;
  }
}

void RegisterReport(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "report", "Rebuild report.html in an output folder from its run record (the histograms from the "
                "input, when it is still where the record says)");
  auto dir = std::make_shared<std::string>();
  cmd->add_option("DIR", *dir, "The output folder")->required();
  cmd->callback([dir, &status] { status = RunReport(*dir, std::cout, std::cerr); });
}

}  // namespace dbc::cli
