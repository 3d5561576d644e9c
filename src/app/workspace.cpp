#include "app/workspace.h"

#include <string>

#include "fcs/dataset.h"
#include "fcs/fcs_errors.h"

namespace dbc {

Workspace::Workspace(WorkspaceView& view, WorkspaceOptions options)
    : view_(view), options_(std::move(options)), engine_([this](const std::string& t) { view_.ShowMessage(t); }) {}

Workspace::~Workspace() = default;

bool Workspace::RunHandler(const std::function<bool()>& fn) {
  try {
    return fn();
  } catch (const std::exception& e) {
    view_.ShowMessage(e.what());
    return false;
  }
}

void Workspace::FormCreate() { engine_.Close(); }

bool Workspace::OpenBtnClick() {
  return RunHandler([this] { return Open(); });
}

bool Workspace::Open() {
  const std::optional<std::string> path = view_.AskOpenFile();
  if (!path) return false;  // cancelled: everything stays as it was
  try {
    engine_.Open(*path);
  } catch (...) {
    // What the window shows is the file the workspace holds: none now.
    dir_.clear();
    view_.ParClear();
    view_.ChartClear();
    throw;
  }
  dir_ = options_.outputDir ? *options_.outputDir : engine_.DefaultOutputDir();
  view_.ParClear();
  for (const std::string& name : engine_.ParameterNames()) view_.ParAdd(name);
  engine_.ProposeBits();
  view_.ChartClear();
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
    if (wasLoaded) ShowBit();
    return true;
  });
}

bool Workspace::LoadClick() {
  return RunHandler([this] { return Load(); });
}

bool Workspace::Load() {
  engine_.Load();
  ShowBit();
  return true;
}

// The selected bit's histogram and threshold; an empty chart for a bit
// that is not loaded.
void Workspace::ShowBit() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  const Thistogram* h = engine_.Histogram(b);
  view_.ChartClear();
  if (!h) return;
  for (int i = 0; i < h->Count(); ++i)
    view_.ChartAddPoint(h->Xvalue[static_cast<std::size_t>(i)], h->Yvalue[static_cast<std::size_t>(i)]);
  view_.SetCursorX(engine_.Threshold(b));
  ChartCursorChange();
}

void Workspace::ChartCursorChange() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  engine_.SetThreshold(b, view_.CursorX());
}

bool Workspace::ExportBtnClick() {
  return RunHandler([this] { return Export(); });
}

bool Workspace::Export() {
  lastExport_ = engine_.Export(dir_, view_.IncludeBarcode());
  view_.ShowMessage("Done");
  return true;
}

}  // namespace dbc
