// The histogram chart: its look, point order, and the threshold cursor as
// the program places it and as the mouse drags it.
#include <QAreaSeries>
#include <QLegend>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>
#include <cmath>

#include "gui/histogram_chart.h"
#include "gui_test_helpers.h"

using dbc::HistogramChart;
using dbc::guitest::Drag;
using dbc::guitest::Hover;

namespace {

// A two-population histogram over 0 .. 10 of 200 points.
void AddHistogram(HistogramChart& chart) {
  for (int i = 0; i < 200; ++i) {
    const double x = i * 0.05;
    chart.AddPoint(x, std::exp(-(x - 2) * (x - 2)) + 0.5 * std::exp(-(x - 7) * (x - 7)));
  }
}

}  // namespace

class HistogramChartTest : public QObject {
  Q_OBJECT

 private slots:
  void looksAsSet() {
    HistogramChart chart;
    QAreaSeries* s = chart.Series();
    QCOMPARE(s->color(), QColor(255, 128, 64));
    QCOMPARE(s->pen().style(), Qt::NoPen);
    QVERIFY(!s->pointsVisible());
    QVERIFY(!s->pointLabelsVisible());
    QCOMPARE(s->lowerSeries(), nullptr);
    QVERIFY(!chart.chart()->legend()->isVisible());
    QVERIFY(chart.chart()->title().isEmpty());
    for (QAbstractAxis* axis : chart.chart()->axes()) QVERIFY(!axis->isVisible());
    QCOMPARE(chart.chart()->series().size(), 1);

    for (const QBrush& brush :
         {chart.chart()->backgroundBrush(), chart.chart()->plotAreaBackgroundBrush()}) {
      QCOMPARE(brush.style(), Qt::LinearGradientPattern);
      const auto* g = static_cast<const QLinearGradient*>(brush.gradient());
      QVERIFY(g->start().y() < g->finalStop().y());  // runs top to bottom
      QCOMPARE(g->start().x(), g->finalStop().x());
      QCOMPARE(g->stops().front().second, QColor(255, 255, 255));
      QCOMPARE(g->stops().back().second, QColor(234, 234, 234));
    }
    QVERIFY(chart.chart()->isPlotAreaBackgroundVisible());
  }

  void pointsAreKeptInAscendingX() {
    HistogramChart chart;
    chart.AddPoint(3, 1);
    chart.AddPoint(1, 2);
    chart.AddPoint(2, 5);
    chart.AddPoint(2, 7);  // equal x: after the earlier one
    chart.AddPoint(0.5, 4);
    const QList<QPointF> expected{{0.5, 4}, {1, 2}, {2, 5}, {2, 7}, {3, 1}};
    QCOMPARE(chart.Points(), expected);
    QTRY_COMPARE(chart.Series()->upperSeries()->points(), expected);

    chart.Clear();
    QVERIFY(chart.Points().isEmpty());
    QTRY_COMPARE(chart.Series()->upperSeries()->count(), 0);
  }

  void axesSpanThePoints() {
    HistogramChart chart;
    chart.resize(400, 200);
    AddHistogram(chart);
    chart.SetCursorX(1.0);  // hands the points over at once
    auto* x = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Horizontal).front());
    auto* y = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).front());
    QCOMPARE(x->min(), 0.0);
    QCOMPARE(x->max(), 199 * 0.05);
    QCOMPARE(y->min(), 0.0);
    QVERIFY(y->max() >= 1.0);
    QCOMPARE(chart.Series()->upperSeries()->count(), 200);
  }

  void placedCursorReportsOnlyRealMoves() {
    HistogramChart chart;
    QSignalSpy changed(&chart, &HistogramChart::cursorChanged);
    QSignalSpy dragged(&chart, &HistogramChart::cursorDragged);
    chart.SetCursorX(0.0);  // where it already is
    QCOMPARE(changed.count(), 0);
    chart.SetCursorX(0.25);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.front().front().toDouble(), 0.25);
    QCOMPARE(chart.CursorX(), 0.25);
    chart.SetCursorX(0.25);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(dragged.count(), 0);  // the program moved it, not the user
  }

  void dragMovesTheCursorWithThePointer_data() {
    QTest::addColumn<bool>("withHistogram");
    QTest::addColumn<double>("start");
    QTest::newRow("empty chart") << false << 0.0;
    QTest::newRow("histogram") << true << 4.5;
  }
  void dragMovesTheCursorWithThePointer() {
    QFETCH(bool, withHistogram);
    QFETCH(double, start);
    HistogramChart chart;
    chart.resize(600, 300);
    chart.show();
    if (withHistogram) AddHistogram(chart);
    chart.SetCursorX(start);
    QCOMPARE(chart.CursorX(), start);

    QSignalSpy dragged(&chart, &HistogramChart::cursorDragged);
    const QRectF plot = chart.PlotRect();
    const double px = chart.CursorPixelX();
    QVERIFY(px > plot.left() && px < plot.right());
    const QPointF from(px + 2, plot.center().y());  // grabbed a little off the line
    const QPointF to(px + 80, plot.center().y() + 30);
    Drag(chart.viewport(), from, to);

    // The line stays under the pointer: it moved by the pointer's distance.
    QVERIFY(!dragged.isEmpty());
    QCOMPARE(dragged.back().front().toDouble(), chart.CursorX());
    QVERIFY(std::abs(chart.CursorPixelX() - (px + 80)) < 0.01);
    QCOMPARE(chart.CursorX(), chart.ValueAtPixelX(px + 80));
    QVERIFY(chart.CursorX() > start);

    // Past the plot's edge the cursor stops at the edge.
    Drag(chart.viewport(), QPointF(chart.CursorPixelX(), plot.center().y()),
         QPointF(plot.right() + 100, plot.center().y()));
    QVERIFY(std::abs(chart.CursorPixelX() - plot.right()) < 0.01);
  }

  void pressAwayFromTheLineDoesNotDrag() {
    HistogramChart chart;
    chart.resize(600, 300);
    chart.show();
    AddHistogram(chart);
    chart.SetCursorX(5.0);
    QSignalSpy changed(&chart, &HistogramChart::cursorChanged);
    const double px = chart.CursorPixelX();
    const double y = chart.PlotRect().center().y();
    Drag(chart.viewport(), QPointF(px + HistogramChart::kGrabDistance + 3, y),
         QPointF(px + 100, y));
    QCOMPARE(chart.CursorX(), 5.0);
    QCOMPARE(changed.count(), 0);
  }

  void pointerShowsWhereTheLineCanBeGrabbed() {
    HistogramChart chart;
    chart.resize(600, 300);
    chart.show();
    chart.SetCursorX(0.5);
    const double px = chart.CursorPixelX();
    const double y = chart.PlotRect().center().y();
    Hover(chart.viewport(), QPointF(px + 1, y));
    QCOMPARE(chart.viewport()->cursor().shape(), Qt::SizeHorCursor);
    Hover(chart.viewport(), QPointF(px + 40, y));
    QCOMPARE(chart.viewport()->cursor().shape(), Qt::ArrowCursor);
  }

  void cursorKeepsItsValueWhenResized() {
    HistogramChart chart;
    chart.resize(600, 300);
    chart.show();
    AddHistogram(chart);
    chart.SetCursorX(3.3);
    const double before = chart.CursorPixelX();
    chart.resize(900, 400);
    QVERIFY(chart.CursorPixelX() > before);
    QVERIFY(std::abs(chart.ValueAtPixelX(chart.CursorPixelX()) - 3.3) < 1e-9);
  }

  // Clamped values pile up in the end points; the vertical axis leaves
  // them out unless nothing else is there.
  void verticalScaleLeavesOutTheEndPoints_data() {
    QTest::addColumn<QList<double>>("heights");
    QTest::addColumn<double>("peak");
    QTest::newRow("spikes at both ends") << QList<double>{900, 2, 10, 4, 500} << 10.0;
    QTest::newRow("highest inside") << QList<double>{1, 2, 10, 4, 3} << 10.0;
    QTest::newRow("only the ends hold counts") << QList<double>{7, 0, 0, 0, 3} << 7.0;
    QTest::newRow("two points") << QList<double>{6, 8} << 8.0;
  }
  void verticalScaleLeavesOutTheEndPoints() {
    QFETCH(QList<double>, heights);
    QFETCH(double, peak);
    HistogramChart chart;
    for (qsizetype i = 0; i < heights.size(); ++i) chart.AddPoint(static_cast<double>(i), heights[i]);
    chart.SetCursorX(1.0);  // hands the points over at once
    QCOMPARE(HistogramChart::VerticalPeak(chart.Points()), peak);
    auto* y = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).front());
    QCOMPARE(y->max(), peak * 1.05);
  }

  // The cursor line shows on the area whatever colour the editor gives it.
  void cursorShowsOnAnySeriesColour_data() {
    QTest::addColumn<QColor>("color");
    QTest::newRow("black") << QColor(Qt::black);
    QTest::newRow("white") << QColor(Qt::white);
    QTest::newRow("default") << HistogramChart::kSeriesColor;
    QTest::newRow("background grey") << HistogramChart::kGradientBottom;
  }
  void cursorShowsOnAnySeriesColour() {
    QFETCH(QColor, color);
    HistogramChart chart;
    chart.resize(400, 200);
    chart.show();
    for (int i = 0; i <= 100; ++i) chart.AddPoint(i, 10.0);  // a flat block of area
    chart.SetSeriesColor(color);
    chart.SetCursorX(50.0);
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    const QImage image = chart.viewport()->grab().toImage();
    const QRectF plot = chart.PlotRect();
    const int y = static_cast<int>(plot.bottom() - plot.height() / 4);  // inside the area
    const int px = static_cast<int>(std::lround(chart.CursorPixelX()));
    auto distance = [&color](QColor c) {
      return std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) + std::abs(c.blue() - color.blue());
    };
    QVERIFY2(distance(image.pixelColor(px - 30, y)) < 30, "the area is filled there");
    int best = 0;
    for (int x = px - 2; x <= px + 2; ++x) best = std::max(best, distance(image.pixelColor(x, y)));
    QVERIFY2(best > 150, qPrintable(QStringLiteral("contrast %1").arg(best)));
  }

  void keysAskForSteps() {
    HistogramChart chart;
    chart.show();
    QSignalSpy steps(&chart, &HistogramChart::stepRequested);
    QTest::keyClick(&chart, Qt::Key_Right);
    QTest::keyClick(&chart, Qt::Key_Left);
    QTest::keyClick(&chart, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&chart, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(&chart, Qt::Key_Up);
    QList<int> got;
    for (const auto& s : steps) got << s.front().toInt();
    QCOMPARE(got, (QList<int>{1, -1, 10, -10}));
  }

  void lettingGoIsReported() {
    HistogramChart chart;
    chart.resize(600, 300);
    chart.show();
    AddHistogram(chart);
    chart.SetCursorX(4.0);
    QSignalSpy finished(&chart, &HistogramChart::dragFinished);
    const double px = chart.CursorPixelX();
    Drag(chart.viewport(), QPointF(px, 100), QPointF(px + 50, 100));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.front().front().toDouble(), chart.CursorX());
    // A press away from the line is no drag and lets nothing go.
    Drag(chart.viewport(), QPointF(20, 100), QPointF(60, 100));
    QCOMPARE(finished.count(), 1);
  }

  void doubleClickIsReported() {
    HistogramChart chart;
    chart.resize(300, 200);
    chart.show();
    QSignalSpy clicked(&chart, &HistogramChart::doubleClicked);
    QTest::mouseDClick(chart.viewport(), Qt::LeftButton, {}, QPoint(150, 100));
    QCOMPARE(clicked.count(), 1);
  }
};

QTEST_MAIN(HistogramChartTest)
#include "histogram_chart_test.moc"
