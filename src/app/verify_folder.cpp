#include "app/verify_folder.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/output_folder.h"
#include "app/plate.h"
#include "app/run_record.h"
#include "app/sha256.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/text.h"

namespace dbc {

namespace {

std::string N(std::int64_t n) { return std::to_string(n); }

// The events of an FCS file as the reader reads them, and those its TEXT
// announces; nothing (and a difference) when it cannot be read.
struct Events {
  std::int64_t read = 0;
  std::int64_t announced = 0;
};
std::optional<Events> ReadEvents(const std::string& path, const std::string& name,
                                 std::vector<std::string>& differences) {
  try {
    std::vector<std::string> notices;
    TFCStream s(path, false, true, [&notices](const std::string& t) { notices.push_back(t); });
    if (s.badfile || s.dataset.empty()) {
      differences.push_back(name + ": not an FCS file");
      return std::nullopt;
    }
    const TDataSet& ds = *s.dataset[0];
    return Events{ds.GetEventCount(), ds.Text->announced};
  } catch (const std::exception& e) {
    differences.push_back(name + ": cannot be read (" + e.what() + ")");
    return std::nullopt;
  }
}

}  // namespace

FolderCheck VerifyOutputFolder(const std::string& dir) {
  FolderCheck check;
  auto& diff = check.differences;
  RunRecord record;
  try {
    record = ReadRunRecord(dir);
  } catch (const std::exception& e) {
    diff.push_back(e.what());
    return check;
  }
  check.outputs = record.outputs.size();

  // Each output: present, its bytes, digest and events.
  std::vector<std::string> named;
  std::int64_t trashFileEvents = 0, ambiguousFileEvents = 0;
  for (const RecordedOutput& o : record.outputs) {
    named.push_back(o.name);
    const std::string path = dir + "/" + o.name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      diff.push_back(o.name + ": missing");
      continue;
    }
    try {
      const FileDigest d = DigestFile(path);
      if (d.bytes != o.bytes)
        diff.push_back(o.name + ": " + std::to_string(d.bytes) + " bytes, the record says " + std::to_string(o.bytes));
      if (d.sha256 != o.sha256) diff.push_back(o.name + ": SHA-256 " + d.sha256 + ", the record says " + o.sha256);
    } catch (const std::exception& e) {
      diff.push_back(o.name + ": " + e.what());
    }
    const std::optional<Events> ev = ReadEvents(path, o.name, diff);
    if (!ev) continue;
    if (ev->read != o.events) diff.push_back(o.name + ": " + N(ev->read) + " events, the record says " + N(o.events));
    if (ev->announced != ev->read)
      diff.push_back(o.name + ": its TEXT announces " + N(ev->announced) + " events, the file holds " + N(ev->read));
    check.events += ev->read;
    if (o.name == "trash/trash.fcs") trashFileEvents = ev->read;
    if (o.name == "trash/ambiguous.fcs") ambiguousFileEvents = ev->read;
  }

  // No output that the record does not name.
  for (const std::string& name : ToolOutputsIn(dir))
    if (std::find(named.begin(), named.end(), name) == named.end())
      diff.push_back(name + ": not in the record");

  // The record's counts against its outputs and the input.
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col) {
      const std::string name = "Well_" + WellName(row, col) + ".fcs";
      const auto it = std::find_if(record.outputs.begin(), record.outputs.end(),
                                   [&name](const RecordedOutput& o) { return o.name == name; });
      const std::int64_t inFile = it == record.outputs.end() ? 0 : it->events;
      if (record.wells[row][col] != inFile)
        diff.push_back("well " + WellName(row, col) + ": " + N(record.wells[row][col]) + " events counted, " +
                       N(inFile) + " in its file");
    }
  if (record.trash != trashFileEvents)
    diff.push_back("trash: " + N(record.trash) + " events counted, " + N(trashFileEvents) + " in trash/trash.fcs");
  if (record.ambiguous != ambiguousFileEvents)
    diff.push_back("ambiguous: " + N(record.ambiguous) + " events counted, " + N(ambiguousFileEvents) +
                   " in trash/ambiguous.fcs");
  std::int64_t byCode = 0;
  for (const RecordedTrashCode& t : record.trashByCode) byCode += t.events;
  if (byCode != record.trash)
    diff.push_back("trash: " + N(record.trash) + " events, " + N(byCode) + " counted per code");
  if (check.events != record.input.eventsRead)
    diff.push_back("the outputs hold " + N(check.events) + " events, the input " + N(record.input.eventsRead));

  // The input, when it is still there.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(record.input.path, ec)) {
    check.notes.push_back("the input is no longer at " + record.input.path + ": not checked");
  } else {
    try {
      const FileDigest d = DigestFile(record.input.path);
      if (d.bytes != record.input.bytes || d.sha256 != record.input.sha256)
        diff.push_back("input " + record.input.path + ": SHA-256 " + d.sha256 + " (" + std::to_string(d.bytes) +
                       " bytes), the record says " + record.input.sha256 + " (" +
                       std::to_string(record.input.bytes) + " bytes)");
    } catch (const std::exception& e) {
      diff.push_back(std::string("input: ") + e.what());
    }
  }
  return check;
}

}  // namespace dbc
