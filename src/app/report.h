#pragma once
// The quality-control report: `report.html` in the output folder, one
// self-contained page (inline SVG and CSS, no scripts, nothing fetched)
// that prints on two A4 pages. Page one: the input, the run, the plate as
// a heat map of the well counts, the trash by cause and the table of the
// wells; page two: the seven barcode channels, each a histogram on the log
// scale with a decade ruler, the guessed and the used threshold and the
// share of events at or above it.
//
// Everything but the histograms comes from the run record; the histograms
// need the input's loaded columns (an export has them; `debarcode report`
// loads the input again when it is still where the record says).
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/run_record.h"

namespace dbc {

constexpr const char* kReportName = "report.html";

// One channel's histogram as the report draws it.
struct ReportHistogram {
  std::vector<double> x, y;  // points on the log scale, heights
};

struct ReportData {
  RunRecord record;
  std::array<std::optional<ReportHistogram>, 7> histograms;  // bits 1..7
  // Why the histograms are missing (shown in their place), when they are.
  std::string histogramNote;
};

std::string ReportHtml(const ReportData& data);
// Writes DIR/report.html atomically.
void WriteReport(const std::string& dir, const ReportData& data);

// The report of an output folder, from its run record. The histograms come
// from the input, opened and loaded again with the recorded bits and
// thresholds, when it is still where the record says and has the recorded
// SHA-256; otherwise the note says why they are missing. Throws when the
// record cannot be read.
ReportData ReportFromFolder(const std::string& dir);

// 1234567 -> "1,234,567": how the report writes counts.
std::string GroupedCount(std::int64_t n);

}  // namespace dbc
