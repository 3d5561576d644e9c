// The window driven through its real widgets: start state, Open through the
// file-dialog answer, bit and parameter selection, Load, dragging the
// threshold cursor, Export, the refusing messages, errors and the editor.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <memory>

#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/workspace.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/fcs_write.h"
#include "gui/barcode_setup_form.h"
#include "gui/chart_editor.h"
#include "gui/histogram_chart.h"
#include "gui/histogram_strip.h"
#include "gui/plate_panel.h"
#include "gui_test_helpers.h"
#include "stats/histogram.h"

using dbc::TBarcodesetupform;
using dbc::guitest::ReadAll;
using dbc::guitest::WriteAll;

namespace {

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// An FCS file of float events with the given parameter names.
void WriteFcs(const QString& path, const QStringList& names, int events) {
  dbc::TFCSWrite w(Bytes(path));
  w.Text.SetValue("$BYTEORD", "1,2,3,4");
  w.Text.SetValue("$DATATYPE", "F");
  w.Text.SetValue("$MODE", "L");
  w.Text.SetValue("$NEXTDATA", "0");
  w.Text.SetValue("$PAR", std::to_string(names.size()));
  for (int p = 0; p < names.size(); ++p) {
    const std::string n = "$P" + std::to_string(p + 1);
    w.Text.SetValue(n + "N", names[p].toStdString());
    w.Text.SetValue(n + "B", "32");
    w.Text.SetValue(n + "R", "1024");
    w.Text.SetValue(n + "E", "0,0");
  }
  w.BeginData();
  for (int e = 0; e < events; ++e)
    for (int p = 0; p < names.size(); ++p) w.WriteData(static_cast<float>((e * 37 + p) % 1000));
  w.EndData(events);
}

// Number of parameters and events of an FCS file as the reader sees them.
std::pair<int, std::int64_t> Shape(const QString& path) {
  dbc::TFCStream s(Bytes(path), false, true, [](const std::string&) {});
  if (s.dataset.empty()) return {-1, -1};
  return {s.dataset[0]->parcount(), s.dataset[0]->GetEventCount()};
}

}  // namespace

class BarcodeSetupFormTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  QString plate_;
  dbc::SyntheticPlateSummary summary_;
  QStringList messages_;
  // Whether the wait cursor was up when each message was shown.
  QList<bool> busyAtMessage_;
  std::optional<QString> answer_;  // what the file dialog answers
  int dialogs_ = 0;
  std::optional<QString> folderAnswer_;  // what the folder dialog answers
  QStringList questions_;
  bool answerYes_ = true;
  std::unique_ptr<TBarcodesetupform> form_;

  QString Path(const QString& name) const { return QDir(tmp_.path()).filePath(name); }
  QString BarcodeName(int bc) const {  // the name of parameter "BC" + bc
    return QString::fromStdString(
        summary_.names[static_cast<std::size_t>(summary_.barcodeIndex[static_cast<std::size_t>(bc - 1)])]);
  }
  dbc::Workspace& ws() { return form_->workspace(); }

  void Open(const QString& path) {
    answer_ = path;
    QTest::mouseClick(form_->OpenBtn, Qt::LeftButton);
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void SelectBit(int bit) {
    QLineEdit* edit = form_->Bitnum->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, QString::number(bit));
  }
  // The user types into the list's edit field, and presses Enter if `finish`.
  void TypePar(const QString& text, bool finish = true) {
    form_->Par->lineEdit()->selectAll();
    QTest::keyClicks(form_->Par->lineEdit(), text);
    if (finish) QTest::keyClick(form_->Par->lineEdit(), Qt::Key_Return);
  }
  // bit2par of bits 1..7.
  QList<int> Assignment() {
    QList<int> a;
    for (int bit = 1; bit <= 7; ++bit) a << ws().bit2par(bit);
    return a;
  }
  QList<int> Proposed() const {
    QList<int> a;
    for (int bit = 1; bit <= 7; ++bit) a << summary_.barcodeIndex[static_cast<std::size_t>(8 - bit - 1)];
    return a;
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    dbc::BuildPlateTables();
    plate_ = Path(QStringLiteral("plate.fcs"));
    dbc::SyntheticPlateOptions options;
    options.events = 4000;
    options.params = 10;
    summary_ = dbc::WriteSyntheticPlate(Bytes(plate_), options);
  }

  void init() {
    messages_.clear();
    busyAtMessage_.clear();
    answer_.reset();
    dialogs_ = 0;
    folderAnswer_.reset();
    questions_.clear();
    answerYes_ = true;
    dbc::FormServices services;
    services.chooseFolder = [this](QWidget*, const QString&) { return folderAnswer_; };
    services.askYesNo = [this](QWidget*, const QString& text) {
      questions_ << text;
      return answerYes_;
    };
    services.chooseFile = [this](QWidget*) {
      ++dialogs_;
      return answer_;
    };
    services.showMessage = [this](QWidget*, const QString& text) {
      messages_ << text;
      const QCursor* c = QApplication::overrideCursor();
      busyAtMessage_ << (c && c->shape() == Qt::WaitCursor);
    };
    form_ = std::make_unique<TBarcodesetupform>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }

  void cleanup() {
    form_.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void startsEmpty() {
    TBarcodesetupform& f = *form_;
    QCOMPARE(f.windowTitle(), QStringLiteral("Barcode Setup"));
    // The original client area, and the column of the plate on the right.
    QCOMPARE(f.size(), QSize(1064 + TBarcodesetupform::kPanelWidth, 525));
    QCOMPARE(f.pos(), QPoint(0, 0));
    QCOMPARE(f.font().pointSize(), 8);
    QCOMPARE(f.Bitnum->value(), 1);
    QCOMPARE(f.Bitnum->minimum(), 1);
    QCOMPARE(f.Bitnum->maximum(), 7);
    QCOMPARE(f.Par->count(), 0);
    QCOMPARE(f.Par->currentIndex(), -1);
    QVERIFY(f.Par->isEditable());
    QVERIFY(!f.Includebarcode->isChecked());
    QVERIFY(f.Chart->Points().isEmpty());
    QCOMPARE(f.Chart->CursorX(), 0.0);
    QVERIFY(!ws().HasFile());
    for (int bit = 1; bit <= 7; ++bit) QCOMPARE(ws().bit2par(bit), -1);

    const struct {
      QWidget* w;
      QRect geometry;
      QString caption;
    } controls[] = {
        {f.OpenBtn, {16, 16, 75, 25}, QStringLiteral("Open")},
        {f.Bitnum, {42, 61, 31, 22}, {}},
        {f.Par, {128, 61, 145, 21}, {}},
        {f.Load, {16, 96, 75, 25}, QStringLiteral("Load")},
        {f.Chart, {16, 135, 1040, 347}, {}},
        {f.ExportBtn, {16, 488, 75, 25}, QStringLiteral("Export")},
    };
    for (const auto& c : controls) {
      QCOMPARE(c.w->geometry(), c.geometry);
      if (auto* b = qobject_cast<QPushButton*>(c.w)) QCOMPARE(b->text(), c.caption);
    }
    // Label and check box size themselves to the caption in this font.
    QCOMPARE(f.Label1->text(), QStringLiteral("Bit"));
    QCOMPARE(f.Label1->pos(), QPoint(16, 64));
    QCOMPARE(f.Includebarcode->text(), QStringLiteral("Include barcode"));
    QCOMPARE(f.Includebarcode->pos(), QPoint(112, 492));
    QVERIFY(f.Includebarcode->width() >= 97);
  }

  void tabWalksTheControlsInOrder() {
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    Open(plate_);  // the folder button takes the focus only with a file
    // The threshold field joins after the bit box it sits beside, the
    // margin field under it after it; the demo plate button after Open,
    // the other way to a file; the guess after Load.
    const QStringList expected{"Par",       "Chart",    "Bitnum",    "Threshold",      "MarginEdit", "OpenBtn",
                               "DemoBtn",   "Load",     "GuessBox",  "ExportBtn",      "Includebarcode",
                               "FolderBtn"};
    QCOMPARE(dbc::guitest::TabOrder(form_.get(), form_->Par), expected);
  }

  void resizingGrowsTheChartAndKeepsTheBottomRowDown() {
    const int panel = TBarcodesetupform::kPanelWidth;
    form_->resize(1300 + panel, 700);
    QCOMPARE(form_->Chart->geometry(), QRect(16, 135, 1276, 522));
    QCOMPARE(form_->ExportBtn->geometry(), QRect(16, 663, 75, 25));
    QCOMPARE(form_->Includebarcode->pos(), QPoint(112, 667));
    QCOMPARE(form_->OpenBtn->geometry(), QRect(16, 16, 75, 25));
    // The column on the right keeps its width and follows the right edge.
    QCOMPARE(form_->Plate->geometry().left(), 1300);
    QCOMPARE(form_->Plate->geometry().right(), 1300 + panel - 8 - 1);
    QCOMPARE(form_->Strip->geometry().bottom(), 700 - 12 - 1);
    QVERIFY(form_->Strip->geometry().top() > form_->Plate->geometry().bottom());
  }

  void openShowsTheProposedChannel() {
    Open(plate_);
    QCOMPARE(dialogs_, 1);
    QCOMPARE(messages_, QStringList());
    QVERIFY(ws().HasFile());
    QVERIFY(!QDir(Path(QStringLiteral("plate"))).exists());  // made by Export
    QCOMPARE(form_->Par->count(), static_cast<int>(summary_.names.size()));
    for (int i = 0; i < form_->Par->count(); ++i)
      QCOMPARE(form_->Par->itemText(i), QString::fromStdString(summary_.names[static_cast<std::size_t>(i)]));
    // Bit 1 is carried by the BC7 channel.
    QCOMPARE(form_->Par->currentText(), BarcodeName(7));
    QCOMPARE(form_->Par->currentIndex(), summary_.barcodeIndex[6]);
    QCOMPARE(Assignment(), Proposed());
  }

  void changingTheBitShowsItsChannel() {
    Open(plate_);
    QTest::keyClick(form_->Bitnum, Qt::Key_Up);
    QCOMPARE(form_->Bitnum->value(), 2);
    QCOMPARE(form_->Par->currentText(), BarcodeName(6));
    SelectBit(5);
    QCOMPARE(form_->CurrentBit(), 5);
    QCOMPARE(form_->Par->currentText(), BarcodeName(3));
    // A number outside 1..7 cannot be typed; the bit stays.
    SelectBit(9);
    QCOMPARE(form_->CurrentBit(), 5);
    QCOMPARE(messages_, QStringList());
    // Selecting a bit never reassigns parameters.
    QCOMPARE(Assignment(), Proposed());
  }

  void choosingAParameterAssignsItToTheBit() {
    Open(plate_);
    SelectBit(5);
    QList<int> expected = Proposed();
    // Half a name, and a whole one not yet confirmed, assign nothing.
    TypePar(QStringLiteral("BC"), false);
    QCOMPARE(Assignment(), expected);
    TypePar(BarcodeName(5), false);
    QCOMPARE(Assignment(), expected);
    // Enter confirms: bit 5 takes BC5 away from bit 3; nothing else moves.
    QTest::keyClick(form_->Par->lineEdit(), Qt::Key_Return);
    expected[4] = summary_.barcodeIndex[4];
    expected[2] = -1;
    QCOMPARE(Assignment(), expected);

    // A text that names no parameter leaves the bit without one.
    TypePar(QStringLiteral("no such channel"));
    expected[4] = -1;
    QCOMPARE(Assignment(), expected);

    // The arrow keys walk the list, each step an assignment.
    form_->Par->setFocus();
    QTest::keyClick(form_->Par, Qt::Key_Down);
    QCOMPARE(ws().bit2par(5), form_->Par->currentIndex());
    QVERIFY(form_->Par->currentIndex() >= 0);
    QCOMPARE(messages_, QStringList());
  }

  void loadDrawsTheHistogramAndPlacesTheCursor() {
    Open(plate_);
    Click(form_->Load);
    QCOMPARE(messages_, QStringList());
    const dbc::Thistogram* h = ws().Histo(1);
    QVERIFY(h != nullptr);
    const QList<QPointF>& points = form_->Chart->Points();
    QCOMPARE(points.size(), 1024);
    for (int i = 0; i < 1024; ++i) {
      QCOMPARE(points[i].x(), h->Xvalue[static_cast<std::size_t>(i)]);
      QCOMPARE(points[i].y(), h->Yvalue[static_cast<std::size_t>(i)]);
    }
    QCOMPARE(form_->Chart->CursorX(), static_cast<double>(h->GuessThreshold()));
    QCOMPARE(ws().Threshold(1), form_->Chart->CursorX());
    QVERIFY(form_->Chart->CursorX() > points.front().x() && form_->Chart->CursorX() < points.back().x());

    SelectBit(3);
    QCOMPARE(form_->Chart->Points().front().y(), ws().Histo(3)->Yvalue[0]);
    QCOMPARE(form_->Chart->CursorX(), ws().Threshold(3));
  }

  void guessBesideLoadAndMarginFieldBesideIt() {
    // The guess beside Load, the margin under the threshold field, without
    // moving the controls that were there.
    QCOMPARE(form_->GuessBox->geometry(), QRect(100, 98, 97, 21));
    const QRect threshold = form_->Threshold->geometry();
    QCOMPARE(form_->MarginEdit->geometry(), QRect(threshold.left(), 98, threshold.width(), 22));
    QCOMPARE(form_->MarginLabel->pos(), QPoint(form_->ThresholdLabel->x(), 101));
    QCOMPARE(form_->MarginLabel->text(), QStringLiteral("Margin"));
    QCOMPARE(form_->GuessBox->count(), 2);
    QCOMPARE(form_->GuessBox->currentText(), QStringLiteral("specification"));
    QCOMPARE(form_->GuessBox->itemText(1), QStringLiteral("valley"));
    QCOMPARE(form_->MarginEdit->value(), 0.0);
    for (QWidget* w : std::initializer_list<QWidget*>{form_->Load, form_->Par, form_->Chart, form_->Threshold,
                                                      form_->ThresholdLabel, form_->ShareAbove, form_->Plate})
      QVERIFY2(!w->geometry().intersects(form_->GuessBox->geometry()) &&
                   !w->geometry().intersects(form_->MarginEdit->geometry()) &&
                   !w->geometry().intersects(form_->MarginLabel->geometry()),
               qPrintable(w->objectName()));

    Open(plate_);
    form_->GuessBox->setCurrentIndex(1);
    Click(form_->Load);
    QCOMPARE(messages_, QStringList());
    QCOMPARE(ws().Threshold(1), static_cast<double>(ws().Histo(1)->ValleyPoint()));
    QCOMPARE(form_->Chart->CursorX(), ws().Threshold(1));

    // The margin applies as it is typed.
    QLineEdit* edit = form_->MarginEdit->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("0.2"));
    QCOMPARE(ws().engine().Margin(), 0.2);
    QVERIFY(ws().engine().Counts().ambiguous > 0);
    // The plate panel follows.
    QCOMPARE(form_->Plate->Counts().ambiguous, ws().engine().Counts().ambiguous);
    QVERIFY(form_->Plate->AmbiguousText().startsWith(QStringLiteral("Ambiguous (within the margin) ")));
    form_->MarginEdit->setValue(0);
    QCOMPARE(ws().engine().Counts().ambiguous, std::int64_t{0});
    QCOMPARE(form_->Plate->AmbiguousText(), QString());
    QCOMPARE(messages_, QStringList());
  }

  void draggingTheCursorSetsTheCurrentBitsThreshold() {
    Open(plate_);
    Click(form_->Load);
    SelectBit(2);
    const double guess2 = ws().Threshold(2), guess1 = ws().Threshold(1);
    dbc::HistogramChart* chart = form_->Chart;
    const double px = chart->CursorPixelX();
    const double y = chart->PlotRect().center().y();
    dbc::guitest::Drag(chart->viewport(), QPointF(px, y), QPointF(px - 60, y));
    QVERIFY(chart->CursorX() < guess2);
    QCOMPARE(ws().Threshold(2), chart->CursorX());
    QCOMPARE(ws().Threshold(1), guess1);

    // The bit keeps its moved threshold when shown again.
    const double moved = chart->CursorX();
    SelectBit(1);
    QCOMPARE(chart->CursorX(), guess1);
    SelectBit(2);
    QCOMPARE(chart->CursorX(), moved);
  }

  void dragOnTheEmptyChartSetsTheThreshold() {
    dbc::HistogramChart* chart = form_->Chart;
    const double px = chart->CursorPixelX();
    const double y = chart->PlotRect().center().y();
    dbc::guitest::Drag(chart->viewport(), QPointF(px, y), QPointF(px + 100, y));
    QVERIFY(chart->CursorX() > 0.0);
    QCOMPARE(ws().Threshold(1), chart->CursorX());
  }

  void exportWritesTheWellsAndSaysDone() {
    Open(plate_);
    Click(form_->Load);
    Click(form_->ExportBtn);
    QCOMPARE(messages_.size(), 1);
    const QStringList lines = messages_.front().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Done"));
    QCOMPARE(lines[1], QStringLiteral("The files are in ") + Path(QStringLiteral("plate")));
    QVERIFY2(lines[2].endsWith(QStringLiteral(" to the trash")), qPrintable(lines[2]));
    QCOMPARE(busyAtMessage_, QList<bool>{true});
    const QDir out(Path(QStringLiteral("plate")));
    QVERIFY(out.exists(QStringLiteral("debarcode-run.json")));
    QVERIFY(out.exists(QStringLiteral("trash/trash.fcs")));
    const QStringList wells = out.entryList({QStringLiteral("Well_*.fcs")}, QDir::Files);
    QVERIFY2(wells.size() > 48, qPrintable(wells.join(' ')));

    const int par = static_cast<int>(summary_.names.size());
    const QString a01 = out.filePath(wells.front());
    QCOMPARE(Shape(a01).first, par - 7);  // barcode channels left out
    QCOMPARE(Shape(out.filePath(QStringLiteral("trash/trash.fcs"))).first, par);

    QTest::mouseClick(form_->Includebarcode, Qt::LeftButton);
    QVERIFY(form_->Includebarcode->isChecked());
    Click(form_->ExportBtn);
    QCOMPARE(messages_.size(), 2);
    QCOMPARE(Shape(a01).first, par);
  }

  void loadWithAnUndefinedBitSaysSo() {
    Open(plate_);
    // Give bit 3's channel (BC5) to bit 5: bit 3 is left without one.
    SelectBit(5);
    TypePar(BarcodeName(5));
    QCOMPARE(ws().bit2par(5), summary_.barcodeIndex[4]);
    QCOMPARE(ws().bit2par(3), -1);
    Click(form_->Load);
    QCOMPARE(messages_, QStringList{QStringLiteral("Bit 3 is not defined")});
    QCOMPARE(ws().Histo(5), nullptr);
    QVERIFY(form_->Chart->Points().isEmpty());
  }

  void fileWithTooFewParametersIsRefused() {
    const QString six = Path(QStringLiteral("six.fcs"));
    WriteFcs(six, {"BC1", "BC2", "BC3", "BC4", "BC5", "BC6"}, 10);
    Open(six);
    QCOMPARE(messages_, QStringList{QStringLiteral("Not enough parameters")});
    QVERIFY(!ws().HasFile());
  }

  void badFilesShowTheirMessageAndTheWindowGoesOn_data() {
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("message");
    // A keyword the TEXT must hold, misspelt in place.
    QTest::newRow("no data type") << QByteArray("$DATATYPE") << QByteArray("$DATATYPX")
                                  << QStringLiteral("FCS Error: Cannot get mandatory pars");
    QTest::newRow("no FCS signature") << QByteArray("FCS3.0") << QByteArray("XYZ3.0")
                                      << QStringLiteral("File %1 does not look like FCS file!");
  }
  void badFilesShowTheirMessageAndTheWindowGoesOn() {
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, message);
    const QString bad = Path(QStringLiteral("bad.fcs"));
    QByteArray bytes = ReadAll(plate_);
    const auto at = bytes.indexOf(from);
    QVERIFY(at >= 0);
    bytes.replace(at, from.size(), to);
    WriteAll(bad, bytes);

    Open(bad);
    QCOMPARE(messages_, QStringList{message.contains(QStringLiteral("%1")) ? message.arg(bad) : message});
    QVERIFY(!ws().HasFile());

    messages_.clear();
    Open(plate_);
    Click(form_->Load);
    QCOMPARE(messages_, QStringList());
    QCOMPARE(form_->Chart->Points().size(), 1024);
  }

  void cancelledDialogChangesNothingVisible() {
    Open(plate_);
    answer_.reset();
    QTest::mouseClick(form_->OpenBtn, Qt::LeftButton);
    QCOMPARE(dialogs_, 2);
    QCOMPARE(messages_, QStringList());
    QCOMPARE(form_->Par->count(), static_cast<int>(summary_.names.size()));
  }

  // The wheel over the list changes the bit's parameter only while the
  // list has the focus.
  void wheelChangesTheParameterOnlyWithFocus() {
    Open(plate_);
    Click(form_->Load);
    form_->Load->setFocus();
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    const QList<int> before = Assignment();
    auto wheel = [this] {
      const QPoint at = form_->Par->rect().center();
      QWheelEvent event(at, form_->Par->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(form_->Par, &event);
    };
    wheel();
    QCOMPARE(Assignment(), before);
    QCOMPARE(form_->Par->currentIndex(), before[0]);

    form_->Par->setFocus();
    QVERIFY(form_->Par->hasFocus());
    wheel();
    QCOMPARE(form_->Par->currentIndex(), before[0] + 1);
    QCOMPARE(ws().bit2par(1), before[0] + 1);
    // Loaded before: the bit is loaded again with its new parameter.
    QVERIFY(ws().Histo(1) != nullptr);
    QCOMPARE(form_->Chart->CursorX(), ws().Threshold(1));
    QCOMPARE(messages_, QStringList());
  }

  void theOutputFolderIsShownAndCanBeChosen() {
    QVERIFY(!form_->FolderBtn->isEnabled());
    QCOMPARE(form_->DirLabel->text(), QString());
    QCOMPARE(form_->FolderBtn->geometry(), QRect(112, 16, 75, 25));
    Open(plate_);
    QVERIFY(form_->FolderBtn->isEnabled());
    QCOMPARE(form_->DirLabel->toolTip(), Path(QStringLiteral("plate")));
    QVERIFY(form_->DirLabel->text().startsWith(QStringLiteral("Output folder: ")));

    folderAnswer_ = Path(QStringLiteral("chosen"));
    Click(form_->FolderBtn);
    QCOMPARE(form_->DirLabel->toolTip(), Path(QStringLiteral("chosen")));
    Click(form_->Load);
    Click(form_->ExportBtn);
    QVERIFY(QFile::exists(Path(QStringLiteral("chosen/debarcode-run.json"))));
    QCOMPARE(messages_.size(), 1);

    // Another input bound for the same folder: asked; No writes nothing.
    const QString other = Path(QStringLiteral("other.fcs"));
    dbc::SyntheticPlateOptions options;
    options.events = 1000;
    options.params = 10;
    options.seed = 99;
    dbc::WriteSyntheticPlate(Bytes(other), options);
    Open(other);
    QCOMPARE(form_->DirLabel->toolTip(), Path(QStringLiteral("other")));
    Click(form_->FolderBtn);
    Click(form_->Load);
    const QByteArray record = ReadAll(Path(QStringLiteral("chosen/debarcode-run.json")));
    answerYes_ = false;
    Click(form_->ExportBtn);
    QCOMPARE(questions_.size(), 1);
    QVERIFY2(questions_[0].endsWith(QStringLiteral("Replace them?")), qPrintable(questions_[0]));
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(ReadAll(Path(QStringLiteral("chosen/debarcode-run.json"))), record);
    answerYes_ = true;
    Click(form_->ExportBtn);
    QCOMPARE(messages_.size(), 2);
    QVERIFY(messages_.back().startsWith(QStringLiteral("Done\n")));

    // A refused file: no folder shown, the button off.
    const QString six = Path(QStringLiteral("six.fcs"));
    WriteFcs(six, {"BC1", "BC2", "BC3", "BC4", "BC5", "BC6"}, 10);
    Open(six);
    QCOMPARE(form_->DirLabel->text(), QString());
    QVERIFY(!form_->FolderBtn->isEnabled());
  }

  void doubleClickOpensTheChartEditor() {
    QString seen;
    QTimer::singleShot(0, this, [&seen] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* editor = qobject_cast<dbc::ChartEditorDialog*>(modal)) {
        seen = editor->windowTitle();
        editor->reject();
      } else if (modal) {
        modal->close();
      }
    });
    QTest::mouseDClick(form_->Chart->viewport(), Qt::LeftButton, {}, QPoint(300, 150));
    QCOMPARE(seen, QStringLiteral("Edit Chart"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(messages_, QStringList());
  }
};

QTEST_MAIN(BarcodeSetupFormTest)
#include "barcode_setup_form_test.moc"
