// What the window shows beside the original controls, driven through the
// real widgets: the plate panel following a dragged cursor (counted as
// `debarcode run --dry-run --json` counts the same thresholds), the
// threshold field, the arrow keys, the small histograms, the ruler, the
// title, and Load and Export with their progress dialog (Cancel, clicks
// meanwhile).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/workspace.h"
#include "cli/commands.h"
#include "fcs/dataset.h"
#include "gui/barcode_setup_form.h"
#include "gui/decade_ruler.h"
#include "gui/histogram_chart.h"
#include "gui/histogram_strip.h"
#include "gui/plate_panel.h"
#include "gui_test_helpers.h"
#include "stats/histogram.h"

using dbc::TBarcodesetupform;

namespace {

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The shortest text that reads back as exactly this double.
std::string Exact(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, end);
}

}  // namespace

class WindowPlateTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  QString plate_;
  QStringList messages_;
  std::optional<QString> answer_;
  int dialogs_ = 0;
  // Called with the progress dialog of Load and Export.
  std::function<void(QProgressDialog&)> onProgress_;
  std::unique_ptr<TBarcodesetupform> form_;

  dbc::Workspace& ws() { return form_->workspace(); }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void OpenAndLoad() {
    answer_ = plate_;
    Click(form_->OpenBtn);
    Click(form_->Load);
    QCOMPARE(messages_, QStringList());
  }
  // Wells and trash as the panel shows them against the engine's counts.
  void ExpectPanelShowsTheEngine() {
    const dbc::PlateCounts& shown = form_->Plate->Counts();
    const dbc::PlateCounts& engine = ws().engine().Counts();
    QCOMPARE(shown.perCode, engine.perCode);
    QCOMPARE(shown.trash, engine.trash);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 12; ++c) QCOMPARE(shown.wells[r][c], engine.wells[r][c]);
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    dbc::BuildPlateTables();
    plate_ = QDir(tmp_.path()).filePath(QStringLiteral("plate.fcs"));
    dbc::SyntheticPlateOptions options;
    options.events = 20000;
    options.params = 10;
    dbc::WriteSyntheticPlate(Bytes(plate_), options);
  }

  void init() {
    messages_.clear();
    answer_.reset();
    dialogs_ = 0;
    onProgress_ = nullptr;
    QDir(QDir(tmp_.path()).filePath(QStringLiteral("plate"))).removeRecursively();
    dbc::FormServices services;
    services.chooseFile = [this](QWidget*) {
      ++dialogs_;
      return answer_;
    };
    services.showMessage = [this](QWidget*, const QString& text) { messages_ << text; };
    services.observeProgress = [this](QProgressDialog& d) {
      if (onProgress_) onProgress_(d);
    };
    form_ = std::make_unique<TBarcodesetupform>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }

  void cleanup() { form_.reset(); }

  void additionsSitBesideTheOriginalControls() {
    TBarcodesetupform& f = *form_;
    // The original controls, and the output folder's beside Open.
    const QList<QWidget*> original{f.OpenBtn, f.Label1,    f.Bitnum,         f.Par,       f.Load,
                                   f.Chart,   f.ExportBtn, f.Includebarcode, f.FolderBtn, f.DirLabel};
    const QList<QWidget*> added{f.ThresholdLabel, f.Threshold, f.ShareAbove, f.Plate,
                                static_cast<QWidget*>(f.Strip), f.DemoBtn};
    const QRect window(QPoint(0, 0), f.size());
    for (QWidget* a : added) {
      QVERIFY2(window.contains(a->geometry()), qPrintable(a->objectName()));
      for (QWidget* o : original)
        QVERIFY2(!a->geometry().intersects(o->geometry()),
                 qPrintable(a->objectName() + QStringLiteral(" over ") + o->objectName()));
    }
    // The field is on the bit box's row; plate and histograms right of the chart.
    QCOMPARE(f.Threshold->geometry().top(), f.Bitnum->geometry().top());
    QVERIFY(f.Plate->geometry().left() > f.Chart->geometry().right());
    QVERIFY(f.Strip->geometry().left() > f.Chart->geometry().right());
    // The ruler lies under the chart's plot area, inside the chart.
    const QRect ruler(f.Ruler->mapTo(f.Chart, QPoint(0, 0)), f.Ruler->size());
    QVERIFY(f.Chart->rect().contains(ruler));
    QVERIFY(ruler.top() >= f.Chart->PlotRect().bottom());
    QCOMPARE(f.windowTitle(), QStringLiteral("Barcode Setup"));
    QCOMPARE(f.Plate->Counts().total, 0);
  }

  void titleNamesTheOpenedFile() {
    answer_ = plate_;
    Click(form_->OpenBtn);
    QCOMPARE(form_->windowTitle(), QStringLiteral("Barcode Setup - plate.fcs"));
    // A file that cannot be used: no file, no name.
    const QString junk = QDir(tmp_.path()).filePath(QStringLiteral("junk.fcs"));
    dbc::guitest::WriteAll(junk, QByteArray(400, 'x'));
    answer_ = junk;
    Click(form_->OpenBtn);
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(form_->windowTitle(), QStringLiteral("Barcode Setup"));
  }

  // Dragging bit 3's cursor: while the mouse moves and after it lets go,
  // the panel shows what the command counts for the same thresholds.
  void draggingUpdatesThePlateAsTheCommandCountsIt() {
    OpenAndLoad();
    form_->Bitnum->setValue(3);
    ExpectPanelShowsTheEngine();
    const dbc::PlateCounts before = form_->Plate->Counts();
    QCOMPARE(before.total, 20000);

    dbc::HistogramChart* chart = form_->Chart;
    QWidget* vp = chart->viewport();
    const double px = chart->CursorPixelX();
    const double y = chart->PlotRect().center().y();
    dbc::guitest::SendMouse(vp, QEvent::MouseButtonPress, QPointF(px, y), Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 8; ++i)
      dbc::guitest::SendMouse(vp, QEvent::MouseMove, QPointF(px + 12 * i, y), Qt::NoButton, Qt::LeftButton);
    // One turn of the event loop applies the latest position only.
    QCoreApplication::processEvents();
    QCOMPARE(ws().Threshold(3), chart->CursorX());
    ExpectPanelShowsTheEngine();
    QCOMPARE(form_->Strip->Threshold(3), chart->CursorX());
    dbc::guitest::SendMouse(vp, QEvent::MouseMove, QPointF(px + 120, y), Qt::NoButton, Qt::LeftButton);
    dbc::guitest::SendMouse(vp, QEvent::MouseButtonRelease, QPointF(px + 120, y), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(ws().Threshold(3), chart->CursorX());
    ExpectPanelShowsTheEngine();
    QVERIFY2(form_->Plate->Counts().trash != before.trash, "the move changed the plate");

    // The command, given every bit's threshold exactly.
    dbc::cli::RunOptions o;
    o.input = Bytes(plate_);
    o.dryRun = true;
    o.json = true;
    for (int bit = 1; bit <= 7; ++bit) o.thresholds.push_back(std::to_string(bit) + "=" + Exact(ws().Threshold(bit)));
    std::ostringstream out, err;
    QCOMPARE(dbc::cli::RunRun(o, out, err), 0);
    const auto report = nlohmann::json::parse(out.str());
    const dbc::PlateCounts& shown = form_->Plate->Counts();
    QCOMPARE(report["trash"].get<std::int64_t>(), shown.trash);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 12; ++c)
        QCOMPARE(report["wells"][dbc::WellName(r, c)].get<std::int64_t>(), shown.wells[r][c]);
    QCOMPARE(report["exported"].get<bool>(), false);
  }

  void typingAThresholdMovesTheCursor_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::newRow("number") << QStringLiteral("1.75") << true << 1.75;
    QTest::newRow("blanks and sign") << QStringLiteral(" +2.5 ") << true << 2.5;
    QTest::newRow("comma") << QStringLiteral("1,5") << false << 0.0;
    QTest::newRow("words") << QStringLiteral("high") << false << 0.0;
  }
  void typingAThresholdMovesTheCursor() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    OpenAndLoad();
    form_->Bitnum->setValue(2);
    const double before = ws().Threshold(2);
    QCOMPARE(form_->Threshold->text(), QString::number(before, 'f', 4));
    QVERIFY(form_->ShareAbove->text().endsWith(QStringLiteral(" % above")));

    form_->Threshold->setFocus();
    form_->Threshold->selectAll();
    QTest::keyClicks(form_->Threshold, text);
    QCOMPARE(ws().Threshold(2), before);  // nothing moves before Enter
    QTest::keyClick(form_->Threshold, Qt::Key_Return);
    const double expected = accepted ? value : before;
    QCOMPARE(form_->Chart->CursorX(), expected);
    QCOMPARE(ws().Threshold(2), expected);
    QCOMPARE(form_->Strip->Threshold(2), expected);
    QCOMPARE(form_->Threshold->text(), QString::number(expected, 'f', 4));
    ExpectPanelShowsTheEngine();
    QCOMPARE(messages_, QStringList());
  }

  void textLeftWithoutEnterGoesBack() {
    OpenAndLoad();
    const QString shown = form_->Threshold->text();
    form_->Threshold->setFocus();
    form_->Threshold->selectAll();
    QTest::keyClicks(form_->Threshold, QStringLiteral("3.5"));
    form_->Chart->setFocus();  // leaves the field
    QCOMPARE(form_->Threshold->text(), shown);
    QCOMPARE(QString::number(ws().Threshold(1), 'f', 4), shown);
  }

  void arrowKeysMoveTheCursorByOnePoint() {
    OpenAndLoad();
    form_->Bitnum->setValue(4);
    const dbc::Thistogram* h = ws().Histo(4);
    QVERIFY(h != nullptr);
    const std::vector<double> xs(h->Xvalue.begin(), h->Xvalue.end());
    const double guess = form_->Chart->CursorX();
    const auto next = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), guess) - xs.begin());
    QVERIFY(next > 0 && next + 12 < xs.size());

    form_->Chart->setFocus();
    QTest::keyClick(form_->Chart, Qt::Key_Right);
    QCOMPARE(form_->Chart->CursorX(), xs[next]);
    QTest::keyClick(form_->Chart, Qt::Key_Right);
    QCOMPARE(form_->Chart->CursorX(), xs[next + 1]);
    QTest::keyClick(form_->Chart, Qt::Key_Left);
    QCOMPARE(form_->Chart->CursorX(), xs[next]);
    QTest::keyClick(form_->Chart, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(form_->Chart->CursorX(), xs[next + 10]);
    QCOMPARE(ws().Threshold(4), xs[next + 10]);
    QCOMPARE(form_->Threshold->text(), QString::number(xs[next + 10], 'f', 4));
    ExpectPanelShowsTheEngine();
  }

  void clickOnASmallHistogramSelectsItsBit() {
    OpenAndLoad();
    for (int bit = 1; bit <= 7; ++bit) {
      QCOMPARE(form_->Strip->Points(bit).size(), 1024);
      QCOMPARE(form_->Strip->Threshold(bit), ws().Threshold(bit));
      const QString name = QString::fromStdString(ws().DataSet()->ParName(ws().bit2par(bit)));
      QCOMPARE(form_->Strip->Label(bit), QString::number(bit) + QStringLiteral("  ") + name);
    }
    QTest::mouseClick(form_->Strip, Qt::LeftButton, {}, form_->Strip->BitRect(5).center());
    QCOMPARE(form_->Bitnum->value(), 5);
    QCOMPARE(form_->Strip->CurrentBit(), 5);
    QCOMPARE(form_->Par->currentIndex(), ws().bit2par(5));
    QCOMPARE(form_->Chart->Points().front().y(), ws().Histo(5)->Yvalue[0]);
    QCOMPARE(form_->Chart->CursorX(), ws().Threshold(5));
    QCOMPARE(messages_, QStringList());
  }

  void rulerShowsDecadesOfTheMeasuredValue() {
    OpenAndLoad();
    const QStringList labels = form_->Ruler->VisibleLabels();
    QVERIFY2(labels.size() >= 2, qPrintable(labels.join(' ')));
    for (const QString& l : labels) QVERIFY2(l == QStringLiteral("0") || l.contains(QStringLiteral("10")), qPrintable(l));
    const double left = form_->Chart->Points().front().x(), right = form_->Chart->Points().back().x();
    for (const dbc::RulerTick& t : form_->Ruler->Ticks()) QVERIFY(t.x >= left && t.x <= right);
    // Labels never overlap, whatever the chart's width.
    form_->resize(form_->minimumSize());
    QVERIFY(form_->Ruler->VisibleLabels().size() <= labels.size());
  }

  void clickOnAWellShowsItsCode() {
    OpenAndLoad();
    QVERIFY(form_->Plate->WellText().isEmpty());
    QTest::mouseClick(form_->Plate, Qt::LeftButton, {}, form_->Plate->WellRect(1, 2).center());
    QCOMPARE(form_->Plate->SelectedWell(), std::make_optional(std::make_pair(1, 2)));
    const QString text = form_->Plate->WellText();
    QVERIFY2(text.startsWith(QStringLiteral("B03: ")), qPrintable(text));
    QVERIFY2(text.endsWith(QString::fromStdString(dbc::CodeBitsText(dbc::well2code[1][2]))), qPrintable(text));
    QVERIFY(text.contains(QLocale(QLocale::English).toString(
        static_cast<qlonglong>(ws().engine().Counts().wells[1][2]))));
    QVERIFY(form_->Plate->SummaryText().startsWith(QStringLiteral("In wells ")));
  }

  void exportCancelledLeavesNoFile() {
    OpenAndLoad();
    bool sawCancel = false;
    onProgress_ = [&](QProgressDialog& d) {
      if (d.windowTitle() != QStringLiteral("Export")) return;
      if (auto* cancel = d.findChild<QPushButton*>()) {
        sawCancel = true;
        cancel->click();
      }
    };
    Click(form_->ExportBtn);
    QVERIFY(sawCancel);
    QCOMPARE(messages_, QStringList());  // no "Done", no error
    QVERIFY(!QDir(QDir(tmp_.path()).filePath(QStringLiteral("plate"))).exists());

    // Without Cancel the same Export writes the plate.
    onProgress_ = nullptr;
    Click(form_->ExportBtn);
    QCOMPARE(messages_.size(), 1);
    QVERIFY(messages_.front().startsWith(QStringLiteral("Done\n")));
    QVERIFY(QFile::exists(QDir(tmp_.path()).filePath(QStringLiteral("plate/trash/trash.fcs"))));
  }

  // Load shows its progress dialog, without Cancel; clicks and keys made
  // meanwhile are dropped, not replayed afterwards.
  void clicksDuringLoadAreDropped() {
    answer_ = plate_;
    Click(form_->OpenBtn);
    QCOMPARE(dialogs_, 1);
    QStringList titles;
    bool loadHadCancel = true;
    onProgress_ = [&](QProgressDialog& d) {
      if (titles.contains(d.windowTitle())) return;
      titles << d.windowTitle();
      loadHadCancel = d.findChild<QPushButton*>() != nullptr;
      Click(form_->ExportBtn);
      Click(form_->OpenBtn);
      QTest::keyClick(form_->Bitnum, Qt::Key_Up);
      dbc::guitest::Drag(form_->Chart->viewport(), QPointF(form_->Chart->CursorPixelX(), 100),
                         QPointF(form_->Chart->CursorPixelX() + 80, 100));
    };
    Click(form_->Load);
    QCoreApplication::processEvents();
    QCOMPARE(titles, QStringList{QStringLiteral("Load")});
    QVERIFY(!loadHadCancel);
    QCOMPARE(dialogs_, 1);
    QCOMPARE(messages_, QStringList());
    QCOMPARE(form_->Bitnum->value(), 1);
    QCOMPARE(ws().Threshold(1), ws().engine().GuessedThreshold(1));
    QVERIFY(!QDir(QDir(tmp_.path()).filePath(QStringLiteral("plate"))).exists());
    QVERIFY(ws().engine().AllLoaded());
    // Afterwards the window takes clicks again.
    onProgress_ = nullptr;
    QTest::keyClick(form_->Bitnum, Qt::Key_Up);
    QCOMPARE(form_->Bitnum->value(), 2);
  }

  void fileDialogAlsoOffersAllFiles() {
    QStringList filters;
    QTimer::singleShot(0, this, [&filters] {
      if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        filters = d->nameFilters();
        d->reject();
      }
    });
    QCOMPARE(dbc::ChooseFileWithDialog(form_.get()), std::nullopt);
    QCOMPARE(filters, (QStringList{QStringLiteral("List Mode Files (*.fcs)"), QStringLiteral("All files (*)")}));
  }
};

QTEST_MAIN(WindowPlateTest)
#include "window_plate_test.moc"
