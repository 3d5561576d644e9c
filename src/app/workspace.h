#pragma once
// The debarcoding workspace: the state behind the one window and the
// operations its controls run. It holds the opened FCS file, which
// parameter carries which of the seven barcode bits, one histogram and one
// threshold per bit, and the output folder.
//
// Bits are numbered 1 to 7; bit n is bit n-1 of an event's 7-bit code.
//
// Errors: every public handler runs to completion or stops at an error; it
// never lets an exception out. An error raised inside a handler ends that
// handler and its message is shown with view.ShowMessage, and the workspace
// stays in the state the handler had reached (see RunHandler). So the
// window and the command-line tool only call the handlers. The boolean a
// handler returns is false when it ended with an error or a refusing
// message ("Not enough parameters", "Bit n is not defined"), or when Open
// got no usable file (cancelled dialog, no FCS file); doing nothing because
// no file is open (Load, Export) or the file has no events (Export) is no
// failure.
//
// Notices that the FCS library shows without raising ("File ... does not
// look like FCS file!") also reach view.ShowMessage.
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/export.h"
#include "app/workspace_view.h"
#include "util/numeric.h"
#include "util/vectors.h"

namespace dbc {

class TFCStream;
class TDataSet;
class Thistogram;

// Settings of a run without a window; the window uses the defaults.
struct WorkspaceOptions {
  // Output folder to use instead of the opened path without its extension.
  std::optional<std::string> outputDir;
  // Open creates the output folder (one level) when missing.
  bool createOutputDir = true;
};

class Workspace {
 public:
  static constexpr int kBits = 7;
  static constexpr int kHistogramPoints = 1024;

  explicit Workspace(WorkspaceView& view, WorkspaceOptions options = {});
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // --- handlers run by the window's controls ---
  // Window created: no file, every bit unassigned and without histogram.
  void FormCreate();
  // Open button: ask for a file, open it, fill the parameter list and
  // propose the bits from parameter names beginning "BC1" ... "BC7".
  bool OpenBtnClick();
  // Bit selector changed: select the bit's parameter in the list, show it.
  void BitnumChange();
  // The user picked an entry of the parameter list for the current bit.
  void ParChange();
  // Load button: log-scale every bit's parameter (once per opened file),
  // build its histogram and guess its threshold.
  bool LoadClick();
  // The threshold cursor moved: the current bit's threshold follows it.
  void ChartCursorChange();
  // Export button: write the trash file and one file per well with events.
  bool ExportBtnClick();

  // Each event's 7-bit code from the current columns and thresholds; empty
  // without a file or with an unassigned bit.
  TByteVector ComputeCodes() const;

  // Runs fn; an exception it raises is shown in the message box and turns
  // into false. The helper every handler goes through.
  bool RunHandler(const std::function<bool()>& fn);

  // --- state, read by the window, the command-line tool and tests ---
  bool HasFile() const noexcept { return fcsfile_ != nullptr; }
  const TFCStream* fcsfile() const noexcept { return fcsfile_.get(); }
  // The first data set of the opened file; nullptr without a file.
  const TDataSet* DataSet() const noexcept;
  const std::string& dir() const noexcept { return dir_; }
  // Parameter index (from 0) of bit 1..7, -1 when unassigned.
  int bit2par(int bit) const { return bit2par_.at(Slot(bit)); }
  double Threshold(int bit) const { return Thresholds_.at(Slot(bit)); }
  // The bit's histogram, nullptr before Load.
  const Thistogram* Histo(int bit) const { return Histos_.at(Slot(bit)).get(); }
  // The lowest bit without a parameter of the open data set, 0 when all
  // seven have one.
  int FirstUndefinedBit() const noexcept;
  BitParams BitParameters() const noexcept { return bit2par_; }
  BitThresholds Thresholds() const noexcept { return Thresholds_; }
  // What the last successful export wrote.
  const ExportResult& LastExport() const noexcept { return lastExport_; }

 private:
  static std::size_t Slot(int bit);
  void ResetBits();
  void ShowBit();
  bool Open();
  bool Load();
  bool Export();
  TDataSet* MutableDataSet() noexcept;

  WorkspaceView& view_;
  WorkspaceOptions options_;
  std::unique_ptr<TFCStream> fcsfile_;
  std::string dir_;
  BitParams bit2par_{};
  std::array<std::unique_ptr<Thistogram>, kBits> Histos_;
  BitThresholds Thresholds_{};
  ExportResult lastExport_;
  TColumnScratch scratch_;  // reused by the seven histograms of a Load
};

// The output folder of an opened path: the path without the extension of
// its file name (the last dot of the name and what follows); a name
// without a dot stays whole.
std::string PathWithoutExtension(const std::string& path);

}  // namespace dbc
