// debarcode synth OUT.fcs
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/synthetic_plate.h"
#include "cli/commands.h"

namespace dbc::cli {

int RunSynth(const std::string& path, const SyntheticPlateOptions& options, std::ostream& out,
             std::ostream& err) {
  try {
    const SyntheticPlateSummary s = WriteSyntheticPlate(path, options);
    out << "Wrote " << options.events << " events of " << options.params << " parameters to "
        << path << " (" << s.wellEvents << " in wells, " << s.noiseEvents << " noise, "
        << s.doubletEvents << " doublets)\n";
    return 0;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return 1;
  }
}

void RegisterSynth(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand("synth", "Write a synthetic barcoded 96-well plate as an FCS file");
  auto o = std::make_shared<SyntheticPlateOptions>();
  auto path = std::make_shared<std::string>();
  auto datatype = std::make_shared<std::string>("F");
  auto separation = std::make_shared<double>(DefaultSeparation());
  cmd->add_option("OUT", *path, "The FCS file to write")->required();
  cmd->add_option("--events", o->events, "Number of events")->capture_default_str();
  cmd->add_option("--params", o->params, "Number of parameters (at least 9)")->capture_default_str();
  cmd->add_option("--seed", o->seed, "Seed of the random numbers")->capture_default_str();
  cmd->add_option("--datatype", *datatype, "F (32-bit float), I (16-bit integer) or D (64-bit float)")
      ->check(CLI::IsMember({"F", "I", "D"}))
      ->capture_default_str();
  // Without the option each bit keeps its own distance (the same file as
  // ever for a seed); with it the distances are scaled to D on average.
  auto* sep = cmd->add_option("--separation", *separation,
                              "Decades between the off and the on populations (0 .. 6; by default "
                              "each bit its own, about 1.49 on average)");
  cmd->callback([o, path, datatype, separation, sep, &status] {
    o->datatype = (*datatype)[0];
    if (sep->count() > 0) o->separation = *separation;
    status = RunSynth(*path, *o, std::cout, std::cerr);
  });
}

}  // namespace dbc::cli
