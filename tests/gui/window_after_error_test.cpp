// The window keeps working after every error: in one window, a good file is
// opened and loaded, then a damaged one is opened (and Load and Export are
// tried on whatever that left), then the good file again, which must load
// and export as if nothing had happened. The damaged files are the good
// file with one defect each, from an empty file to a TEXT that claims more
// than the file holds.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/workspace.h"
#include "gui/barcode_setup_form.h"
#include "gui/histogram_chart.h"
#include "gui_test_helpers.h"

using dbc::TBarcodesetupform;
using dbc::guitest::ReadAll;
using dbc::guitest::WriteAll;

namespace {

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The file with the first `from` replaced by `to` (of the same length, so
// that every offset stays right).
QByteArray Replaced(QByteArray bytes, const QByteArray& from, const QByteArray& to) {
  const auto at = bytes.indexOf(from);
  if (at < 0 || from.size() != to.size()) qFatal("cannot replace %s", from.constData());
  return bytes.replace(at, from.size(), to);
}

// The DATA start of the header (bytes 26..33).
qsizetype DataStart(const QByteArray& bytes) { return bytes.mid(26, 8).trimmed().toLongLong(); }

using Damage = std::function<QByteArray(const QByteArray&)>;

}  // namespace

Q_DECLARE_METATYPE(Damage)

class WindowAfterErrorTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  QString plate_;
  QStringList messages_;
  std::optional<QString> answer_;
  std::unique_ptr<TBarcodesetupform> form_;

  QString Path(const QString& name) const { return QDir(tmp_.path()).filePath(name); }
  void Open(const QString& path) {
    answer_ = path;
    QTest::mouseClick(form_->OpenBtn, Qt::LeftButton);
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  // Open, Load and Export of the good file, in the window as it is.
  void UseTheGoodFile() {
    messages_.clear();
    Open(plate_);
    QVERIFY(form_->workspace().HasFile());
    Click(form_->Load);
    QCOMPARE(form_->Chart->Points().size(), 1024);
    Click(form_->ExportBtn);
    QCOMPARE(messages_, QStringList{QStringLiteral("Done")});
  }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    dbc::BuildPlateTables();
    plate_ = Path(QStringLiteral("plate.fcs"));
    dbc::SyntheticPlateOptions options;
    options.events = 2000;
    options.params = 10;
    dbc::WriteSyntheticPlate(Bytes(plate_), options);

    dbc::FormServices services;
    services.chooseFile = [this](QWidget*) { return answer_; };
    // "Done" heads the lines that say where the files went: its first line
    // is what matters here.
    services.showMessage = [this](QWidget*, const QString& text) { messages_ << text.section('\n', 0, 0); };
    // Each damaged file replaces the outputs of the one before.
    services.askYesNo = [](QWidget*, const QString&) { return true; };
    form_ = std::make_unique<TBarcodesetupform>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }

  void cleanupTestCase() { form_.reset(); }

  void damagedThenGood_data() {
    QTest::addColumn<Damage>("damage");
    // What the window says on Open ("%1": the damaged file's path).
    QTest::addColumn<QStringList>("onOpen");
    // Whether the window holds a file afterwards (the damaged one; an open
    // that fails leaves none), then what Load and Export say.
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<QStringList>("onLoadAndExport");

    const QString notFcs = QStringLiteral("File %1 does not look like FCS file!");
    const QStringList noFile{QStringLiteral("No file is open"), QStringLiteral("No file is open")};
    QTest::newRow("empty file") << Damage([](const QByteArray&) { return QByteArray(); })
                                << QStringList{notFcs} << false << noFile;
    QTest::newRow("cut inside the header") << Damage([](const QByteArray& b) { return b.left(40); })
                                           << QStringList{QStringLiteral("FCS Error: Cannot get mandatory pars")}
                                           << false << noFile;
    QTest::newRow("wrong signature") << Damage([](const QByteArray& b) { return Replaced(b, "FCS3.0", "FSC3.0"); })
                                     << QStringList{notFcs} << false << noFile;
    QTest::newRow("TEXT end blank") << Damage([](const QByteArray& b) {
      QByteArray d = b;
      return d.replace(18, 8, QByteArray(8, ' '));
    }) << QStringList{QStringLiteral("Not enough parameters")} << false << noFile;
    QTest::newRow("$PAR beyond the keywords")
        << Damage([](const QByteArray& b) { return Replaced(b, "$PAR/10/", "$PAR/99/"); })
        << QStringList{QStringLiteral("Error reading a dataset")} << false << noFile;
    QTest::newRow("$TOT not a number")
        << Damage([](const QByteArray& b) { return Replaced(b, "$TOT/2000/", "$TOT/2OOO/"); })
        << QStringList{QStringLiteral("'2OOO' is not a valid integer value")} << false << noFile;
    QTest::newRow("$NEXTDATA not a number")
        << Damage([](const QByteArray& b) { return Replaced(b, "$NEXTDATA/0/", "$NEXTDATA/?/"); })
        << QStringList{QStringLiteral("'?' is not a valid integer value")} << false << noFile;
    QTest::newRow("DATA start beyond the file") << Damage([](const QByteArray& b) {
      QByteArray d = b;
      return d.replace(26, 8, QByteArray("99999999"));
    }) << QStringList{QStringLiteral("File %1 is cut short: $TOT announces 2000 events, the file holds 0 complete events, which are read")}
       << true << QStringList{QStringLiteral("The file holds no events"), QStringLiteral("The file holds no events")};
    QTest::newRow("cut inside the DATA")
        << Damage([](const QByteArray& b) { return b.left(DataStart(b) + 1000 * 40 + 17); })
        << QStringList{QStringLiteral("File %1 is cut short: $TOT announces 2000 events, the file holds 1000 complete events, which are read")}
        << true << QStringList{QStringLiteral("Done")};
    // Every value a NaN: no event reaches a bit, every event is trash.
    QTest::newRow("DATA all NaN") << Damage([](const QByteArray& b) {
      QByteArray d = b;
      const qsizetype start = DataStart(d);
      return d.replace(start, d.size() - start, QByteArray(d.size() - start, '\xff'));
    }) << QStringList{} << true << QStringList{QStringLiteral("Done")};
  }

  void damagedThenGood() {
    QFETCH(Damage, damage);
    QFETCH(QStringList, onOpen);
    QFETCH(bool, hasFile);
    QFETCH(QStringList, onLoadAndExport);
    UseTheGoodFile();

    const QString bad = Path(QStringLiteral("damaged.fcs"));
    WriteAll(bad, damage(ReadAll(plate_)));
    messages_.clear();
    Open(bad);
    for (QString& m : onOpen)
      if (m.contains(QStringLiteral("%1"))) m = m.arg(bad);
    QCOMPARE(messages_, onOpen);
    QCOMPARE(form_->workspace().HasFile(), hasFile);
    messages_.clear();
    Click(form_->Load);
    Click(form_->ExportBtn);
    QCOMPARE(messages_, onLoadAndExport);
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    UseTheGoodFile();
  }
};

QTEST_MAIN(WindowAfterErrorTest)
#include "window_after_error_test.moc"
