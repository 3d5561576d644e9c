#pragma once
// The ruler under the histogram chart: the marks the workspace computed
// (decades of the measured value, see app/value_ruler.h) drawn at the
// chart's pixel columns. It lives in the chart's viewport, in the room the
// chart leaves under its plot area, and follows the chart's size and range.
// Labels that would overlap the one before are left out.
#include <QStringList>
#include <QWidget>
#include <vector>

#include "app/value_ruler.h"

namespace dbc {

class HistogramChart;

class DecadeRuler final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 22;

  // Places itself under `chart`'s plot area.
  explicit DecadeRuler(HistogramChart* chart);

  void SetTicks(std::vector<RulerTick> ticks);
  const std::vector<RulerTick>& Ticks() const noexcept { return ticks_; }
  // The labels drawn at the current size, left to right.
  QStringList VisibleLabels() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Placed {
    double px;
    const RulerTick* tick;
    QRectF labelRect;  // empty: no label drawn
  };
  std::vector<Placed> Place() const;

  HistogramChart* chart_;
  std::vector<RulerTick> ticks_;
};

}  // namespace dbc
