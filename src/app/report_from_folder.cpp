// `debarcode report DIR`: the report rebuilt from a run record and, for the
// histograms, the input it names.
#include <filesystem>

#include "app/debarcoder.h"
#include "app/report.h"
#include "app/sha256.h"

namespace dbc {

ReportData ReportFromFolder(const std::string& dir) {
  const RunRecord record = ReadRunRecord(dir);
  const std::string& path = record.input.path;
  auto withoutHistograms = [&record](const std::string& why) {
    ReportData d;
    d.record = record;
    d.histogramNote = why + ": the histograms cannot be drawn.";
    return d;
  };
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return withoutHistograms("The input is no longer at " + path);
  try {
    if (DigestFile(path).sha256 != record.input.sha256)
      return withoutHistograms("The file at " + path + " is no longer the input of this run (another SHA-256)");
    Debarcoder engine;
    engine.Open(path);
    for (int bit = 1; bit <= Debarcoder::kBits; ++bit)
      engine.AssignBit(bit, record.bits[static_cast<std::size_t>(bit - 1)].index);
    engine.Load();
    for (int bit = 1; bit <= Debarcoder::kBits; ++bit)
      engine.SetThreshold(bit, record.bits[static_cast<std::size_t>(bit - 1)].threshold);
    return engine.Report(record);
  } catch (const std::exception& e) {
    return withoutHistograms("The input at " + path + " cannot be loaded again (" + e.what() + ")");
  }
}

}  // namespace dbc
