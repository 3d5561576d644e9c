#include "gui/histogram_chart.h"

#include <QAreaSeries>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLineSeries>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace dbc {

namespace {

// Headroom above the highest point, so the peak does not touch the top.
constexpr double kHeadroom = 1.05;
constexpr double kEmptyMinX = -1.0;
constexpr double kEmptyMaxX = 1.0;
constexpr int kMargin = 8;

}  // namespace

HistogramChart::HistogramChart(QWidget* parent) : QChartView(parent) {
  // The view's own chart: QChartView::setChart would hand the one it made
  // back to us to delete.
  QChart* chart = this->chart();
  chart->setBackgroundRoundness(0);
  chart->setDropShadowEnabled(false);
  chart->setMargins(QMargins(kMargin, kMargin, kMargin, kMargin));
  chart->layout()->setContentsMargins(0, 0, 0, 0);
  chart->legend()->setVisible(false);

  series_ = new QAreaSeries();
  upper_ = new QLineSeries(series_);
  series_->setUpperSeries(upper_);
  series_->setName(QStringLiteral("Series"));
  series_->setColor(seriesColor_);
  series_->setPen(Qt::NoPen);
  series_->setPointsVisible(false);
  series_->setPointLabelsVisible(false);
  chart->addSeries(series_);

  axisX_ = new QValueAxis();
  axisY_ = new QValueAxis();
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  series_->attachAxis(axisX_);
  series_->attachAxis(axisY_);
  axisX_->setVisible(false);
  axisY_->setVisible(false);

  cursorHalo_ = new QGraphicsLineItem(chart);
  cursorHalo_->setPen(QPen(Qt::white, 3));
  cursorHalo_->setZValue(999);
  cursorLine_ = new QGraphicsLineItem(chart);
  cursorLine_->setPen(QPen(Qt::black, 1));
  cursorLine_->setZValue(1000);

  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::NoRubberBand);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);

  ApplyBackground();
  ApplyTitle();
  ApplyRange();

  connect(chart, &QChart::plotAreaChanged, this, [this] {
    PlaceCursorLine();
    emit plotChanged();
  });
  connect(axisX_, &QValueAxis::rangeChanged, this, [this] {
    PlaceCursorLine();
    emit plotChanged();
  });
}

void HistogramChart::Clear() {
  points_.clear();
  ScheduleFlush();
}

void HistogramChart::AddPoint(double x, double y) {
  const QPointF p(x, y);
  if (points_.isEmpty() || x >= points_.back().x()) {
    points_.append(p);
  } else {
    auto at = std::upper_bound(points_.begin(), points_.end(), x,
                               [](double v, const QPointF& q) { return v < q.x(); });
    points_.insert(at, p);
  }
  ScheduleFlush();
}

void HistogramChart::ScheduleFlush() {
  pending_ = true;
  if (flushQueued_) return;
  flushQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        flushQueued_ = false;
        Flush();
      },
      Qt::QueuedConnection);
}

void HistogramChart::Flush() {
  if (pending_) {
    pending_ = false;
    upper_->replace(points_);
    ApplyRange();
  }
  // Pixel positions are valid only once the chart has laid out its plot
  // area for the current size, which Qt otherwise does on a later event.
  if (!chart()->layout()->isActivated()) chart()->layout()->activate();
  PlaceCursorLine();
}

double HistogramChart::VerticalPeak(const QList<QPointF>& points) {
  const qsizetype n = points.size();
  const qsizetype first = n > 2 ? 1 : 0, last = n > 2 ? n - 1 : n;
  auto peakOf = [&points](qsizetype from, qsizetype to) {
    double peak = 0.0;
    for (qsizetype i = from; i < to; ++i)
      if (std::isfinite(points[i].y())) peak = std::max(peak, points[i].y());
    return peak;
  };
  const double inner = peakOf(first, last);
  return inner > 0.0 ? inner : peakOf(0, n);
}

void HistogramChart::ApplyRange() {
  double minX = kEmptyMinX, maxX = kEmptyMaxX, minY = 0.0;
  bool any = false;
  for (const QPointF& p : points_) {
    if (!std::isfinite(p.x()) || !std::isfinite(p.y())) continue;
    if (!any) {
      minX = maxX = p.x();
      any = true;
    }
    minX = std::min(minX, p.x());
    maxX = std::max(maxX, p.x());
    minY = std::min(minY, p.y());
  }
  const double maxY = VerticalPeak(points_);
  if (!(maxX > minX)) {
    // One point (a histogram of equal values): centre it.
    minX -= 0.5;
    maxX += 0.5;
  }
  axisX_->setRange(minX, maxX);
  axisY_->setRange(minY, maxY > 0.0 ? maxY * kHeadroom : 1.0);
}

void HistogramChart::SetCursorX(double x) {
  if (x == cursorX_) return;
  cursorX_ = x;
  Flush();
  emit cursorChanged(cursorX_);
}

QRectF HistogramChart::PlotRect() {
  Flush();
  const QRectF inChart = chart()->plotArea();
  return viewportTransform().mapRect(chart()->mapRectToScene(inChart));
}

double HistogramChart::CursorPixelX() { return PixelXOf(cursorX_); }

double HistogramChart::PixelXOf(double x) {
  Flush();
  const QPointF inChart = chart()->mapToPosition(QPointF(x, axisY_->min()), series_);
  return viewportTransform().map(chart()->mapToScene(inChart)).x();
}

void HistogramChart::SetFooter(QWidget* footer, int height) {
  footer_ = footer;
  footerHeight_ = height;
  chart()->setMargins(QMargins(kMargin, kMargin, kMargin, kMargin + height));
  if (footer_) footer_->setGeometry(0, viewport()->height() - height, viewport()->width(), height);
}

double HistogramChart::ValueAtPixelX(double px) {
  const QRectF plot = PlotRect();
  const QPointF scene = viewportTransform().inverted().map(QPointF(px, plot.center().y()));
  return chart()->mapToValue(chart()->mapFromScene(scene), series_).x();
}

void HistogramChart::PlaceCursorLine() {
  const QRectF plot = chart()->plotArea();
  const double px = chart()->mapToPosition(QPointF(cursorX_, axisY_->min()), series_).x();
  if (plot.isEmpty() || !std::isfinite(px) || px < plot.left() - 0.5 ||
      px > plot.right() + 0.5) {
    cursorLine_->hide();
    cursorHalo_->hide();
    return;
  }
  cursorLine_->setLine(px, plot.top(), px, plot.bottom());
  cursorHalo_->setLine(px, plot.top(), px, plot.bottom());
  cursorLine_->show();
  cursorHalo_->show();
}

bool HistogramChart::NearCursor(const QPointF& viewPos) {
  const QRectF plot = PlotRect();
  if (!cursorLine_->isVisible()) return false;
  if (viewPos.y() < plot.top() - kGrabDistance || viewPos.y() > plot.bottom() + kGrabDistance)
    return false;
  return std::abs(viewPos.x() - CursorPixelX()) <= kGrabDistance;
}

void HistogramChart::DragTo(double viewX) {
  const QRectF plot = PlotRect();
  const double px = std::clamp(viewX, plot.left(), std::max(plot.left(), plot.right()));
  const double x = ValueAtPixelX(px);
  if (!std::isfinite(x) || x == cursorX_) return;
  cursorX_ = x;
  PlaceCursorLine();
  emit cursorChanged(cursorX_);
  emit cursorDragged(cursorX_);
}

void HistogramChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && NearCursor(event->position())) {
    dragging_ = true;
    viewport()->setCursor(Qt::SizeHorCursor);
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void HistogramChart::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    DragTo(event->position().x());
    event->accept();
    return;
  }
  if (NearCursor(event->position()))
    viewport()->setCursor(Qt::SizeHorCursor);
  else
    viewport()->unsetCursor();
  QChartView::mouseMoveEvent(event);
}

void HistogramChart::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && event->button() == Qt::LeftButton) {
    DragTo(event->position().x());
    dragging_ = false;
    if (!NearCursor(event->position())) viewport()->unsetCursor();
    event->accept();
    emit dragFinished(cursorX_);
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

void HistogramChart::mouseDoubleClickEvent(QMouseEvent* event) {
  dragging_ = false;
  event->accept();
  emit doubleClicked();
}

void HistogramChart::keyPressEvent(QKeyEvent* event) {
  const int unit = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
  if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
    emit stepRequested(event->key() == Qt::Key_Left ? -unit : unit);
    event->accept();
    return;
  }
  QChartView::keyPressEvent(event);
}

void HistogramChart::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  if (footer_)
    footer_->setGeometry(0, viewport()->height() - footerHeight_, viewport()->width(), footerHeight_);
  Flush();
}

void HistogramChart::SetSeriesColor(const QColor& color) {
  seriesColor_ = color;
  series_->setColor(color);
}

void HistogramChart::SetAxesVisible(bool visible) {
  axesVisible_ = visible;
  axisX_->setVisible(visible);
  axisY_->setVisible(visible);
}

void HistogramChart::SetLegendVisible(bool visible) {
  legendVisible_ = visible;
  chart()->legend()->setVisible(visible);
}

void HistogramChart::SetTitleVisible(bool visible) {
  titleVisible_ = visible;
  ApplyTitle();
}

void HistogramChart::SetTitleText(const QString& text) {
  titleText_ = text;
  ApplyTitle();
}

void HistogramChart::ApplyTitle() { chart()->setTitle(titleVisible_ ? titleText_ : QString()); }

void HistogramChart::SetGradient(const QColor& top, const QColor& bottom) {
  gradientTop_ = top;
  gradientBottom_ = bottom;
  ApplyBackground();
}

void HistogramChart::ApplyBackground() {
  // Relative to each item's own rectangle: top edge at 0, bottom edge at 1.
  QLinearGradient gradient(0.0, 0.0, 0.0, 1.0);
  gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
  gradient.setColorAt(0.0, gradientTop_);
  gradient.setColorAt(1.0, gradientBottom_);
  chart()->setBackgroundBrush(gradient);
  chart()->setBackgroundPen(Qt::NoPen);
  chart()->setPlotAreaBackgroundBrush(gradient);
  chart()->setPlotAreaBackgroundPen(Qt::NoPen);
  chart()->setPlotAreaBackgroundVisible(true);
}

}  // namespace dbc
