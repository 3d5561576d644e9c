#include "app/workspace.h"

#include <filesystem>
#include <stdexcept>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "stats/histogram.h"
#include "util/text.h"

namespace dbc {

std::string PathWithoutExtension(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path;
  return path.substr(0, dot);
}

Workspace::Workspace(WorkspaceView& view, WorkspaceOptions options)
    : view_(view), options_(std::move(options)) {
  bit2par_.fill(-1);
  Thresholds_.fill(0.0);
}

Workspace::~Workspace() = default;

std::size_t Workspace::Slot(int bit) {
  if (bit < 1 || bit > kBits) throw std::out_of_range("Bit " + std::to_string(bit) + " is not 1..7");
  return static_cast<std::size_t>(bit - 1);
}

const TDataSet* Workspace::DataSet() const noexcept {
  return fcsfile_ && !fcsfile_->dataset.empty() ? fcsfile_->dataset[0].get() : nullptr;
}

TDataSet* Workspace::MutableDataSet() noexcept {
  return fcsfile_ && !fcsfile_->dataset.empty() ? fcsfile_->dataset[0].get() : nullptr;
}

int Workspace::FirstUndefinedBit() const noexcept {
  const TDataSet* ds = DataSet();
  const int par = ds ? ds->parcount() : 0;
  for (int bit = 1; bit <= kBits; ++bit) {
    const int p = bit2par_[static_cast<std::size_t>(bit - 1)];
    if (p < 0 || p >= par) return bit;
  }
  return 0;
}

bool Workspace::RunHandler(const std::function<bool()>& fn) {
  try {
    return fn();
  } catch (const std::exception& e) {
    view_.ShowMessage(e.what());
    return false;
  }
}

void Workspace::FormCreate() {
  fcsfile_.reset();
  ResetBits();
}

void Workspace::ResetBits() {
  bit2par_.fill(-1);
  for (auto& h : Histos_) h.reset();
}

bool Workspace::OpenBtnClick() {
  return RunHandler([this] { return Open(); });
}

bool Workspace::Open() {
  ResetBits();
  const std::optional<std::string> path = view_.AskOpenFile();
  if (!path) return false;

  dir_ = options_.outputDir ? *options_.outputDir : PathWithoutExtension(*path);
  if (options_.createOutputDir) {
    // One level only; a folder that cannot be made is not reported here.
    std::error_code ec;
    if (!std::filesystem::is_directory(dir_, ec)) std::filesystem::create_directory(dir_, ec);
  }

  auto stream = std::make_unique<TFCStream>(
      *path, false, true, [this](const std::string& text) { view_.ShowMessage(text); });
  fcsfile_ = std::move(stream);
  if (fcsfile_->badfile || fcsfile_->dataset.empty()) {
    fcsfile_.reset();
    return false;
  }
  const TDataSet& ds = *fcsfile_->dataset[0];
  if (ds.parcount() < kBits) {
    fcsfile_.reset();
    view_.ShowMessage("Not enough parameters");
    return false;
  }
  ds.FillComboBox([this] { view_.ParClear(); },
                  [this](const std::string& name) { view_.ParAdd(name); });

  // A parameter whose name begins "BC" + i carries bit 8 - i: BC1 is the
  // highest bit, BC7 the lowest. The first match in list order wins.
  for (int i = 1; i <= kBits; ++i) {
    const std::string prefix = "BC" + std::to_string(i);
    const int items = view_.ParCount();
    for (int idx = 0; idx < items; ++idx)
      if (StartsWith(view_.ParItem(idx), prefix)) {
        bit2par_[static_cast<std::size_t>(8 - i - 1)] = idx;
        break;
      }
  }
  BitnumChange();
  return true;
}

void Workspace::BitnumChange() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  view_.SetParSelected(bit2par(b));
  ShowBit();
}

void Workspace::ParChange() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  const int p = view_.ParSelected();
  for (int& assigned : bit2par_)
    if (assigned == p) assigned = -1;
  bit2par_[Slot(b)] = p;
}

bool Workspace::LoadClick() {
  return RunHandler([this] { return Load(); });
}

bool Workspace::Load() {
  TDataSet* ds = MutableDataSet();
  if (!ds) return true;
  if (const int bit = FirstUndefinedBit()) {
    view_.ShowMessage("Bit " + std::to_string(bit) + " is not defined");
    return false;
  }
  for (int j = 1; j <= kBits; ++j) {
    const int p = bit2par(j);
    const auto pi = static_cast<std::size_t>(p);
    // A parameter is log-scaled at most once per opened file; one the file
    // itself declares logarithmic is used as loaded.
    if (!ds->logpar.at(pi)) {
      ds->logpar[pi] = true;
      ds->CropAndLog(p, scratch_);
    }
    Histos_[Slot(j)].reset();
    Histos_[Slot(j)] = std::make_unique<Thistogram>(
        Thistogram::Create(ds->data.at(pi), kHistogramPoints, -1, scratch_));
    Thresholds_[Slot(j)] = Histos_[Slot(j)]->GuessThreshold();
  }
  ShowBit();
  return true;
}

void Workspace::ShowBit() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  const Thistogram* h = Histos_[Slot(b)].get();
  if (!h) return;
  view_.ChartClear();
  for (int i = 0; i < h->Count(); ++i)
    view_.ChartAddPoint(h->Xvalue[static_cast<std::size_t>(i)], h->Yvalue[static_cast<std::size_t>(i)]);
  view_.SetCursorX(Thresholds_[Slot(b)]);
  ChartCursorChange();
}

void Workspace::ChartCursorChange() {
  const int b = view_.CurrentBit();
  if (b < 1 || b > kBits) return;
  Thresholds_[Slot(b)] = view_.CursorX();
}

TByteVector Workspace::ComputeCodes() const {
  const TDataSet* ds = DataSet();
  if (!ds || FirstUndefinedBit() != 0) return {};
  return ClassifyEvents(ds->data, static_cast<std::size_t>(ds->GetEventCount()), bit2par_,
                        Thresholds_);
}

bool Workspace::ExportBtnClick() {
  return RunHandler([this] { return Export(); });
}

bool Workspace::Export() {
  const TDataSet* ds = DataSet();
  if (!ds) return true;
  // Classifying with a bit that has no parameter would write wrong files.
  if (const int bit = FirstUndefinedBit()) {
    view_.ShowMessage("Bit " + std::to_string(bit) + " is not defined");
    return false;
  }
  const TByteVector codes = ComputeCodes();
  if (codes.empty()) return true;
  ExportJob job;
  job.text = ds->Text.get();
  job.data = &ds->data;
  job.events = codes.size();
  job.codes = &codes;
  job.bit2par = bit2par_;
  job.includeBarcode = view_.IncludeBarcode();
  job.dir = dir_;
  lastExport_ = ExportPlate(job);
  view_.ShowMessage("Done");
  return true;
}

}  // namespace dbc
