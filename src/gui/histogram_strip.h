#pragma once
// The seven barcode channels at a glance: one small histogram per bit,
// stacked from bit 1 to bit 7, each labelled with its bit and parameter
// name and crossed by its threshold line. The current bit is framed; a
// click on a row asks for its bit (bitClicked). The vertical scale of each
// leaves out the end points as the main chart does.
#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <array>

namespace dbc {

class HistogramStrip final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBits = 7;
  static constexpr int kLabelWidth = 120;

  explicit HistogramStrip(QWidget* parent = nullptr);

  // A bit's label, points (empty: not loaded) and threshold.
  void SetBit(int bit, const QString& parameter, QList<QPointF> points, double threshold);
  void SetThreshold(int bit, double threshold);
  void SetCurrentBit(int bit);
  void SetSeriesColor(const QColor& color);

  QString Label(int bit) const;
  const QList<QPointF>& Points(int bit) const { return Row(bit).points; }
  double Threshold(int bit) const { return Row(bit).threshold; }
  int CurrentBit() const noexcept { return current_; }
  // A bit's row, label and plot, in the strip's coordinates.
  QRect BitRect(int bit) const;
  // Pixel column of the bit's threshold line; -1 when not drawn.
  double ThresholdPixelX(int bit) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void bitClicked(int bit);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  struct BitRow {
    QString parameter;
    QList<QPointF> points;
    double threshold = 0;
    double peak = 0;
  };
  const BitRow& Row(int bit) const;
  BitRow& Row(int bit);
  QRectF PlotRect(int bit) const;

  std::array<BitRow, kBits> rows_;
  int current_ = 1;
  QColor color_;
};

}  // namespace dbc
