// The report in a real browser: headless Chromium renders report.html of a
// synthetic plate into a PNG, which must show the 8 x 12 plate and the
// seven histogram panels, and prints it on two A4 pages. The PNG is read
// with QImage.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <functional>

#include "app/debarcoder.h"
#include "app/plate.h"
#include "app/report.h"
#include "app/synthetic_plate.h"

namespace {

constexpr int kWidth = 800, kHeight = 1900;

// Runs chromium headless on the page with the given extra arguments.
bool RunChromium(const QString& page, const QString& profile, const QStringList& output, QString& log) {
  const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (chromium.isEmpty()) {
    log = QStringLiteral("chromium not found: scripts/setup installs it");
    return false;
  }
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  QStringList args{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                   QStringLiteral("--hide-scrollbars"), QStringLiteral("--user-data-dir=") + profile};
  args << output << QUrl::fromLocalFile(page).toString();
  p.start(chromium, args);
  const bool done = p.waitForFinished(180000);
  log = QString::fromLocal8Bit(p.readAll());
  return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Bands: runs of consecutive lines (rows or columns) in which at least
// `least` pixels of the rectangle satisfy the test, as [first, last].
QList<QPair<int, int>> Bands(const QImage& img, const QRect& area, bool rows, int least,
                             const std::function<bool(QRgb)>& test) {
  QList<QPair<int, int>> bands;
  bool inside = false;
  const int lines = rows ? area.height() : area.width();
  const int along = rows ? area.width() : area.height();
  for (int i = 0; i < lines; ++i) {
    int hits = 0;
    for (int j = 0; j < along; ++j) {
      const int x = area.left() + (rows ? j : i), y = area.top() + (rows ? i : j);
      hits += test(img.pixel(x, y));
    }
    const bool on = hits >= least;
    if (on && !inside) bands.append({i, i});
    if (on) bands.last().second = i;
    inside = on;
  }
  return bands;
}

int Count(const QImage& img, const QRect& area, const std::function<bool(QRgb)>& test) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += test(img.pixel(x, y));
  return n;
}

// The heat map's ramp runs from light orange to dark brown: red well above
// blue. Nothing else on the page has that colour.
bool IsHeat(QRgb c) { return qRed(c) - qBlue(c) > 60 && qRed(c) >= qGreen(c); }
// The background of a histogram panel.
bool IsPanel(QRgb c) { return qRed(c) == 0xee && qGreen(c) == 0xf2 && qBlue(c) == 0xf8; }

}  // namespace

class ReportRenderTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;
  QString page_;

  QString Path(const QString& name) const { return QDir(tmp_.path()).filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    dbc::BuildPlateTables();
    const std::string input = QFile::encodeName(Path(QStringLiteral("plate.fcs"))).toStdString();
    dbc::SyntheticPlateOptions options;
    options.events = 20000;
    options.params = 12;
    dbc::WriteSyntheticPlate(input, options);
    dbc::Debarcoder engine;
    engine.Open(input);
    engine.ProposeBits();
    engine.Load();
    engine.Export(QFile::encodeName(Path(QStringLiteral("plate"))).toStdString(), false);
    page_ = Path(QStringLiteral("plate/report.html"));
    QVERIFY(QFile::exists(page_));
  }

  void screenshotShowsThePlateAndTheSevenHistograms() {
    const QString png = Path(QStringLiteral("report.png"));
    QString log;
    QVERIFY2(RunChromium(page_, Path(QStringLiteral("profile")),
                         {QStringLiteral("--screenshot=") + png,
                          QStringLiteral("--window-size=%1,%2").arg(kWidth).arg(kHeight)},
                         log),
             qPrintable(log));
    QImage img(png);
    QVERIFY2(!img.isNull(), qPrintable(log));
    QCOMPARE(img.size(), QSize(kWidth, kHeight));

    // Not blank: a good part of the page is neither white nor one colour.
    int ink = 0;
    for (int y = 0; y < img.height(); y += 2)
      for (int x = 0; x < img.width(); x += 2) ink += img.pixel(x, y) != qRgb(255, 255, 255);
    QVERIFY2(ink > img.width() * img.height() / 4 / 10, qPrintable(QString::number(ink)));

    // The plate: eight rows and twelve columns of heat-coloured cells.
    const QRect all = img.rect();
    QCOMPARE(Bands(img, all, true, 100, IsHeat).size(), 8);
    QCOMPARE(Bands(img, all, false, 50, IsHeat).size(), 12);

    // Seven histogram panels, two a row: four on the left, three on the right.
    const QRect left(0, 0, kWidth / 2, kHeight), right(kWidth / 2, 0, kWidth / 2, kHeight);
    const auto panelsLeft = Bands(img, left, true, 100, IsPanel), panelsRight = Bands(img, right, true, 100, IsPanel);
    QCOMPARE(panelsLeft.size(), 4);
    QCOMPARE(panelsRight.size(), 3);
    // Each panel holds its histogram: a blue area of some size.
    const auto isHistogram = [](QRgb c) { return qBlue(c) > qRed(c) + 60 && qBlue(c) > 150; };
    for (const auto& [half, panels] : {std::pair{left, panelsLeft}, std::pair{right, panelsRight}})
      for (const auto& [first, last] : panels) {
        const int blue = Count(img, QRect(half.left(), first, half.width(), last - first + 1), isHistogram);
        QVERIFY2(blue > 2000, qPrintable(QStringLiteral("rows %1..%2: %3 blue pixels").arg(first).arg(last).arg(blue)));
      }
  }

  void printsOnTwoA4Pages() {
    const QString pdf = Path(QStringLiteral("report.pdf"));
    QString log;
    QVERIFY2(RunChromium(page_, Path(QStringLiteral("profile")),
                         {QStringLiteral("--no-pdf-header-footer"), QStringLiteral("--print-to-pdf=") + pdf}, log),
             qPrintable(log));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    // Page objects, not the /Pages tree.
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![s\\w])"))), 2);
    // A4: 595 x 842 points.
    const QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)\\s*\\]"));
    int pages = 0;
    for (auto it = box.globalMatch(text); it.hasNext();) {
      const QRegularExpressionMatch m = it.next();
      QVERIFY2(qAbs(m.captured(1).toDouble() - 595.3) < 2 && qAbs(m.captured(2).toDouble() - 841.9) < 2,
               qPrintable(m.captured(0)));
      ++pages;
    }
    QCOMPARE(pages, 2);
  }
};

QTEST_MAIN(ReportRenderTest)
#include "report_render_test.moc"
