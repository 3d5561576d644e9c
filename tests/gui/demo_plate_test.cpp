// The first run: "Demo plate", Load and Export in the window give the 96
// well files and the trash file next to the demo plate; a file named at
// start opens as Open would.
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/demo_plate.h"
#include "app/plate.h"
#include "app/workspace.h"
#include "gui/barcode_setup_form.h"

using dbc::TBarcodesetupform;

class DemoPlateTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  QStringList messages_;
  std::unique_ptr<TBarcodesetupform> form_;

  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    dbc::BuildPlateTables();
    // The demo folder of this test.
    qputenv("DEBARCODE_DEMO_DIR", QFile::encodeName(tmp_.path()));
  }

  void init() {
    messages_.clear();
    dbc::FormServices services;
    services.chooseFile = [](QWidget*) -> std::optional<QString> {
      qFatal("no file dialog expected");
      return std::nullopt;
    };
    services.showMessage = [this](QWidget*, const QString& text) { messages_ << text; };
    form_ = std::make_unique<TBarcodesetupform>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }

  void cleanup() { form_.reset(); }

  void threeClicksFromDemoPlateToWellFiles() {
    QCOMPARE(form_->DemoBtn->text(), QStringLiteral("Demo plate"));
    QVERIFY(form_->DemoBtn->geometry().left() > form_->OpenBtn->geometry().right());
    QCOMPARE(form_->DemoBtn->geometry().top(), form_->OpenBtn->geometry().top());

    Click(form_->DemoBtn);
    const QString plate = QDir(tmp_.path()).filePath(QStringLiteral("demo-plate.fcs"));
    const QString out = QDir(tmp_.path()).filePath(QStringLiteral("demo-plate"));
    QVERIFY(QFile::exists(plate));
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(plate) && messages_[0].contains(out), qPrintable(messages_[0]));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Barcode Setup - demo-plate.fcs"));

    Click(form_->Load);
    Click(form_->ExportBtn);
    QCOMPARE(messages_.size(), 2);
    QVERIFY2(messages_[1].startsWith(QStringLiteral("Done\n")), qPrintable(messages_[1]));
    const QStringList wells = QDir(out).entryList({QStringLiteral("Well_*.fcs")}, QDir::Files);
    QCOMPARE(wells.size(), 96);
    QVERIFY(QFile::exists(QDir(out).filePath(QStringLiteral("trash/trash.fcs"))));

    // Pressed again: the same plate, opened again; its outputs stay its own.
    Click(form_->DemoBtn);
    QCOMPARE(messages_.size(), 3);
    QCOMPARE(QDir(out).entryList({QStringLiteral("Well_*.fcs")}, QDir::Files).size(), 96);
    Click(form_->Load);
    Click(form_->ExportBtn);
    QCOMPARE(messages_.size(), 4);  // "Done": no question about another input's outputs
    QVERIFY(messages_[3].startsWith(QStringLiteral("Done\n")));
  }

  void fileNamedAtStartOpensAsOpenWould() {
    const QString plate =
        QFile::decodeName(QByteArray::fromStdString(dbc::WriteDemoPlate(QFile::encodeName(tmp_.path()).toStdString())));
    form_->OpenFile(plate);
    QCOMPARE(messages_, QStringList());
    QVERIFY(form_->workspace().HasFile());
    QCOMPARE(form_->windowTitle(), QStringLiteral("Barcode Setup - demo-plate.fcs"));
    // A file that is not there: said, and the window stays empty.
    form_->OpenFile(QDir(tmp_.path()).filePath(QStringLiteral("missing.fcs")));
    QCOMPARE(messages_.size(), 1);
    QVERIFY(!form_->workspace().HasFile());
  }
};

QTEST_MAIN(DemoPlateTest)
#include "demo_plate_test.moc"
