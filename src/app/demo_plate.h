#pragma once
// The demo plate: the synthetic barcoded plate a newcomer tries the tool on
// without a file of their own (the window's "Demo plate" button, `debarcode
// demo`, `scripts/run demo`). It is always the same file: the generator of
// `debarcode synth` with 200,000 events and a fixed seed.
//
// It lives in a folder of the tool's own, so that it never mixes with real
// work, and its outputs go next to it (FOLDER/demo-plate/Well_A01.fcs ...):
//   $DEBARCODE_DEMO_DIR                when set (tests, scripts)
//   $XDG_DATA_HOME/debarcode/demo      else, when XDG_DATA_HOME is set
//   $HOME/.local/share/debarcode/demo  else, when HOME is set
//   TEMP/debarcode-demo                else (the system's temporary folder)
#include <functional>
#include <string>

#include "app/synthetic_plate.h"

namespace dbc {

constexpr const char* kDemoPlateFileName = "demo-plate.fcs";

SyntheticPlateOptions DemoPlateOptions();

// The folder as above. `getenv` stands for the environment (tests).
std::string DemoPlateFolder();
std::string DemoPlateFolder(const std::function<const char*(const char*)>& getenv);

// Writes the demo plate into `folder` (made with its parents when missing)
// and returns its path. A demo plate already there is written again: the
// same bytes, so a folder of earlier outputs stays this input's.
std::string WriteDemoPlate(const std::string& folder);

}  // namespace dbc
