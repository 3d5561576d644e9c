#include "app/workspace.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "app/demo_plate.h"
#include "fcs/dataset.h"
#include "fcs/fcs_errors.h"
#include "util/errors.h"

namespace dbc {

Workspace::Workspace(WorkspaceView& view, WorkspaceOptions options)
    : view_(view), options_(std::move(options)), engine_([this](const std::string& t) { view_.ShowMessage(t); }) {}

Workspace::~Workspace() = default;

bool Workspace::RunHandler(const std::function<bool()>& fn) {
  try {
    return fn();
  } catch (const ECancelled&) {
    return false;
  } catch (const std::exception& e) {
    view_.ShowMessage(e.what());
    return false;
  }
}

void Workspace::FormCreate() {
  engine_.Close();
  dir_.clear();
  ShowFile();
  ShowBitsAndPlate();
}

void Workspace::ShowFile() { view_.ShowFile(engine_.HasFile() ? engine_.Path() : std::string(), dir_); }

namespace {

// Events whose code has the bit set, as a share of all.
std::optional<double> ShareAbove(const PlateCounts& counts, int bit) {
  if (counts.total <= 0) return std::nullopt;
  std::int64_t above = 0;
  for (std::size_t code = 0; code < counts.perCode.size(); ++code)
    if (code & (std::size_t{1} << (bit - 1))) above += counts.perCode[code] + counts.ambiguousPerCode[code];
  return static_cast<double>(above) / static_cast<double>(counts.total);
}

}  // namespace

bool Workspace::OpenBtnClick() {
  return RunHandler([this] { return Open(); });
}

bool Workspace::Open() {
  const std::optional<std::string> path = view_.AskOpenFile();
  if (!path) return false;  // cancelled: everything stays as it was
  return OpenPath(*path);
}

bool Workspace::OpenFile(const std::string& path) {
  return RunHandler([&] { return OpenPath(path); });
}

bool Workspace::DemoPlateClick() {
  return RunHandler([this] {
    const std::string folder = options_.demoDir ? *options_.demoDir : DemoPlateFolder();
    std::string path;
    view_.RunLong("Demo plate", false, [&](const Progress& progress) {
      if (progress) progress("Writing the demo plate", 0.0);
      path = WriteDemoPlate(folder);
    });
    if (!OpenPath(path)) return false;
    view_.ShowMessage("The demo plate, a synthetic pool of " + std::to_string(DemoPlateOptions().events) +
                      " barcoded events, is\n" + path + "\nPress Load, then Export: the well files go to\n" +
                      dir_);
    return true;
  });
}

bool Workspace::OpenPath(const std::string& path) {
  try {
    engine_.Open(path);
  } catch (...) {
    // What the window shows is the file the workspace holds: none now.
    dir_.clear();
    view_.ParClear();
    view_.ChartClear();
    ShowFile();
    ShowBitsAndPlate();
    throw;
  }
  dir_ = options_.outputDir ? *options_.outputDir : engine_.DefaultOutputDir();
  ShowFile();
  view_.ParClear();
  for (const std::string& name : engine_.ParameterNames()) view_.ParAdd(name);
  engine_.ProposeBits();
  view_.ChartClear();
  ShowBitsAndPlate();
  BitnumChange();
  return true;
}

void Workspace::BitnumChange() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  view_.SetParSelected(engine_.BitParameter(b));
  ShowBit();
}

void Workspace::ParChange() {
  RunHandler([this] {
    const int b = view_.CurrentBit();
    if (b < 1 || b > kBits || !engine_.HasFile()) return true;
    const bool wasLoaded = engine_.IsLoaded(b);
    engine_.AssignBit(b, view_.ParSelected());
    // Another bit may have lost its parameter, and the plate its codes.
    ShowBitsAndPlate();
    if (wasLoaded) ShowBit();
    return true;
  });
}

bool Workspace::LoadClick() {
  return RunHandler([this] { return Load(); });
}

bool Workspace::Load() {
  engine_.SetGuess(view_.ChosenGuess());
  view_.RunLong("Load", false, [this](const Progress& progress) { engine_.Load(progress); });
  ShowBitsAndPlate();
  ShowBit();
  return true;
}

void Workspace::ShowBitsAndPlate() {
  for (int bit = 1; bit <= kBits; ++bit) {
    const int p = engine_.HasFile() ? engine_.BitParameter(bit) : -1;
    const std::string name = p >= 0 ? engine_.DataSet()->ParName(p) : std::string();
    view_.ShowBitHistogram(bit, name, engine_.Histogram(bit), engine_.Threshold(bit));
  }
  view_.ShowPlate(engine_.Counts());
}

void Workspace::ShowCurrentThreshold() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  view_.ShowThreshold(engine_.Threshold(b), ShareAbove(engine_.Counts(), b));
}

// The selected bit's histogram and threshold; an empty chart for a bit
// that is not loaded.
void Workspace::ShowBit() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  const Thistogram* h = engine_.Histogram(b);
  view_.ChartClear();
  if (!h || h->Count() == 0) {
    view_.ShowRuler({});
    ShowCurrentThreshold();
    return;
  }
  for (int i = 0; i < h->Count(); ++i)
    view_.ChartAddPoint(h->Xvalue[static_cast<std::size_t>(i)], h->Yvalue[static_cast<std::size_t>(i)]);
  view_.ShowRuler(RulerTicks(engine_.LogScale(b), h->Xvalue.front(), h->Xvalue.back()));
  view_.SetCursorX(engine_.Threshold(b));
  ChartCursorChange();
}

void Workspace::ChartCursorChange() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  const double x = view_.CursorX();
  engine_.SetThreshold(b, x);
  view_.ShowBitThreshold(b, x);
  view_.ShowPlate(engine_.Counts());
  ShowCurrentThreshold();
}

void Workspace::ThresholdTyped(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  std::size_t last = text.find_last_not_of(" \t");
  double x = 0;
  bool ok = first != std::string::npos;
  if (ok) {
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;  // from_chars takes no plus sign
    const auto [stop, ec] = std::from_chars(begin, end, x);
    ok = ec == std::errc() && stop == end && std::isfinite(x);
  }
  if (!ok) {
    ShowCurrentThreshold();
    return;
  }
  view_.SetCursorX(x);
  ChartCursorChange();
}

void Workspace::CursorStep(int steps) {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits || steps == 0) return;
  const Thistogram* h = engine_.Histogram(b);
  if (!h || h->Count() == 0) return;
  const TVector& xs = h->Xvalue;
  const double x = view_.CursorX();
  // The point the cursor is on, or the one it passes first in the step's
  // direction, then the remaining steps point by point.
  auto at = steps > 0 ? std::upper_bound(xs.begin(), xs.end(), x) : std::lower_bound(xs.begin(), xs.end(), x);
  std::ptrdiff_t i = at - xs.begin();
  i += steps > 0 ? steps - 1 : steps;
  i = std::clamp<std::ptrdiff_t>(i, 0, static_cast<std::ptrdiff_t>(xs.size()) - 1);
  view_.SetCursorX(xs[static_cast<std::size_t>(i)]);
  ChartCursorChange();
}

void Workspace::MarginChange() {
  RunHandler([this] {
    engine_.SetMargin(view_.MarginDecades());
    view_.ShowPlate(engine_.Counts());
    ShowCurrentThreshold();
    return true;
  });
}

bool Workspace::ExportBtnClick() {
  return RunHandler([this] { return Export(); });
}

bool Workspace::FolderBtnClick() {
  return RunHandler([this] { return ChooseFolder(); });
}

bool Workspace::ChooseFolder() {
  if (!engine_.HasFile()) throw Exception("No file is open");
  const std::optional<std::string> dir = view_.AskOutputDir(dir_);
  if (!dir || dir->empty()) return false;  // cancelled
  dir_ = *dir;
  ShowFile();
  return true;
}

bool Workspace::Export() {
  engine_.CheckExport();
  // Whose outputs the folder holds is read off the input's SHA-256, which
  // takes a while on a large file: under the progress dialog too.
  std::optional<std::string> foreign;
  view_.RunLong("Export", false, [&](const Progress& progress) {
    if (progress) progress("Checking the output folder", 0.0);
    foreign = engine_.ForeignOutputs(dir_);
  });
  if (foreign && !view_.AskYesNo(*foreign + " Replace them?")) return false;
  const bool includeBarcode = view_.IncludeBarcode();
  ExportResult result;
  view_.RunLong("Export", true, [&](const Progress& progress) {
    result = engine_.Export(dir_, includeBarcode, progress);
  });
  lastExport_ = std::move(result);
  view_.ShowMessage(DoneMessage(dir_, engine_.LastRecord()));
  return true;
}

}  // namespace dbc
