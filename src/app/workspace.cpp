#include "app/workspace.h"

#include <string>

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
  } catch (const std::exception& e) {
    view_.ShowMessage(e.what());
    return false;
  }
}

void Workspace::FormCreate() {
  engine_.Close();
  dir_.clear();
  ShowFile();
}

void Workspace::ShowFile() { view_.ShowFile(engine_.HasFile() ? engine_.Path() : std::string(), dir_); }

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
    ShowFile();
    throw;
  }
  dir_ = options_.outputDir ? *options_.outputDir : engine_.DefaultOutputDir();
  ShowFile();
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
  if (const std::optional<std::string> foreign = engine_.ForeignOutputs(dir_))
    if (!view_.AskYesNo(*foreign + " Replace them?")) return false;
  lastExport_ = engine_.Export(dir_, view_.IncludeBarcode());
  view_.ShowMessage(DoneMessage(dir_, engine_.LastRecord()));
  return true;
}

}  // namespace dbc
