#include "app/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/plate.h"
#include "fcs/output_file.h"

namespace dbc {

namespace {

// Text that may hold <, &, quotes (names, paths) as HTML.
std::string Esc(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  return out;
}

std::string Fixed(double v, int decimals) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "+&#8734;" : "&#8722;&#8734;";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// SVG coordinates: one decimal is plenty.
std::string C(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string Percent(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? Fixed(100.0 * static_cast<double>(part) / static_cast<double>(whole), 2) + " %" : "&#8211;";
}

std::string FileName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The heat map's ramp: light orange (few events) to dark brown (the most).
std::string Heat(double t) {
  t = std::clamp(t, 0.0, 1.0);
  const int lo[3] = {0xfd, 0xd4, 0x9e}, hi[3] = {0x7f, 0x27, 0x04};
  char buf[8];
  int c[3];
  for (int i = 0; i < 3; ++i) c[i] = static_cast<int>(std::lround(lo[i] + (hi[i] - lo[i]) * t));
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c[0], c[1], c[2]);
  return buf;
}

constexpr const char* kStyle = R"(
@page { size: A4; margin: 10mm; }
* { box-sizing: border-box; }
body { margin: 0; background: #fff; color: #222; font: 10.5px/1.3 "DejaVu Sans", Arial, Helvetica, sans-serif; }
.page { max-width: 760px; padding: 12px 20px; }
@media print { .page { padding: 0; } }
svg.plate, .channel svg { width: 100%; height: auto; }
.page + .page { break-before: page; page-break-before: always; }
h1 { font-size: 18px; margin: 0 0 6px; }
h2 { font-size: 13px; margin: 12px 0 4px; padding-bottom: 2px; border-bottom: 1px solid #bbb; }
table { border-collapse: collapse; }
td, th { padding: 0 6px; text-align: right; white-space: nowrap; }
th { font-weight: bold; color: #444; }
.facts td { text-align: left; }
.facts td:first-child { color: #555; padding-left: 0; }
.mono { font-family: "DejaVu Sans Mono", "Courier New", monospace; font-size: 10px; }
.cols { display: flex; gap: 6px; }
.cols table { font-size: 9px; }
.cols td, .cols th { padding: 0 3px; }
.cols tr:nth-child(even) td { background: #f3f3f3; }
.channels { display: grid; grid-template-columns: 1fr 1fr; gap: 10px 16px; }
.channel { break-inside: avoid; }
.channel h3 { font-size: 11px; margin: 0 0 2px; }
.channel p { margin: 2px 0 0; font-size: 10px; }
.note { color: #555; font-style: italic; }
svg text { font-family: "DejaVu Sans", Arial, Helvetica, sans-serif; }
)";

void Facts(std::string& h, const RunRecord& r) {
  const RecordedInput& in = r.input;
  auto row = [&h](const std::string& name, const std::string& value) {
    h += "<tr><td>" + name + "</td><td>" + value + "</td></tr>\n";
  };
  h += "<table class=\"facts\">\n";
  row("Input", "<b>" + Esc(FileName(in.path)) + "</b>");
  row("Path", Esc(in.path));
  row("Size", GroupedCount(static_cast<std::int64_t>(in.bytes)) + " bytes");
  row("SHA-256", "<span class=\"mono\">" + Esc(in.sha256) + "</span>");
  row("Events", GroupedCount(in.eventsRead) + " read, " + GroupedCount(in.eventsAnnounced) + " announced by its TEXT");
  row("Date", Esc(r.date));
  row("Program", Esc(r.program) + " " + Esc(r.version));
  row("Threshold guess", Esc(r.guess));
  row("Ambiguity margin", Fixed(r.margin, 3) + " decades" + (r.margin == 0 ? " (none)" : ""));
  row("Include barcode", r.includeBarcode ? "yes" : "no");
  h += "</table>\n";
}

std::int64_t InWells(const RunRecord& r) {
  std::int64_t n = 0;
  for (const auto& row : r.wells)
    for (std::int64_t w : row) n += w;
  return n;
}

std::int64_t Total(const RunRecord& r) { return InWells(r) + r.trash + r.ambiguous; }

// 8 x 12 cells coloured by their share of the fullest well, each with its count.
void Plate(std::string& h, const RunRecord& r) {
  const double cellW = 58, cellH = 24, left = 22, top = 16;
  std::int64_t most = 0;
  for (const auto& row : r.wells)
    for (std::int64_t w : row) most = std::max(most, w);
  h += "<svg class=\"plate\" width=\"" + C(left + 12 * cellW + 2) + "\" height=\"" + C(top + 8 * cellH + 2) +
       "\" viewBox=\"0 0 " + C(left + 12 * cellW + 2) + " " + C(top + 8 * cellH + 2) +
       "\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"Events per well\">\n";
  for (int col = 0; col < kPlateColumns; ++col)
    h += "<text x=\"" + C(left + (col + 0.5) * cellW) + "\" y=\"11\" font-size=\"10\" text-anchor=\"middle\">" +
         std::to_string(col + 1) + "</text>";
  h += "\n";
  for (int row = 0; row < kPlateRows; ++row) {
    h += "<text x=\"8\" y=\"" + C(top + (row + 0.5) * cellH + 4) + "\" font-size=\"10\" text-anchor=\"middle\">" +
         WellRowLetter(row) + "</text>";
    for (int col = 0; col < kPlateColumns; ++col) {
      const std::int64_t n = r.wells[row][col];
      const double t = most > 0 ? static_cast<double>(n) / static_cast<double>(most) : 0;
      const double x = left + col * cellW, y = top + row * cellH;
      h += "<rect x=\"" + C(x + 1) + "\" y=\"" + C(y + 1) + "\" width=\"" + C(cellW - 2) + "\" height=\"" +
           C(cellH - 2) + "\" fill=\"" + (n > 0 ? Heat(t) : std::string("#ffffff")) +
           "\" stroke=\"" + (n > 0 ? "none" : "#bbbbbb") + "\"><title>" + WellName(row, col) + ": " +
           GroupedCount(n) + "</title></rect>";
      h += "<text x=\"" + C(x + cellW / 2) + "\" y=\"" + C(y + cellH / 2 + 4) +
           "\" font-size=\"10\" text-anchor=\"middle\" fill=\"" + (t > 0.55 ? "#ffffff" : "#222222") + "\">" +
           GroupedCount(n) + "</text>";
    }
    h += "\n";
  }
  h += "</svg>\n";
}

void Trash(std::string& h, const RunRecord& r) {
  const std::int64_t total = Total(r);
  h += "<p>In wells: <b>" + GroupedCount(InWells(r)) + "</b> (" + Percent(InWells(r), total) +
       "); trash: <b>" + GroupedCount(r.trash) + "</b> (" + Percent(r.trash, total) +
       "), events whose code is no well; ambiguous: <b>" + GroupedCount(r.ambiguous) + "</b> (" +
       Percent(r.ambiguous, total) + "), events within the margin of a threshold. Total " + GroupedCount(total) +
       ".</p>\n<div class=\"cols\">\n";
  // The codes that are no well, four tables side by side; bits 7 .. 1.
  const std::size_t per = (r.trashByCode.size() + 3) / 4;
  for (std::size_t start = 0; start < r.trashByCode.size(); start += per) {
    h += "<table><tr><th>Code</th><th>Bits 7&#8230;1</th><th>Events</th></tr>\n";
    for (std::size_t i = start; i < std::min(r.trashByCode.size(), start + per); ++i) {
      const RecordedTrashCode& t = r.trashByCode[i];
      std::string bits;
      for (int b = 6; b >= 0; --b) bits += (t.code >> b) & 1 ? '1' : '0';
      h += "<tr><td>" + std::to_string(t.code) + "</td><td class=\"mono\">" + bits + "</td><td>" +
           GroupedCount(t.events) + "</td></tr>\n";
    }
    h += "</table>\n";
  }
  h += "</div>\n";
}

void Wells(std::string& h, const RunRecord& r) {
  const std::int64_t total = Total(r);
  h += "<div class=\"cols\">\n";
  for (int part = 0; part < 4; ++part) {
    h += "<table><tr><th>Well</th><th>Events</th><th>Share</th><th>File</th></tr>\n";
    for (int row = part * 2; row < part * 2 + 2; ++row)
      for (int col = 0; col < kPlateColumns; ++col) {
        const std::int64_t n = r.wells[row][col];
        h += "<tr><td>" + WellName(row, col) + "</td><td>" + GroupedCount(n) + "</td><td>" + Percent(n, total) +
             "</td><td>" + (n > 0 ? "Well_" + WellName(row, col) + ".fcs" : std::string("&#8211;")) + "</td></tr>\n";
      }
    h += "</table>\n";
  }
  h += "</div>\n";
}

// A histogram on the log scale with its decade ruler and both thresholds.
void Channel(std::string& h, int bit, const RecordedBit& b, const ReportHistogram* hist, std::int64_t events) {
  h += "<div class=\"channel\"><h3>Bit " + std::to_string(bit) + ": " + Esc(b.parameter) + " (parameter " +
       std::to_string(b.index + 1) + ")</h3>\n";
  const double W = 360, H = 150, left = 8, right = W - 8, top = 6, bottom = 112;
  h += "<svg width=\"" + C(W) + "\" height=\"" + C(H) + "\" viewBox=\"0 0 " + C(W) + " " + C(H) +
       "\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"Histogram of bit " + std::to_string(bit) +
       "\">\n<rect x=\"0\" y=\"0\" width=\"" + C(W) + "\" height=\"" + C(bottom + 2) + "\" fill=\"#eef2f8\"/>\n";
  if (hist && !hist->x.empty()) {
    double lo = hist->x.front(), hi = hist->x.back();
    for (double t : {b.guessed, b.threshold})
      if (std::isfinite(t)) {
        lo = std::min(lo, t);
        hi = std::max(hi, t);
      }
    if (hi <= lo) hi = lo + 1;
    double most = 0;
    for (double y : hist->y) most = std::max(most, y);
    if (most <= 0) most = 1;
    auto X = [&](double v) { return left + (v - lo) / (hi - lo) * (right - left); };
    auto Y = [&](double v) { return bottom - v / most * (bottom - top); };
    std::string path = "M" + C(X(hist->x.front())) + "," + C(bottom);
    for (std::size_t i = 0; i < hist->x.size(); ++i) path += " L" + C(X(hist->x[i])) + "," + C(Y(hist->y[i]));
    path += " L" + C(X(hist->x.back())) + "," + C(bottom) + " Z";
    h += "<path d=\"" + path + "\" fill=\"#3b6fb6\" stroke=\"#2b5592\" stroke-width=\"0.6\"/>\n";
    // The ruler: a tick and 10^k at every decade, small ticks at 2..9.
    h += "<line x1=\"" + C(left) + "\" y1=\"" + C(bottom + 2) + "\" x2=\"" + C(right) + "\" y2=\"" + C(bottom + 2) +
         "\" stroke=\"#444\" stroke-width=\"1\"/>\n";
    // Only a span of finite, moderate decades gets ticks: a histogram of NaN
    // values, or of values the file declares logarithmic that reach far out,
    // must neither overflow the decade numbers nor draw without end.
    const bool ruled = std::isfinite(lo) && std::isfinite(hi) && std::abs(lo) < 1e6 && std::abs(hi) < 1e6 &&
                       hi - lo <= 60;
    for (int k = ruled ? static_cast<int>(std::floor(lo)) - 1 : 1; ruled && k <= static_cast<int>(std::ceil(hi)); ++k) {
      for (int m = 1; m <= 9; ++m) {
        const double v = k + std::log10(static_cast<double>(m));
        if (v < lo || v > hi) continue;
        h += "<line x1=\"" + C(X(v)) + "\" y1=\"" + C(bottom + 2) + "\" x2=\"" + C(X(v)) + "\" y2=\"" +
             C(bottom + (m == 1 ? 9 : 5)) + "\" stroke=\"#444\" stroke-width=\"1\"/>";
        if (m == 1)
          h += "<text x=\"" + C(X(v)) + "\" y=\"" + C(bottom + 21) +
               "\" font-size=\"10\" text-anchor=\"middle\">10<tspan dy=\"-4\" font-size=\"8\">" +
               std::to_string(k) + "</tspan></text>";
      }
    }
    h += "\n";
    if (std::isfinite(b.guessed))
      h += "<line x1=\"" + C(X(b.guessed)) + "\" y1=\"" + C(top) + "\" x2=\"" + C(X(b.guessed)) + "\" y2=\"" +
           C(bottom) + "\" stroke=\"#666\" stroke-width=\"1.2\" stroke-dasharray=\"4 3\"/>\n";
    if (std::isfinite(b.threshold))
      h += "<line x1=\"" + C(X(b.threshold)) + "\" y1=\"" + C(top - 4) + "\" x2=\"" + C(X(b.threshold)) +
           "\" y2=\"" + C(bottom) + "\" stroke=\"#6a1b9a\" stroke-width=\"2\"/>\n";
  } else {
    h += "<text x=\"" + C(W / 2) + "\" y=\"" + C(bottom / 2) +
         "\" font-size=\"10\" text-anchor=\"middle\" fill=\"#555\">no histogram</text>\n";
  }
  h += "</svg>\n<p>Guessed threshold " + Fixed(b.guessed, 4) + " (dashed), used <b>" + Fixed(b.threshold, 4) +
       "</b> (solid)";
  if (b.above >= 0) h += "; at or above it: <b>" + Percent(b.above, events) + "</b> of the events";
  h += "</p></div>\n";
}

}  // namespace

std::string GroupedCount(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::string ReportHtml(const ReportData& d) {
  const RunRecord& r = d.record;
  std::string h;
  h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Debarcoding report: " +
       Esc(FileName(r.input.path)) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  h += "<section class=\"page\">\n<h1>Debarcoding report: " + Esc(FileName(r.input.path)) + "</h1>\n";
  Facts(h, r);
  h += "<h2>Plate: events per well</h2>\n";
  Plate(h, r);
  h += "<h2>Trash by cause</h2>\n";
  Trash(h, r);
  h += "<h2>Wells</h2>\n";
  Wells(h, r);
  h += "</section>\n<section class=\"page\">\n<h2>Barcode channels (log scale)</h2>\n";
  if (!d.histogramNote.empty()) h += "<p class=\"note\">" + Esc(d.histogramNote) + "</p>\n";
  h += "<div class=\"channels\">\n";
  for (int bit = 1; bit <= 7; ++bit) {
    const auto& hist = d.histograms[static_cast<std::size_t>(bit - 1)];
    Channel(h, bit, r.bits[static_cast<std::size_t>(bit - 1)], hist ? &*hist : nullptr, r.input.eventsRead);
  }
  h += "</div>\n</section>\n</body>\n</html>\n";
  return h;
}

void WriteReport(const std::string& dir, const ReportData& data) {
  TOutputFile out(dir + "/" + kReportName, 1 << 20);
  out.Write(ReportHtml(data));
  out.Close();
}

}  // namespace dbc
