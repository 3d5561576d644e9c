#include "gui/barcode_setup_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStringDecoder>
#include <algorithm>
#include <exception>

#include "app/workspace.h"
#include "gui/decade_ruler.h"
#include "gui/histogram_chart.h"
#include "gui/histogram_strip.h"
#include "gui/plate_panel.h"

namespace dbc {

namespace {

const QString kTitle = QStringLiteral("Barcode Setup");
// Where the threshold field's row starts, right of the parameter list.
constexpr int kThresholdLeft = 288;

QString FromBytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Messages mix keyword text (single-byte) with paths in the file system's
// encoding; text that is valid UTF-8 is shown as such, anything else byte
// for byte.
QString MessageText(const std::string& text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  return utf8.hasError() ? FromBytes(text) : decoded;
}

// The wait cursor over the whole application while a long handler runs.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

std::optional<QString> ChooseFileWithDialog(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Open"), QString(),
                     QStringLiteral("List Mode Files (*.fcs);;All files (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("fcs"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

void ShowMessageBox(QWidget* parent, const QString& text) {
  // A box shown in the middle of Load or Export gets the ordinary pointer.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, parent);
  box.exec();
  if (busy) QApplication::restoreOverrideCursor();
}

bool AskYesNoBox(QWidget* parent, const QString& text) {
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  const bool yes = box.exec() == QMessageBox::Yes;
  if (busy) QApplication::restoreOverrideCursor();
  return yes;
}

std::optional<QString> ChooseFolderWithDialog(QWidget* parent, const QString& current) {
  QFileDialog dialog(parent, QStringLiteral("Output folder"), current);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList dirs = dialog.selectedFiles();
  if (dirs.isEmpty()) return std::nullopt;
  return dirs.front();
}

QFont FormFont() {
  const QString tahoma = QStringLiteral("Tahoma");
  QFont font = QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive)
                   ? QFont(tahoma)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

TBarcodesetupform::TBarcodesetupform(FormServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
  if (!services_.chooseFile) services_.chooseFile = ChooseFileWithDialog;
  if (!services_.showMessage) services_.showMessage = ShowMessageBox;
  if (!services_.askYesNo) services_.askYesNo = AskYesNoBox;
  if (!services_.chooseFolder) services_.chooseFolder = ChooseFolderWithDialog;
  if (!services_.chooseColor) services_.chooseColor = ChooseColorWithDialog;

  setObjectName(QStringLiteral("Barcodesetupform"));
  setWindowTitle(kTitle);
  setFont(FormFont());
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  BuildControls();
  BuildAdditions();
  resize(kClientWidth + kPanelWidth, kClientHeight);
  move(0, 0);
  LayOutBottom();

  workspace_ = std::make_unique<Workspace>(*this);
  Wire();
  FormCreate();
}

TBarcodesetupform::~TBarcodesetupform() {
  // QWidget's destructor deletes the controls after this object has ceased
  // to be a form; what they signal then (the parameter box losing focus)
  // must not reach it.
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

void TBarcodesetupform::BuildControls() {
  OpenBtn = new QPushButton(QStringLiteral("Open"), this);
  OpenBtn->setObjectName(QStringLiteral("OpenBtn"));
  OpenBtn->setGeometry(16, 16, 75, 25);

  // A label sizes itself to its caption.
  Label1 = new QLabel(QStringLiteral("Bit"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(16, 64);
  Label1->resize(Label1->sizeHint().expandedTo(QSize(12, 13)));

  Bitnum = new QSpinBox(this);
  Bitnum->setObjectName(QStringLiteral("Bitnum"));
  Bitnum->setGeometry(42, 61, 31, 22);
  Bitnum->setRange(1, 7);
  Bitnum->setValue(1);
  // Text left out of range when the box loses focus becomes the nearest bit.
  Bitnum->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);

  Par = new QComboBox(this);
  Par->setObjectName(QStringLiteral("Par"));
  Par->setGeometry(128, 61, 145, 21);
  Par->setEditable(true);
  // Typed text never becomes a new item: the list is the file's parameters.
  Par->setInsertPolicy(QComboBox::NoInsert);
  // Focus by click or Tab only, not by the wheel; see eventFilter.
  Par->setFocusPolicy(Qt::StrongFocus);
  Par->installEventFilter(this);

  Load = new QPushButton(QStringLiteral("Load"), this);
  Load->setObjectName(QStringLiteral("Load"));
  Load->setGeometry(16, 96, 75, 25);

  // Beside Load: the guess it uses.
  GuessBox = new QComboBox(this);
  GuessBox->setObjectName(QStringLiteral("GuessBox"));
  GuessBox->setGeometry(100, 98, 97, 21);
  for (const std::string& name : GuessNames()) GuessBox->addItem(QString::fromStdString(name));
  GuessBox->setToolTip(QStringLiteral("How Load guesses the thresholds"));

  Chart = new HistogramChart(this);
  Chart->setObjectName(QStringLiteral("Chart"));

  ExportBtn = new QPushButton(QStringLiteral("Export"), this);
  ExportBtn->setObjectName(QStringLiteral("ExportBtn"));

  Includebarcode = new QCheckBox(QStringLiteral("Include barcode"), this);
  Includebarcode->setObjectName(QStringLiteral("Includebarcode"));
  Includebarcode->setChecked(false);

  // Beside Open: where Export writes, and the button that changes it.
  FolderBtn = new QPushButton(QStringLiteral("Folder..."), this);
  FolderBtn->setObjectName(QStringLiteral("FolderBtn"));
  FolderBtn->setGeometry(112, 16, 75, 25);
  FolderBtn->setEnabled(false);
  DirLabel = new QLabel(this);
  DirLabel->setObjectName(QStringLiteral("DirLabel"));
  DirLabel->setTextFormat(Qt::PlainText);

  QWidget::setTabOrder(Par, Chart);
  QWidget::setTabOrder(Chart, Bitnum);
  QWidget::setTabOrder(Bitnum, OpenBtn);
  QWidget::setTabOrder(OpenBtn, Load);
  QWidget::setTabOrder(Load, GuessBox);
  QWidget::setTabOrder(GuessBox, ExportBtn);
  QWidget::setTabOrder(ExportBtn, Includebarcode);
  QWidget::setTabOrder(Includebarcode, FolderBtn);
  Par->setFocus();
}

// What the window shows beside the original controls: the threshold field
// right of the parameter list, the ruler under the chart's plot, the plate
// and the small histograms in the column on the right.
void TBarcodesetupform::BuildAdditions() {
  ThresholdLabel = new QLabel(QStringLiteral("Threshold"), this);
  ThresholdLabel->setObjectName(QStringLiteral("ThresholdLabel"));
  ThresholdLabel->move(kThresholdLeft, 64);
  ThresholdLabel->resize(ThresholdLabel->sizeHint());

  Threshold = new QLineEdit(this);
  Threshold->setObjectName(QStringLiteral("Threshold"));
  Threshold->setGeometry(ThresholdLabel->geometry().right() + 7, 61, 70, 21);
  Threshold->setToolTip(QStringLiteral("The selected bit's threshold on the log scale; Enter moves the cursor"));

  ShareAbove = new QLabel(this);
  ShareAbove->setObjectName(QStringLiteral("ShareAbove"));
  ShareAbove->setGeometry(Threshold->geometry().right() + 7, 64, 110, 15);
  ShareAbove->setToolTip(QStringLiteral("Share of the events at or above the threshold"));

  DemoBtn = new QPushButton(QStringLiteral("Demo plate"), this);
  DemoBtn->setObjectName(QStringLiteral("DemoBtn"));
  DemoBtn->setGeometry(200, 16, std::max(75, DemoBtn->sizeHint().width()), 25);
  DemoBtn->setToolTip(QStringLiteral("Write a synthetic barcoded plate of 200,000 events and open it"));

  // Under the threshold: the margin that sets events close to a threshold
  // aside.
  MarginLabel = new QLabel(QStringLiteral("Margin"), this);
  MarginLabel->setObjectName(QStringLiteral("MarginLabel"));
  MarginLabel->move(kThresholdLeft, 101);
  MarginLabel->resize(MarginLabel->sizeHint());
  MarginEdit = new QDoubleSpinBox(this);
  MarginEdit->setObjectName(QStringLiteral("MarginEdit"));
  MarginEdit->setGeometry(Threshold->geometry().left(), 98, Threshold->width(), 22);
  MarginEdit->setRange(0, 1);
  MarginEdit->setDecimals(2);
  MarginEdit->setSingleStep(0.05);
  MarginEdit->setValue(0);
  MarginEdit->setToolTip(
      QStringLiteral("Decades: an event this close to a threshold on any bit goes to trash/ambiguous.fcs"));

  Ruler = new DecadeRuler(Chart);
  Plate = new PlatePanel(this);
  Strip = new HistogramStrip(this);
  Strip->setToolTip(QStringLiteral("Click a channel to show it in the chart"));

  QWidget::setTabOrder(Bitnum, Threshold);
  QWidget::setTabOrder(Threshold, MarginEdit);
  QWidget::setTabOrder(MarginEdit, OpenBtn);
  QWidget::setTabOrder(OpenBtn, DemoBtn);
  QWidget::setTabOrder(DemoBtn, Load);
  setMinimumSize(Par->geometry().right() + 16 + kPanelWidth,
                 std::max(135 + 100 + 43, 16 + kPlateHeight + 8 + Strip->minimumSizeHint().height() + 12));
}

// The chart takes whatever the window grows by; the bottom row keeps its
// distance from the bottom edge, the column on the right its width and its
// distance from the right edge.
void TBarcodesetupform::LayOutBottom() {
  const int w = width();
  const int h = height();
  Chart->setGeometry(16, 135, std::max(0, w - 24 - kPanelWidth), std::max(0, h - 135 - 43));
  const int side = w - kPanelWidth;
  Plate->setGeometry(side, 16, kPanelWidth - 8, kPlateHeight);
  const int stripTop = 16 + kPlateHeight + 8;
  Strip->setGeometry(side, stripTop, kPanelWidth - 8, std::max(0, h - 12 - stripTop));
  ExportBtn->setGeometry(16, h - 37, 75, 25);
  Includebarcode->setGeometry(112, h - 33, std::max(97, Includebarcode->sizeHint().width()),
                              17);
  const int dirLeft = DemoBtn->geometry().right() + 14;
  DirLabel->setGeometry(dirLeft, 16, std::max(0, w - dirLeft - 16 - kPanelWidth), 25);
  ShowOutputDir();
}

void TBarcodesetupform::ShowOutputDir() {
  const QString text = outputDir_.isEmpty() ? QString() : QStringLiteral("Output folder: ") + outputDir_;
  DirLabel->setText(DirLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, DirLabel->width()));
  DirLabel->setToolTip(outputDir_);
}

bool TBarcodesetupform::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Par && event->type() == QEvent::Wheel && !Par->hasFocus()) {
    event->ignore();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TBarcodesetupform::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOutBottom();
}

void TBarcodesetupform::Wire() {
  connect(OpenBtn, &QPushButton::clicked, this, [this] { OpenBtnClick(); });
  // valueChanged reports only text that is a number within 1..7, so a value
  // being typed never reaches the workspace out of range; the spin box puts
  // back a valid value when it loses focus.
  connect(Bitnum, &QSpinBox::valueChanged, this, [this] { BitnumChange(); });
  // The user picks an entry: from the list, with the arrow keys or the
  // wheel, through the completer, or by finishing to type a name (Enter or
  // leaving the box), which QComboBox turns into an activation. Text that
  // is still being typed assigns nothing, so that a name on its way to
  // another never takes a parameter away from its bit.
  connect(Par, &QComboBox::activated, this, [this] {
    if (!settingPar_) ParChange();
  });
  // Finished text that names no parameter: the bit gets none.
  connect(Par->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (settingPar_) return;
    const int current = Par->currentIndex();
    if (current >= 0 && Par->itemText(current) == Par->currentText()) return;
    if (current < 0 && Par->currentText().isEmpty()) return;
    if (ParSelected() < 0) ParChange();
  });
  connect(Load, &QPushButton::clicked, this, [this] { LoadClick(); });
  // A drag is applied on the next turn of the event loop, with the latest
  // position; letting go applies it at once.
  cursorTimer_.setSingleShot(true);
  cursorTimer_.setInterval(0);
  connect(&cursorTimer_, &QTimer::timeout, this, [this] { ApplyPendingCursor(); });
  connect(Chart, &HistogramChart::cursorDragged, this, [this] {
    cursorPending_ = true;
    if (!cursorTimer_.isActive()) cursorTimer_.start();
  });
  connect(Chart, &HistogramChart::dragFinished, this, [this] { ApplyPendingCursor(); });
  connect(Chart, &HistogramChart::stepRequested, this, [this](int steps) { ChartStep(steps); });
  connect(Threshold, &QLineEdit::returnPressed, this, [this] { ThresholdEntered(); });
  // Text left without Enter goes back to the threshold in force.
  connect(Threshold, &QLineEdit::editingFinished, this, [this] { Threshold->setText(thresholdText_); });
  connect(DemoBtn, &QPushButton::clicked, this, [this] { DemoBtnClick(); });
  connect(Strip, &HistogramStrip::bitClicked, this, [this](int bit) { Bitnum->setValue(bit); });
  connect(MarginEdit, &QDoubleSpinBox::valueChanged, this, [this] { MarginChange(); });
  connect(Chart, &HistogramChart::doubleClicked, this, [this] { ChartDblClick(); });
  connect(ExportBtn, &QPushButton::clicked, this, [this] { ExportBtnClick(); });
  connect(FolderBtn, &QPushButton::clicked, this, [this] { FolderBtnClick(); });
}

void TBarcodesetupform::Guarded(const std::function<void()>& handler) {
  if (busy_) return;
  try {
    handler();
  } catch (const std::exception& e) {
    ShowMessage(e.what());
  }
}

void TBarcodesetupform::FormCreate() {
  Guarded([this] {
    workspace_->FormCreate();
    Bitnum->setMaximum(7);
  });
}

void TBarcodesetupform::OpenBtnClick() {
  Guarded([this] {
    ApplyPendingCursor();
    workspace_->OpenBtnClick();
  });
}

void TBarcodesetupform::BitnumChange() {
  Guarded([this] {
    ApplyPendingCursor();
    Strip->SetCurrentBit(CurrentBit());
    workspace_->BitnumChange();
  });
}

void TBarcodesetupform::ParChange() {
  Guarded([this] {
    ApplyPendingCursor();
    workspace_->ParChange();
  });
}

void TBarcodesetupform::LoadClick() {
  Guarded([this] {
    ApplyPendingCursor();
    BusyCursor busy;
    workspace_->LoadClick();
  });
}

void TBarcodesetupform::ChartCursorChange() {
  Guarded([this] { workspace_->ChartCursorChange(); });
}

void TBarcodesetupform::ApplyPendingCursor() {
  cursorTimer_.stop();
  if (!cursorPending_) return;
  cursorPending_ = false;
  ChartCursorChange();
}

void TBarcodesetupform::DemoBtnClick() {
  Guarded([this] {
    ApplyPendingCursor();
    workspace_->DemoPlateClick();
  });
}

void TBarcodesetupform::OpenFile(const QString& path) {
  Guarded([this, &path] {
    const QByteArray bytes = QFile::encodeName(path);
    workspace_->OpenFile(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  });
}

void TBarcodesetupform::ThresholdEntered() {
  Guarded([this] {
    ApplyPendingCursor();
    const QByteArray text = Threshold->text().toLatin1();
    workspace_->ThresholdTyped(std::string(text.constData(), static_cast<std::size_t>(text.size())));
  });
}

void TBarcodesetupform::ChartStep(int steps) {
  Guarded([this, steps] {
    ApplyPendingCursor();
    workspace_->CursorStep(steps);
  });
}

void TBarcodesetupform::MarginChange() {
  Guarded([this] { workspace_->MarginChange(); });
}

void TBarcodesetupform::ChartDblClick() {
  Guarded([this] {
    ChartEditorDialog editor(*Chart, services_.chooseColor, this);
    editor.exec();
  });
}

void TBarcodesetupform::ExportBtnClick() {
  Guarded([this] {
    ApplyPendingCursor();
    BusyCursor busy;
    workspace_->ExportBtnClick();
  });
}

void TBarcodesetupform::FolderBtnClick() {
  Guarded([this] { workspace_->FolderBtnClick(); });
}

int TBarcodesetupform::CurrentBit() const { return std::clamp(Bitnum->value(), 1, 7); }

void TBarcodesetupform::ParClear() {
  settingPar_ = true;
  Par->clear();
  Par->clearEditText();
  settingPar_ = false;
}

void TBarcodesetupform::ParAdd(const std::string& text) {
  settingPar_ = true;
  // QComboBox selects the first item added to an empty list; the list is
  // meant to stay without selection until the program sets one.
  const bool hadSelection = Par->currentIndex() >= 0;
  Par->addItem(FromBytes(text));
  if (!hadSelection) {
    Par->setCurrentIndex(-1);
    Par->clearEditText();
  }
  settingPar_ = false;
}

int TBarcodesetupform::ParCount() const { return Par->count(); }

std::string TBarcodesetupform::ParItem(int index) const {
  const QByteArray bytes = Par->itemText(index).toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The entry the box shows: the current item while its text stands, else the
// first item whose text the user typed exactly, else none.
int TBarcodesetupform::ParSelected() const {
  const int current = Par->currentIndex();
  const QString text = Par->currentText();
  if (current >= 0 && Par->itemText(current) == text) return current;
  return Par->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TBarcodesetupform::SetParSelected(int index) {
  settingPar_ = true;
  Par->setCurrentIndex(index >= 0 && index < Par->count() ? index : -1);
  if (Par->currentIndex() < 0) Par->clearEditText();
  settingPar_ = false;
}

void TBarcodesetupform::ShowMessage(const std::string& text) {
  services_.showMessage(this, MessageText(text));
}

bool TBarcodesetupform::AskYesNo(const std::string& text) {
  return services_.askYesNo(this, MessageText(text));
}

void TBarcodesetupform::ShowFile(const std::string& path, const std::string& outputDir) {
  outputDir_ = QFile::decodeName(QByteArray(outputDir.data(), static_cast<qsizetype>(outputDir.size())));
  FolderBtn->setEnabled(!path.empty());
  ShowOutputDir();
  // The title names the opened file.
  const QString name = QFileInfo(QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())))).fileName();
  setWindowTitle(name.isEmpty() ? kTitle : kTitle + QStringLiteral(" - ") + name);
}

void TBarcodesetupform::ChartClear() { Chart->Clear(); }

void TBarcodesetupform::ChartAddPoint(double x, double y) { Chart->AddPoint(x, y); }

// Placed by the program: the chart reports cursorChanged, but only a drag
// runs ChartCursorChange (the workspace stores a placed value itself).
void TBarcodesetupform::SetCursorX(double x) { Chart->SetCursorX(x); }

double TBarcodesetupform::CursorX() const { return Chart->CursorX(); }

std::optional<std::string> TBarcodesetupform::AskOpenFile() {
  const std::optional<QString> path = services_.chooseFile(this);
  if (!path) return std::nullopt;
  const QByteArray bytes = QFile::encodeName(*path);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<std::string> TBarcodesetupform::AskOutputDir(const std::string& current) {
  const std::optional<QString> dir =
      services_.chooseFolder(this, QFile::decodeName(QByteArray(current.data(), static_cast<qsizetype>(current.size()))));
  if (!dir) return std::nullopt;
  const QByteArray bytes = QFile::encodeName(*dir);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool TBarcodesetupform::IncludeBarcode() const { return Includebarcode->isChecked(); }

void TBarcodesetupform::ShowPlate(const PlateCounts& counts) { Plate->SetCounts(counts); }

void TBarcodesetupform::ShowBitHistogram(int bit, const std::string& parameter, const Thistogram* histogram,
                                         double threshold) {
  QList<QPointF> points;
  if (histogram) {
    points.reserve(histogram->Count());
    for (std::size_t i = 0; i < histogram->Xvalue.size() && i < histogram->Yvalue.size(); ++i)
      points.append(QPointF(histogram->Xvalue[i], histogram->Yvalue[i]));
  }
  Strip->SetBit(bit, FromBytes(parameter), std::move(points), threshold);
}

void TBarcodesetupform::ShowBitThreshold(int bit, double threshold) { Strip->SetThreshold(bit, threshold); }

void TBarcodesetupform::ShowThreshold(double threshold, std::optional<double> shareAbove) {
  thresholdText_ = QString::number(threshold, 'f', 4);
  Threshold->setText(thresholdText_);
  Threshold->setCursorPosition(0);
  ShareAbove->setText(shareAbove ? QString::number(100.0 * *shareAbove, 'f', 1) + QStringLiteral(" % above")
                                 : QString());
}

void TBarcodesetupform::ShowRuler(const std::vector<RulerTick>& ticks) { Ruler->SetTicks(ticks); }

void TBarcodesetupform::RunLong(const std::string& title, bool cancellable,
                                const std::function<void(const Progress&)>& work) {
  busy_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{busy_};
  RunLongWork(this, QString::fromStdString(title), cancellable, work, services_.observeProgress);
}

ThresholdGuess TBarcodesetupform::ChosenGuess() const {
  const QByteArray name = GuessBox->currentText().toUtf8();
  return GuessNamed(name.toStdString()).value_or(ThresholdGuess::UpperTail);
}

double TBarcodesetupform::MarginDecades() const { return MarginEdit->value(); }

}  // namespace dbc
