#pragma once
// Checks an output folder against its run record: every output's size,
// SHA-256 and events recomputed, the counts of the record against the
// files, the outputs' events against the input's, no output missing and
// none extra (among the well and trash files), and the input when it is
// still where the record says.
#include <cstdint>
#include <string>
#include <vector>

namespace dbc {

struct FolderCheck {
  std::vector<std::string> differences;  // empty when all holds
  std::vector<std::string> notes;        // what could not be checked
  std::size_t outputs = 0;               // outputs in the record
  std::int64_t events = 0;               // events the outputs hold
};

FolderCheck VerifyOutputFolder(const std::string& dir);

}  // namespace dbc
