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
// message ("No file is open", "Not enough parameters", "Bit n is not
// defined"), when a dialog was cancelled, or when the user declined to
// replace another input's outputs.
//
// Notices that the FCS library shows without raising ("File ... does not
// look like FCS file!") also reach view.ShowMessage.
#include <functional>
#include <optional>
#include <string>

#include "app/debarcoder.h"
#include "app/workspace_view.h"

namespace dbc {

// Settings of the window's workspace; the window uses the defaults.
struct WorkspaceOptions {
  // Output folder to use instead of the opened path without its extension.
  std::optional<std::string> outputDir;
  // Folder of the demo plate instead of DemoPlateFolder().
  std::optional<std::string> demoDir;
};

// The window's handlers over the debarcoding engine: each turns a window
// event into engine calls and the engine's results into view calls.
class Workspace {
 public:
  static constexpr int kBits = Debarcoder::kBits;
  static constexpr int kHistogramPoints = Debarcoder::kHistogramPoints;

  explicit Workspace(WorkspaceView& view, WorkspaceOptions options = {});
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // --- handlers run by the window's controls ---
  // Window created: no file, every bit unassigned and without histogram.
  void FormCreate();
  // Open button: ask for a file, open it, fill the parameter list and
  // propose the bits from parameter names beginning "BC1" ... "BC7". A
  // cancelled dialog changes nothing; a file that cannot be used leaves the
  // workspace (and the parameter list and chart) without a file.
  bool OpenBtnClick();
  // Opens `path` as Open does with the path the dialog gives (the window's
  // file given at start).
  bool OpenFile(const std::string& path);
  // Demo plate button: writes the demo plate into its folder (see
  // app/demo_plate.h), opens it as Open would and says where it is and
  // where Export will write.
  bool DemoPlateClick();
  // Bit selector changed: select the bit's parameter in the list, show it.
  void BitnumChange();
  // The user picked an entry of the parameter list for the current bit; a
  // loaded bit is loaded again with its new parameter and shown.
  void ParChange();
  // Load button: log-scale every bit's parameter, build its histogram and
  // guess its threshold by the guess chosen beside it.
  bool LoadClick();
  // The margin field changed: the ambiguous events and the counts follow.
  void MarginChange();
  // The threshold cursor moved: the current bit's threshold follows it;
  // the plate, the bit's small histogram and the threshold field follow.
  void ChartCursorChange();
  // A threshold typed into the threshold field (a decimal number, "." as
  // the decimal separator): the cursor moves there. Other text puts the
  // field back to the current threshold.
  void ThresholdTyped(const std::string& text);
  // The arrow keys over the chart: the cursor moves to the histogram point
  // `steps` points to the right (left when negative) of its position,
  // stopping at the first and the last point. Nothing before Load.
  void CursorStep(int steps);
  // Folder button: choose the output folder of the open file (Open sets
  // it back to the file's path without its extension).
  bool FolderBtnClick();
  // Export button: write the trash file and one file per well with events,
  // then the run record. A folder holding another input's outputs is
  // replaced only when the user says yes. "Done" heads the message that
  // says where the files went and how many events went to wells and to
  // the trash. Stopped by the user (progress cancelled), it ends quietly
  // and leaves no output file.
  bool ExportBtnClick();

  // Runs fn; an exception it raises is shown in the message box and turns
  // into false (a stop asked for by the user, ECancelled, is shown not).
  // The helper every handler goes through.
  bool RunHandler(const std::function<bool()>& fn);

  // --- state, read by the window and tests ---
  const Debarcoder& engine() const noexcept { return engine_; }
  bool HasFile() const noexcept { return engine_.HasFile(); }
  const TFCStream* fcsfile() const noexcept { return engine_.Stream(); }
  // The first data set of the opened file; nullptr without a file.
  const TDataSet* DataSet() const noexcept { return engine_.DataSet(); }
  const std::string& dir() const noexcept { return dir_; }
  // Parameter index (from 0) of bit 1..7, -1 when unassigned.
  int bit2par(int bit) const { return engine_.BitParameter(bit); }
  double Threshold(int bit) const { return engine_.Threshold(bit); }
  // The bit's histogram, nullptr before Load.
  const Thistogram* Histo(int bit) const { return engine_.Histogram(bit); }
  // Each event's code; empty before Load.
  const TByteVector& Codes() const noexcept { return engine_.Codes(); }
  // What the last successful export wrote.
  const ExportResult& LastExport() const noexcept { return lastExport_; }

 private:
  void ShowBit();
  // The small histograms of every bit and the plate.
  void ShowBitsAndPlate();
  void ShowCurrentThreshold();
  bool Open();
  bool OpenPath(const std::string& path);
  bool Load();
  bool Export();
  bool ChooseFolder();
  // Tells the view which file and folder the workspace holds now.
  void ShowFile();

  WorkspaceView& view_;
  WorkspaceOptions options_;
  Debarcoder engine_;
  std::string dir_;
  ExportResult lastExport_;
};

}  // namespace dbc
