#include "app/batch_run.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/plate.h"
#include "app/workspace.h"
#include "fcs/dataset.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

// The window's controls, set by the batch run and read by the workspace.
class BatchView : public WorkspaceView {
 public:
  BatchView(std::string path, bool includeBarcode,
            const std::function<void(const std::string&)>& message)
      : path_(std::move(path)), include_(includeBarcode), message_(message) {}

  int bit = 1;
  int selected = -1;
  double cursor = 0;
  bool failed = false;  // a message other than "Done" was shown

  int CurrentBit() const override { return bit; }
  void ParClear() override {
    items_.clear();
    selected = -1;
  }
  void ParAdd(const std::string& text) override { items_.push_back(text); }
  int ParCount() const override { return static_cast<int>(items_.size()); }
  std::string ParItem(int index) const override { return items_.at(static_cast<std::size_t>(index)); }
  int ParSelected() const override { return selected; }
  void SetParSelected(int index) override { selected = index; }
  void ShowMessage(const std::string& text) override {
    if (text != "Done") failed = true;
    message_(text);
  }
  void ChartClear() override {}
  void ChartAddPoint(double, double) override {}
  void SetCursorX(double x) override { cursor = x; }
  double CursorX() const override { return cursor; }
  std::optional<std::string> AskOpenFile() override { return path_; }
  bool IncludeBarcode() const override { return include_; }

 private:
  std::string path_;
  bool include_;
  const std::function<void(const std::string&)>& message_;
  StringArray items_;
};

// "BIT=REST" with BIT 1..7.
std::pair<int, std::string> SplitBitAssignment(const std::string& text, const char* what) {
  const auto eq = text.find('=');
  int bit = 0;
  if (eq != std::string::npos) {
    const char* first = text.data();
    const auto [end, ec] = std::from_chars(first, first + eq, bit);
    if (ec != std::errc() || end != first + eq) bit = 0;
  }
  if (bit < 1 || bit > 7 || eq + 1 >= text.size())
    throw Exception("Invalid " + std::string(what) + " '" + text + "': expected BIT=" +
                    (std::string(what) == "--channel" ? "NAME" : "VALUE") + " with BIT 1..7");
  return {bit, text.substr(eq + 1)};
}

void AppendJsonString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      // Bytes of the file's single-byte code page, read as Latin-1.
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

}  // namespace

std::string RoundTripText(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

BatchRunResult RunBatch(const BatchRunOptions& options,
                        const std::function<void(const std::string&)>& message) {
  BatchRunResult r;
  r.input = options.input;
  BuildPlateTables();
  BatchView view(options.input, options.includeBarcode, message);
  WorkspaceOptions wo;
  wo.outputDir = options.outDir;
  wo.createOutputDir = !options.dryRun;
  Workspace ws(view, wo);
  ws.FormCreate();

  std::vector<std::pair<int, std::string>> channels;
  std::vector<std::pair<int, double>> thresholds;
  try {
    for (const auto& c : options.channels) channels.push_back(SplitBitAssignment(c, "--channel"));
    for (const auto& t : options.thresholds) {
      auto [bit, text] = SplitBitAssignment(t, "--threshold");
      double v = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || end != text.data() + text.size())
        throw Exception("Invalid --threshold '" + t + "': '" + text + "' is not a number");
      thresholds.emplace_back(bit, v);
    }
  } catch (const Exception& e) {
    message(e.what());
    return r;
  }

  if (!ws.OpenBtnClick()) return r;
  r.outputDir = ws.dir();
  for (const auto& [bit, name] : channels) {
    int index = -1;
    for (int i = 0; i < view.ParCount(); ++i)
      if (view.ParItem(i) == name) {
        index = i;
        break;
      }
    if (index < 0) {
      message("No parameter named '" + name + "' for bit " + std::to_string(bit));
      return r;
    }
    view.bit = bit;
    ws.BitnumChange();
    view.selected = index;
    ws.ParChange();
  }
  view.bit = 1;
  ws.BitnumChange();
  if (!ws.LoadClick() || view.failed) return r;
  for (const auto& [bit, value] : thresholds) {
    view.bit = bit;
    ws.BitnumChange();
    view.cursor = value;
    ws.ChartCursorChange();
  }

  const TDataSet* ds = ws.DataSet();
  r.events = ds->GetEventCount();
  for (int bit = 1; bit <= 7; ++bit) {
    BatchBit& b = r.bits[static_cast<std::size_t>(bit - 1)];
    b.bit = bit;
    b.index = ws.bit2par(bit);
    b.parameter = ds->ParName(b.index);
    b.threshold = ws.Threshold(bit);
  }
  for (std::uint8_t code : ws.ComputeCodes()) {
    const TWellPos w = code2well[code];
    if (w.col < 0)
      ++r.trash;
    else
      ++r.wells[w.row][w.col];
  }
  if (!options.dryRun) {
    r.exported = ws.ExportBtnClick() && r.events > 0;
    if (view.failed) return r;
  }
  r.ok = true;
  return r;
}

std::string FormatYieldTable(const BatchRunResult& r) {
  std::string out = "   ";
  char buf[64];
  for (int c = 1; c <= 12; ++c) {
    std::snprintf(buf, sizeof buf, "%8d", c);
    out += buf;
  }
  out += '\n';
  std::int64_t wells = 0;
  for (int row = 0; row < 8; ++row) {
    out += WellRowLetter(row);
    out += "  ";
    for (int c = 0; c < 12; ++c) {
      std::snprintf(buf, sizeof buf, "%8lld", static_cast<long long>(r.wells[row][c]));
      out += buf;
      wells += r.wells[row][c];
    }
    out += '\n';
  }
  const std::int64_t total = wells + r.trash;
  std::snprintf(buf, sizeof buf, "trash: %lld\n", static_cast<long long>(r.trash));
  out += buf;
  std::snprintf(buf, sizeof buf, "total: %lld\n", static_cast<long long>(total));
  out += buf;
  std::snprintf(buf, sizeof buf, "assigned to wells: %.2f %%\n",
                total > 0 ? 100.0 * static_cast<double>(wells) / static_cast<double>(total) : 0.0);
  out += buf;
  return out;
}

std::string FormatJson(const BatchRunResult& r) {
  std::string out = "{\"input\": ";
  AppendJsonString(out, r.input);
  out += ", \"events\": " + std::to_string(r.events) + ", \"bits\": [";
  for (std::size_t i = 0; i < r.bits.size(); ++i) {
    const BatchBit& b = r.bits[i];
    if (i) out += ", ";
    out += "{\"bit\": " + std::to_string(b.bit) + ", \"parameter\": ";
    AppendJsonString(out, b.parameter);
    out += ", \"index\": " + std::to_string(b.index) + ", \"threshold\": " + RoundTripText(b.threshold) + "}";
  }
  out += "], \"wells\": {";
  for (int row = 0; row < 8; ++row)
    for (int c = 0; c < 12; ++c) {
      if (row || c) out += ", ";
      out += '"';
      out += WellRowLetter(row);
      out += PadWithZeros(std::to_string(c + 1), 2) + "\": " + std::to_string(r.wells[row][c]);
    }
  out += "}, \"trash\": " + std::to_string(r.trash) + ", \"output_dir\": ";
  AppendJsonString(out, r.outputDir);
  out += std::string(", \"exported\": ") + (r.exported ? "true" : "false") + "}\n";
  return out;
}

}  // namespace dbc
