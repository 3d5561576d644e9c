// The chart editor: it opens showing the chart as it is, and every change
// reaches the chart at once.
#include <QAreaSeries>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLegend>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QValueAxis>

#include "gui/chart_editor.h"
#include "gui/histogram_chart.h"

using dbc::ChartEditorDialog;
using dbc::HistogramChart;

namespace {

// A colour picker that answers from a queue and records what it was asked.
struct FakePicker {
  QList<QColor> answers;
  QList<QColor> asked;
  dbc::ColorChooser Chooser() {
    return [this](const QColor& initial, QWidget*, const QString&) {
      asked << initial;
      return answers.isEmpty() ? QColor() : answers.takeFirst();
    };
  }
};

template <typename T>
T* Child(QObject& parent, const char* name) {
  T* w = parent.findChild<T*>(QString::fromLatin1(name));
  if (!w) qFatal("no child %s", name);
  return w;
}

bool AxesShown(HistogramChart& chart) {
  for (QAbstractAxis* axis : chart.chart()->axes())
    if (!axis->isVisible()) return false;
  return true;
}

}  // namespace

class ChartEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void opensShowingTheChartAsItIs() {
    HistogramChart chart;
    chart.SetTitleText(QStringLiteral("BC3"));
    chart.SetLegendVisible(true);
    ChartEditorDialog editor(chart);
    QVERIFY(editor.isModal());
    QVERIFY(!Child<QCheckBox>(editor, "axesVisible")->isChecked());
    QVERIFY(Child<QCheckBox>(editor, "legendVisible")->isChecked());
    QVERIFY(!Child<QCheckBox>(editor, "titleVisible")->isChecked());
    QCOMPARE(Child<QLineEdit>(editor, "titleText")->text(), QStringLiteral("BC3"));
  }

  void switchesApplyAtOnce() {
    HistogramChart chart;
    ChartEditorDialog editor(chart);
    editor.show();

    QTest::mouseClick(Child<QCheckBox>(editor, "axesVisible"), Qt::LeftButton);
    QVERIFY(AxesShown(chart));
    QTest::mouseClick(Child<QCheckBox>(editor, "legendVisible"), Qt::LeftButton);
    QVERIFY(chart.chart()->legend()->isVisible());

    // The title text shows only while the title is switched on.
    QTest::keyClicks(Child<QLineEdit>(editor, "titleText"), QStringLiteral("Bit 1"));
    QCOMPARE(chart.TitleText(), QStringLiteral("Bit 1"));
    QVERIFY(chart.chart()->title().isEmpty());
    QTest::mouseClick(Child<QCheckBox>(editor, "titleVisible"), Qt::LeftButton);
    QCOMPARE(chart.chart()->title(), QStringLiteral("Bit 1"));

    QTest::mouseClick(Child<QCheckBox>(editor, "axesVisible"), Qt::LeftButton);
    QVERIFY(!chart.AxesVisible());
    for (QAbstractAxis* axis : chart.chart()->axes()) QVERIFY(!axis->isVisible());
    QTest::mouseClick(Child<QCheckBox>(editor, "titleVisible"), Qt::LeftButton);
    QVERIFY(chart.chart()->title().isEmpty());
  }

  void coloursComeFromThePicker() {
    HistogramChart chart;
    FakePicker picker;
    picker.answers = {QColor(0, 0, 255), QColor(10, 20, 30), QColor(200, 0, 0)};
    ChartEditorDialog editor(chart, picker.Chooser());
    editor.show();

    QTest::mouseClick(Child<QPushButton>(editor, "seriesColor"), Qt::LeftButton);
    QCOMPARE(chart.Series()->color(), QColor(0, 0, 255));
    QTest::mouseClick(Child<QPushButton>(editor, "gradientTop"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(editor, "gradientBottom"), Qt::LeftButton);
    QCOMPARE(chart.GradientTop(), QColor(10, 20, 30));
    QCOMPARE(chart.GradientBottom(), QColor(200, 0, 0));
    const auto* g = static_cast<const QLinearGradient*>(chart.chart()->backgroundBrush().gradient());
    QCOMPARE(g->stops().front().second, QColor(10, 20, 30));
    QCOMPARE(g->stops().back().second, QColor(200, 0, 0));
    // The picker starts from the colour in force.
    const QList<QColor> asked{HistogramChart::kSeriesColor, HistogramChart::kGradientTop,
                              HistogramChart::kGradientBottom};
    QCOMPARE(picker.asked, asked);

    // A cancelled picker changes nothing.
    QTest::mouseClick(Child<QPushButton>(editor, "seriesColor"), Qt::LeftButton);
    QCOMPARE(chart.Series()->color(), QColor(0, 0, 255));
  }

  void closeEndsTheDialog() {
    HistogramChart chart;
    ChartEditorDialog editor(chart);
    editor.show();
    QPushButton* close = editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!editor.isVisible());
  }
};

QTEST_MAIN(ChartEditorTest)
#include "chart_editor_test.moc"
