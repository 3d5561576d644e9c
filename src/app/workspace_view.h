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
#include <optional>
#include <string>

namespace dbc {

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
};

}  // namespace dbc
