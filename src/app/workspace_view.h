#pragma once
// What the debarcoding workspace needs of its window. The Qt window
// implements it, the tests implement it with a fake, and the command-line
// tool with a console stand-in. Text crosses it as 8-bit strings, byte for
// byte as the FCS file holds them; a window converts at its own boundary.
//
// Calls go one way: the workspace calls these methods and never expects a
// method to call back into the workspace. In particular:
//  - SetParSelected is a change made by the program: the window must not
//    answer it with ParChange (only a change made by the user runs ParChange);
//  - SetCursorX places the cursor without reporting a move; the workspace
//    itself stores the placed value as the bit's threshold. A cursor dragged
//    by the user is reported by the window calling ChartCursorChange.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/progress.h"
#include "app/threshold_guess.h"
#include "app/value_ruler.h"

namespace dbc {

struct PlateCounts;
class Thistogram;

class WorkspaceView {
 public:
  virtual ~WorkspaceView() = default;

  // Bit selector: the current bit, always 1..7 (the window clamps or ignores
  // typed values outside that range before it reports a change).
  virtual int CurrentBit() const = 0;

  // Parameter list: item p is parameter p of the opened data set.
  virtual void ParClear() = 0;
  virtual void ParAdd(const std::string& text) = 0;
  virtual int ParCount() const = 0;
  virtual std::string ParItem(int index) const = 0;
  virtual int ParSelected() const = 0;            // -1: no selection
  virtual void SetParSelected(int index) = 0;     // -1 clears the selection

  // Modal message box with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal question with Yes and No buttons: true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;

  // The file the workspace holds and the folder Export writes into; both
  // empty when no file is open. Called whenever either changes.
  virtual void ShowFile(const std::string& path, const std::string& outputDir) = 0;

  // Histogram chart with one area series and a vertical threshold cursor,
  // in data coordinates.
  virtual void ChartClear() = 0;
  virtual void ChartAddPoint(double x, double y) = 0;
  virtual void SetCursorX(double x) = 0;
  virtual double CursorX() const = 0;

  // Modal file-open dialog for "List Mode Files" (*.fcs): the chosen path,
  // or nothing when the user cancels.
  virtual std::optional<std::string> AskOpenFile() = 0;
  // Modal folder dialog starting at `current`: the chosen folder, or
  // nothing when the user cancels.
  virtual std::optional<std::string> AskOutputDir(const std::string& current) = 0;

  // State of the "Include barcode" check box.
  virtual bool IncludeBarcode() const = 0;

  // --- what the window shows beside the controls above ---
  // The plate: events per well, trash and total, after Load and after
  // every threshold move; all zero while the bits are not all loaded.
  virtual void ShowPlate(const PlateCounts& counts) = 0;
  // The small histogram of a bit: its parameter's name (empty: none), its
  // histogram (nullptr: not loaded; the view keeps a copy) and threshold.
  virtual void ShowBitHistogram(int bit, const std::string& parameter, const Thistogram* histogram,
                                double threshold) = 0;
  // A bit's threshold moved (its small histogram's line).
  virtual void ShowBitThreshold(int bit, double threshold) = 0;
  // The current bit's threshold as a number and the share of events at or
  // above it (0..1; nothing while the plate is not classified).
  virtual void ShowThreshold(double threshold, std::optional<double> shareAbove) = 0;
  // The marks of the ruler under the chart (none for a bit not loaded).
  virtual void ShowRuler(const std::vector<RulerTick>& ticks) = 0;

  // Runs `work` (engine calls only: it must not call back into the view)
  // while the window shows `title` and the progress `work` reports; the
  // window repaints meanwhile and takes no clicks or keys for itself. With
  // `cancellable`, the user may ask to stop: the progress function then
  // answers false. An exception `work` raises comes out of RunLong.
  virtual void RunLong(const std::string& title, bool cancellable,
                       const std::function<void(const Progress&)>& work) = 0;

  // The guess chosen beside Load, and the margin field in decades (a view
  // without these controls keeps the defaults).
  virtual ThresholdGuess ChosenGuess() const { return ThresholdGuess::UpperTail; }
  virtual double MarginDecades() const { return 0; }
};

}  // namespace dbc
