#include "gui/decade_ruler.h"

#include <QPainter>

#include "gui/histogram_chart.h"

namespace dbc {

namespace {

constexpr double kMajorLength = 5;
constexpr double kMinorLength = 3;
constexpr double kLabelGap = 6;  // least room between two labels

}  // namespace

DecadeRuler::DecadeRuler(HistogramChart* chart) : QWidget(chart->viewport()), chart_(chart) {
  setObjectName(QStringLiteral("DecadeRuler"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  chart->SetFooter(this, kHeight);
  connect(chart, &HistogramChart::plotChanged, this, qOverload<>(&QWidget::update));
  show();
}

void DecadeRuler::SetTicks(std::vector<RulerTick> ticks) {
  ticks_ = std::move(ticks);
  update();
}

std::vector<DecadeRuler::Placed> DecadeRuler::Place() const {
  std::vector<Placed> placed;
  const QRectF plot = chart_->PlotRect();
  const QFontMetricsF fm(font());
  double lastRight = -1e300;
  for (const RulerTick& t : ticks_) {
    const double px = chart_->PixelXOf(t.x);
    if (!(px >= plot.left() - 0.5 && px <= plot.right() + 0.5)) continue;
    QRectF label;
    if (!t.label.empty()) {
      const QString text = QString::fromStdString(t.label);
      const double w = fm.horizontalAdvance(text);
      QRectF r(px - w / 2, kMajorLength + 1, w, fm.height());
      // Labels at the ends stay inside the ruler.
      if (r.left() < 0) r.moveLeft(0);
      if (r.right() > width()) r.moveRight(width());
      if (r.left() >= lastRight + kLabelGap) {
        label = r;
        lastRight = r.right();
      }
    }
    placed.push_back({px, &t, label});
  }
  return placed;
}

QStringList DecadeRuler::VisibleLabels() const {
  QStringList labels;
  for (const Placed& p : Place())
    if (!p.labelRect.isEmpty()) labels << QString::fromStdString(p.tick->label);
  return labels;
}

void DecadeRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  for (const Placed& p : Place()) {
    const double length = p.tick->major ? kMajorLength : kMinorLength;
    painter.drawLine(QPointF(p.px, 0), QPointF(p.px, length));
    if (!p.labelRect.isEmpty())
      painter.drawText(p.labelRect, Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(p.tick->label));
  }
}

}  // namespace dbc
