#include "gui/histogram_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "gui/histogram_chart.h"

namespace dbc {

namespace {

constexpr int kRowGap = 2;

}  // namespace

HistogramStrip::HistogramStrip(QWidget* parent) : QWidget(parent), color_(HistogramChart::kSeriesColor) {
  setObjectName(QStringLiteral("HistogramStrip"));
}

const HistogramStrip::BitRow& HistogramStrip::Row(int bit) const {
  return rows_.at(static_cast<std::size_t>(std::clamp(bit, 1, kBits) - 1));
}

HistogramStrip::BitRow& HistogramStrip::Row(int bit) {
  return rows_.at(static_cast<std::size_t>(std::clamp(bit, 1, kBits) - 1));
}

void HistogramStrip::SetBit(int bit, const QString& parameter, QList<QPointF> points, double threshold) {
  BitRow& r = Row(bit);
  r.parameter = parameter;
  r.points = std::move(points);
  r.threshold = threshold;
  r.peak = HistogramChart::VerticalPeak(r.points);
  update();
}

void HistogramStrip::SetThreshold(int bit, double threshold) {
  Row(bit).threshold = threshold;
  update(BitRect(bit));
}

void HistogramStrip::SetCurrentBit(int bit) {
  current_ = std::clamp(bit, 1, kBits);
  update();
}

void HistogramStrip::SetSeriesColor(const QColor& color) {
  color_ = color;
  update();
}

QString HistogramStrip::Label(int bit) const {
  const BitRow& r = Row(bit);
  return QString::number(bit) + QStringLiteral("  ") + (r.parameter.isEmpty() ? QStringLiteral("-") : r.parameter);
}

QSize HistogramStrip::sizeHint() const { return {420, kBits * 30}; }

QSize HistogramStrip::minimumSizeHint() const { return {kLabelWidth + 80, kBits * 16}; }

QRect HistogramStrip::BitRect(int bit) const {
  const int h = height() / kBits;
  return {0, (std::clamp(bit, 1, kBits) - 1) * h, width(), h};
}

QRectF HistogramStrip::PlotRect(int bit) const {
  const QRect r = BitRect(bit);
  return QRectF(r.left() + kLabelWidth, r.top() + kRowGap, r.width() - kLabelWidth - kRowGap,
                r.height() - 2 * kRowGap);
}

double HistogramStrip::ThresholdPixelX(int bit) const {
  const BitRow& r = Row(bit);
  if (r.points.size() < 2) return -1;
  const double x0 = r.points.front().x(), x1 = r.points.back().x();
  if (!(x1 > x0) || r.threshold < x0 || r.threshold > x1) return -1;
  const QRectF plot = PlotRect(bit);
  return plot.left() + (r.threshold - x0) / (x1 - x0) * plot.width();
}

void HistogramStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor text = palette().color(QPalette::WindowText);
  for (int bit = 1; bit <= kBits; ++bit) {
    const BitRow& r = Row(bit);
    const QRect row = BitRect(bit);
    const QRectF plot = PlotRect(bit);
    if (bit == current_) p.fillRect(row, palette().color(QPalette::Highlight).lighter(185));
    p.setPen(text);
    p.drawText(QRect(row.left() + 4, row.top(), kLabelWidth - 8, row.height()), Qt::AlignVCenter | Qt::AlignLeft,
               p.fontMetrics().elidedText(Label(bit), Qt::ElideRight, kLabelWidth - 8));
    p.fillRect(plot, palette().color(QPalette::Base));
    if (r.points.size() >= 2 && r.peak > 0) {
      const double x0 = r.points.front().x(), x1 = r.points.back().x();
      const double sx = x1 > x0 ? plot.width() / (x1 - x0) : 0.0;
      QPainterPath area(QPointF(plot.left(), plot.bottom()));
      for (const QPointF& q : r.points) {
        const double y = std::min(q.y(), r.peak) / r.peak;
        area.lineTo(plot.left() + (q.x() - x0) * sx, plot.bottom() - y * plot.height());
      }
      area.lineTo(plot.right(), plot.bottom());
      area.closeSubpath();
      p.fillPath(area, color_);
      const double tx = ThresholdPixelX(bit);
      if (tx >= 0) {
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(QPointF(tx, plot.top()), QPointF(tx, plot.bottom()));
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(QPointF(tx, plot.top()), QPointF(tx, plot.bottom()));
      }
    }
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    p.drawRect(plot);
  }
}

void HistogramStrip::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  for (int bit = 1; bit <= kBits; ++bit)
    if (BitRect(bit).contains(event->position().toPoint())) {
      emit bitClicked(bit);
      return;
    }
}

}  // namespace dbc
