#pragma once
// TBarcodesetupform: the one window of the desktop tool. It builds the
// controls, wires their signals to the debarcoding workspace's handlers and
// lets the workspace drive it through WorkspaceView. It holds no debarcoding
// logic of its own.
//
// The controls of the original layout keep their places in the left part
// (kClientWidth x kClientHeight); the window is kPanelWidth wider for the
// plate panel and the seven small histograms on the right. The threshold
// field sits beside the bit box, the decade ruler under the chart's plot.
//
// A dragged cursor is applied once per turn of the event loop, with the
// latest position (moves that arrive meanwhile are folded into it), so that
// the plate follows the mouse on a large file instead of falling behind.
//
// FCS text (parameter names, messages) is 8-bit; it becomes QString byte for
// byte through Latin-1, so that an item read back gives the same bytes.
// Paths cross with QFile::encodeName, the file system's own encoding.
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/workspace_view.h"
#include "gui/chart_editor.h"
#include "gui/long_work.h"

class QCheckBox;
class QLineEdit;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace dbc {

class DecadeRuler;
class HistogramChart;
class HistogramStrip;
class PlatePanel;
class Workspace;

// What the window asks of the desktop beyond its own controls. Tests replace
// these; empty members get the standard dialogs.
struct FormServices {
  // The modal file-open dialog: the chosen path, nothing when cancelled.
  std::function<std::optional<QString>(QWidget* parent)> chooseFile;
  // A modal message box with an OK button.
  std::function<void(QWidget* parent, const QString& text)> showMessage;
  // A modal question with Yes and No buttons: true for Yes.
  std::function<bool(QWidget* parent, const QString& text)> askYesNo;
  // The modal folder dialog opened at `current`: the chosen folder, nothing
  // when cancelled.
  std::function<std::optional<QString>(QWidget* parent, const QString& current)> chooseFolder;
  // Colour picker of the chart editor.
  ColorChooser chooseColor;
  // Sees the progress dialog of Load and Export (nothing by default).
  ProgressObserver observeProgress;
};

// "List Mode Files (*.fcs)" or "All files (*)" (instrument files are also
// named .LMD, .001, ...), default extension .fcs.
std::optional<QString> ChooseFileWithDialog(QWidget* parent);
// A message box titled like the window, with an OK button.
void ShowMessageBox(QWidget* parent, const QString& text);
// A question box titled like the window, with Yes and No (No the default).
bool AskYesNoBox(QWidget* parent, const QString& text);
// A dialog that picks an existing folder or makes a new one.
std::optional<QString> ChooseFolderWithDialog(QWidget* parent, const QString& current);
// Tahoma 8 pt where installed, else the platform's sans-serif at 8 pt.
QFont FormFont();

class TBarcodesetupform final : public QWidget, public WorkspaceView {
  Q_OBJECT

 public:
  // Client area and placement of the window as it opens.
  static constexpr int kClientWidth = 1064;
  static constexpr int kClientHeight = 525;
  // The column on the right: plate panel over the small histograms.
  static constexpr int kPanelWidth = 432;
  static constexpr int kPlateHeight = 262;

  // Builds the controls, then runs FormCreate.
  explicit TBarcodesetupform(FormServices services = {}, QWidget* parent = nullptr);
  ~TBarcodesetupform() override;

  Workspace& workspace() noexcept { return *workspace_; }
  // Opens a file as Open does with the dialog's answer (a file named on
  // the command line).
  void OpenFile(const QString& path);

  // The controls, by the names the rest of the tool and the tests know.
  QPushButton* OpenBtn = nullptr;
  QLabel* Label1 = nullptr;
  QSpinBox* Bitnum = nullptr;
  QComboBox* Par = nullptr;
  QPushButton* Load = nullptr;
  QComboBox* GuessBox = nullptr;         // how Load guesses, beside it
  QLabel* MarginLabel = nullptr;
  QDoubleSpinBox* MarginEdit = nullptr;  // the ambiguity margin, in decades
  HistogramChart* Chart = nullptr;
  QPushButton* ExportBtn = nullptr;
  QCheckBox* Includebarcode = nullptr;
  // The output folder and the button that changes it.
  QPushButton* FolderBtn = nullptr;
  QLabel* DirLabel = nullptr;
  // Added beside them.
  QLabel* ThresholdLabel = nullptr;
  QLineEdit* Threshold = nullptr;
  QLabel* ShareAbove = nullptr;
  DecadeRuler* Ruler = nullptr;
  PlatePanel* Plate = nullptr;
  HistogramStrip* Strip = nullptr;
  // Writes and opens the demo plate (in the top row, after Folder...).
  QPushButton* DemoBtn = nullptr;

  // --- handlers, run by the controls ---
  void FormCreate();
  void OpenBtnClick();
  void BitnumChange();
  void ParChange();
  void LoadClick();
  void ChartCursorChange();
  void MarginChange();
  void ChartDblClick();
  void ExportBtnClick();
  void FolderBtnClick();
  void DemoBtnClick();
  void ThresholdEntered();
  void ChartStep(int steps);
  // Applies a dragged cursor position not yet passed on (see above).
  void ApplyPendingCursor();

  // --- WorkspaceView ---
  int CurrentBit() const override;
  void ParClear() override;
  void ParAdd(const std::string& text) override;
  int ParCount() const override;
  std::string ParItem(int index) const override;
  int ParSelected() const override;
  void SetParSelected(int index) override;
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void ShowFile(const std::string& path, const std::string& outputDir) override;
  void ChartClear() override;
  void ChartAddPoint(double x, double y) override;
  void SetCursorX(double x) override;
  double CursorX() const override;
  std::optional<std::string> AskOpenFile() override;
  std::optional<std::string> AskOutputDir(const std::string& current) override;
  bool IncludeBarcode() const override;
  void ShowPlate(const PlateCounts& counts) override;
  void ShowBitHistogram(int bit, const std::string& parameter, const Thistogram* histogram,
                        double threshold) override;
  void ShowBitThreshold(int bit, double threshold) override;
  void ShowThreshold(double threshold, std::optional<double> shareAbove) override;
  void ShowRuler(const std::vector<RulerTick>& ticks) override;
  void RunLong(const std::string& title, bool cancellable,
               const std::function<void(const Progress&)>& work) override;
  ThresholdGuess ChosenGuess() const override;
  double MarginDecades() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // The wheel over the parameter list changes the bit's parameter only
  // when the list has the focus (a page scrolled past it must not).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildAdditions();
  void Wire();
  void LayOutBottom();
  void ShowOutputDir();
  // Runs a handler; an error that escapes it is shown in a message box so
  // that it never unwinds through Qt's event loop.
  void Guarded(const std::function<void()>& handler);

  FormServices services_;
  std::unique_ptr<Workspace> workspace_;
  // Set while the program changes the parameter list, whose change signals
  // then are not the user's.
  bool settingPar_ = false;
  QString outputDir_;  // as DirLabel shows it, elided to its width
  // A dragged position waits here for the next turn of the event loop.
  QTimer cursorTimer_;
  bool cursorPending_ = false;
  // The threshold the field shows while nobody types into it.
  QString thresholdText_;
  // Set while Load or Export runs: handlers then do nothing.
  bool busy_ = false;
};

}  // namespace dbc
