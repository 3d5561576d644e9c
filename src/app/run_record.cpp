#include "app/run_record.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>

#include "app/plate.h"
#include "app/sha256.h"
#include "fcs/output_file.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

using json = nlohmann::ordered_json;

// JSON has no infinities or NaN: those are written as strings.
json Number(double v) {
  if (std::isfinite(v)) return v;
  if (std::isnan(v)) return "NaN";
  return v > 0 ? "Infinity" : "-Infinity";
}

[[noreturn]] void NotARecord(const std::string& why) { throw Exception("Not a run record: " + why); }

const json& Member(const json& obj, const char* key) {
  if (!obj.is_object()) NotARecord(std::string("an object was expected holding \"") + key + "\"");
  const auto it = obj.find(key);
  if (it == obj.end()) NotARecord(std::string("no \"") + key + "\"");
  return *it;
}

std::string Text(const json& obj, const char* key) {
  const json& v = Member(obj, key);
  if (!v.is_string()) NotARecord(std::string("\"") + key + "\" is not a string");
  return v.get<std::string>();
}

std::int64_t Integer(const json& obj, const char* key) {
  const json& v = Member(obj, key);
  if (!v.is_number_integer()) NotARecord(std::string("\"") + key + "\" is not an integer");
  return v.get<std::int64_t>();
}

std::uint64_t Count(const json& obj, const char* key) {
  const std::int64_t v = Integer(obj, key);
  if (v < 0) NotARecord(std::string("\"") + key + "\" is negative");
  return static_cast<std::uint64_t>(v);
}

double Real(const json& obj, const char* key) {
  const json& v = Member(obj, key);
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    if (s == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (s == "Infinity") return std::numeric_limits<double>::infinity();
    if (s == "-Infinity") return -std::numeric_limits<double>::infinity();
  }
  NotARecord(std::string("\"") + key + "\" is not a number");
}

bool Flag(const json& obj, const char* key) {
  const json& v = Member(obj, key);
  if (!v.is_boolean()) NotARecord(std::string("\"") + key + "\" is not true or false");
  return v.get<bool>();
}

const json& Array(const json& obj, const char* key) {
  const json& v = Member(obj, key);
  if (!v.is_array()) NotARecord(std::string("\"") + key + "\" is not a list");
  return v;
}

}  // namespace

const char* ProgramVersion() noexcept { return DEBARCODE_VERSION; }

std::string UtcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

std::string RunRecordJson(const RunRecord& r) {
  json j;
  j["format"] = kRunRecordFormat;
  j["program"] = r.program;
  j["version"] = r.version;
  j["date"] = r.date;
  j["input"] = {{"path", BytesToUtf8(r.input.path)},
                {"bytes", r.input.bytes},
                {"sha256", r.input.sha256},
                {"events_announced", r.input.eventsAnnounced},
                {"events_read", r.input.eventsRead}};
  json bits = json::array();
  for (std::size_t i = 0; i < r.bits.size(); ++i) {
    const RecordedBit& b = r.bits[i];
    json bit = {{"bit", i + 1},
                {"parameter", BytesToUtf8(b.parameter)},
                {"index", b.index},
                {"guessed", Number(b.guessed)},
                {"threshold", Number(b.threshold)}};
    if (b.above >= 0) bit["events_above"] = b.above;
    bits.push_back(std::move(bit));
  }
  j["bits"] = std::move(bits);
  j["guess"] = r.guess;
  j["margin"] = Number(r.margin);
  j["include_barcode"] = r.includeBarcode;
  json wells = json::object();
  std::int64_t inWells = 0;
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col) {
      wells[WellName(row, col)] = r.wells[row][col];
      inWells += r.wells[row][col];
    }
  json byCode = json::array();
  for (const RecordedTrashCode& t : r.trashByCode) byCode.push_back({{"code", t.code}, {"events", t.events}});
  j["counts"] = {{"wells", std::move(wells)},
                 {"in_wells", inWells},
                 {"trash", r.trash},
                 {"ambiguous", r.ambiguous},
                 {"trash_by_code", std::move(byCode)},
                 {"total", inWells + r.trash + r.ambiguous}};
  json outputs = json::array();
  for (const RecordedOutput& o : r.outputs)
    outputs.push_back({{"name", BytesToUtf8(o.name)}, {"events", o.events}, {"bytes", o.bytes}, {"sha256", o.sha256}});
  j["outputs"] = std::move(outputs);
  return j.dump(2) + "\n";
}

RunRecord ParseRunRecord(const std::string& text) {
  const json j = json::parse(text, nullptr, false);
  if (j.is_discarded()) NotARecord("the text is no JSON");
  if (Text(j, "format") != kRunRecordFormat) NotARecord("the format is not " + std::string(kRunRecordFormat));
  RunRecord r;
  r.program = Text(j, "program");
  r.version = Text(j, "version");
  r.date = Text(j, "date");
  const json& in = Member(j, "input");
  r.input.path = Text(in, "path");
  r.input.bytes = Count(in, "bytes");
  r.input.sha256 = Text(in, "sha256");
  r.input.eventsAnnounced = Integer(in, "events_announced");
  r.input.eventsRead = Integer(in, "events_read");
  const json& bits = Array(j, "bits");
  if (bits.size() != r.bits.size()) NotARecord("\"bits\" does not hold 7 bits");
  for (std::size_t i = 0; i < r.bits.size(); ++i) {
    const json& b = bits[i];
    if (Integer(b, "bit") != static_cast<std::int64_t>(i + 1)) NotARecord("the bits are not 1 to 7 in order");
    r.bits[i].parameter = Text(b, "parameter");
    r.bits[i].index = static_cast<int>(Integer(b, "index"));
    r.bits[i].guessed = Real(b, "guessed");
    r.bits[i].threshold = Real(b, "threshold");
    // Records of the first version do not count the events above.
    if (b.contains("events_above")) r.bits[i].above = static_cast<std::int64_t>(Count(b, "events_above"));
  }
  r.guess = Text(j, "guess");
  r.margin = Real(j, "margin");
  r.includeBarcode = Flag(j, "include_barcode");
  const json& counts = Member(j, "counts");
  const json& wells = Member(counts, "wells");
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col)
      r.wells[row][col] = static_cast<std::int64_t>(Count(wells, WellName(row, col).c_str()));
  r.trash = static_cast<std::int64_t>(Count(counts, "trash"));
  r.ambiguous = static_cast<std::int64_t>(Count(counts, "ambiguous"));
  for (const json& t : Array(counts, "trash_by_code"))
    r.trashByCode.push_back({static_cast<int>(Integer(t, "code")), static_cast<std::int64_t>(Count(t, "events"))});
  for (const json& o : Array(j, "outputs"))
    r.outputs.push_back({Text(o, "name"), static_cast<std::int64_t>(Count(o, "events")), Count(o, "bytes"),
                         Text(o, "sha256")});
  return r;
}

RunRecord ReadRunRecord(const std::string& dir) { return ReadRunRecordFile(dir + "/" + kRunRecordName); }

RunRecord ReadRunRecordFile(const std::string& name) {
  std::string text;
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) throw Exception("Cannot read file \"" + name + "\". " + std::strerror(errno));
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const int err = std::ferror(f) != 0 ? errno : 0;
  std::fclose(f);
  if (err != 0) throw Exception("Cannot read file \"" + name + "\". " + std::strerror(err));
  try {
    return ParseRunRecord(text);
  } catch (const Exception& e) {
    throw Exception(name + ": " + e.what());
  }
}

void WriteRunRecord(const std::string& dir, const RunRecord& record) {
  TOutputFile out(dir + "/" + kRunRecordName, 1 << 16);
  out.Write(RunRecordJson(record));
  out.Close();
}

RecordedOutput DescribeOutput(const std::string& dir, const std::string& name, std::int64_t events) {
  const FileDigest d = DigestFile(dir + "/" + name);
  return {name, events, d.bytes, d.sha256};
}

std::string DoneMessage(const std::string& dir, const RunRecord& record) {
  std::int64_t inWells = 0;
  int wells = 0;
  for (const auto& row : record.wells)
    for (std::int64_t n : row) {
      inWells += n;
      wells += n > 0;
    }
  return "Done\nThe files are in " + dir + "\n" + std::to_string(inWells) + " events went to " +
         std::to_string(wells) + (wells == 1 ? " well, " : " wells, ") + std::to_string(record.trash) +
         " to the trash" +
         (record.ambiguous > 0 ? ", " + std::to_string(record.ambiguous) + " set aside as ambiguous" : "");
}

}  // namespace dbc
