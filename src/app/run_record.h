#pragma once
// The run record: `debarcode-run.json`, written into the output folder as
// the last step of every export. It says what was split (the input's path,
// size, SHA-256 and event counts), how (the seven bits' parameters and
// thresholds, the guess and margin, "Include barcode"), what came of it
// (well and trash counts) and exactly which files the folder holds (name,
// events, bytes, SHA-256 of each output). `debarcode verify` checks a folder
// against it; `debarcode run --settings` applies its bits and thresholds to
// another file.
//
// Thresholds are JSON numbers written so that they read back to the same
// double; a threshold that is not finite is written as the string
// "Infinity", "-Infinity" or "NaN".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dbc {

constexpr const char* kRunRecordName = "debarcode-run.json";
// The value of the record's "format" member.
constexpr const char* kRunRecordFormat = "debarcode-run/1";

// The version of this program.
const char* ProgramVersion() noexcept;

struct RecordedInput {
  std::string path;  // absolute
  std::uint64_t bytes = 0;
  std::string sha256;
  std::int64_t eventsAnnounced = 0;  // by the TEXT
  std::int64_t eventsRead = 0;
};

struct RecordedBit {
  std::string parameter;  // the name as the parameter list shows it
  int index = -1;         // 0-based
  double guessed = 0;
  double threshold = 0;
  std::int64_t above = -1;  // events at or above the threshold; -1 unknown
};

struct RecordedOutput {
  std::string name;  // relative to the output folder: "Well_A01.fcs", "trash/trash.fcs"
  std::int64_t events = 0;
  std::uint64_t bytes = 0;
  std::string sha256;
};

// A trash code (one of the 32 codes that are no well) and its events.
struct RecordedTrashCode {
  int code = 0;
  std::int64_t events = 0;
};

struct RunRecord {
  std::string program = "debarcode";
  std::string version;
  std::string date;  // UTC, ISO 8601: "2024-05-01T12:00:00Z"
  RecordedInput input;
  std::array<RecordedBit, 7> bits;  // bits 1..7
  std::string guess = "specification";
  double margin = 0;  // decades of the log scale
  bool includeBarcode = false;
  std::int64_t wells[8][12] = {};
  std::int64_t trash = 0;      // the events of trash/trash.fcs: codes that are no well
  std::int64_t ambiguous = 0;  // the events set aside as too close to a threshold
  std::vector<RecordedTrashCode> trashByCode;  // the 32 codes that are no well
  std::vector<RecordedOutput> outputs;
};

// The record as JSON text (indented, one member a line).
std::string RunRecordJson(const RunRecord& record);
// Reads a record. Throws Exception "Not a run record: REASON" when the text
// is no JSON or lacks a member or has one of the wrong kind.
RunRecord ParseRunRecord(const std::string& text);
// Reads a record file; throws Exception naming the file.
RunRecord ReadRunRecordFile(const std::string& filename);
// Reads DIR/debarcode-run.json.
RunRecord ReadRunRecord(const std::string& dir);
// Writes DIR/debarcode-run.json atomically: a temporary file renamed over
// the record when complete.
void WriteRunRecord(const std::string& dir, const RunRecord& record);

// The current time as the record writes it.
std::string UtcTimestamp();

// An output's record entry: its size and digest read from DIR/name.
RecordedOutput DescribeOutput(const std::string& dir, const std::string& name, std::int64_t events);

// What an export's message says after "Done": where the files went and how
// many events went to wells, to the trash and (when any) to the ambiguous
// file.
std::string DoneMessage(const std::string& dir, const RunRecord& record);

}  // namespace dbc
