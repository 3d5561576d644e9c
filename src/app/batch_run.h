#pragma once
// Debarcoding without a window: drives the workspace exactly as the window
// would (Open with the channels proposed from the names, channel overrides
// as a parameter pick, Load, threshold overrides as a cursor move, Export
// unless a dry run) and reports the plate's yield.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dbc {

struct BatchRunOptions {
  std::string input;
  std::optional<std::string> outDir;  // replaces the input path without extension
  bool includeBarcode = false;
  // "BIT=NAME" and "BIT=VALUE" as given on the command line.
  std::vector<std::string> channels;
  std::vector<std::string> thresholds;
  bool dryRun = false;
};

struct BatchBit {
  int bit = 0;
  std::string parameter;
  int index = -1;
  double threshold = 0;
};

struct BatchRunResult {
  bool ok = false;  // false: an error or a refusal was reported
  std::string input;
  std::int64_t events = 0;
  std::array<BatchBit, 7> bits{};
  std::int64_t wells[8][12] = {};
  std::int64_t trash = 0;
  std::string outputDir;
  bool exported = false;
};

// Messages of the workspace (and of option errors) go to `message`.
BatchRunResult RunBatch(const BatchRunOptions& options,
                        const std::function<void(const std::string&)>& message);

// Shortest decimal text that reads back as the same double; "null" for
// an infinity or NaN (as JSON has no such numbers).
std::string RoundTripText(double v);

// Rows A..H by columns 1..12 of event counts, then the trash count, the
// total and the share assigned to wells.
std::string FormatYieldTable(const BatchRunResult& r);
// {"input": ..., "events": N, "bits": [...], "wells": {"A01": n, ...},
//  "trash": n, "output_dir": ..., "exported": bool}
std::string FormatJson(const BatchRunResult& r);

}  // namespace dbc
