#pragma once
// The histogram chart of the window: one area series (the histogram of the
// current barcode bit) and a vertical cursor at the bit's threshold that the
// user drags with the mouse.
//
// Points are kept ordered by ascending x whatever order they arrive in. They
// reach the Qt series in one batch (a whole histogram is 1024 points, and
// handing them over one by one would redraw the area each time): before the
// next event-loop turn, or at once whenever a pixel position is needed.
//
// The axes are hidden but still span the data, so that pixels map to data x
// with QChart::mapToValue; an empty chart spans x -1 .. 1, so its cursor can
// be seen and dragged too. The vertical axis leaves out the first and the
// last point: values clamped to the ends of the range pile up there (CyTOF
// files hold many zeros), and one such spike would flatten the rest.
//
// The cursor is a black line on a white halo, so that it shows on any
// series colour. With the focus on the chart, the Left and Right keys ask
// for a step of the cursor (stepRequested); the owner decides where to.
#include <QChartView>
#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>

class QAreaSeries;
class QKeyEvent;
class QGraphicsLineItem;
class QLineSeries;
class QValueAxis;

namespace dbc {

class HistogramChart : public QChartView {
  Q_OBJECT

 public:
  // Area colour: 4227327 as a BGR colour value, that is red 255, green 128,
  // blue 64.
  static inline const QColor kSeriesColor{255, 128, 64};
  // The background runs from grey 234 at the bottom to white at the top.
  static inline const QColor kGradientBottom{234, 234, 234};
  static inline const QColor kGradientTop{255, 255, 255};
  // How close to the cursor line, in pixels, the pointer grabs it.
  static constexpr double kGrabDistance = 5.0;

  explicit HistogramChart(QWidget* parent = nullptr);

  // --- the series ---
  void Clear();
  void AddPoint(double x, double y);
  // The points in ascending x.
  const QList<QPointF>& Points() const noexcept { return points_; }

  // --- the cursor, in data x ---
  // Moves the cursor and reports cursorChanged when x differs from the
  // current position.
  void SetCursorX(double x);
  double CursorX() const noexcept { return cursorX_; }
  // Pixel column of the cursor line in the view's coordinates.
  double CursorPixelX();
  // Data x under a pixel column of the view.
  double ValueAtPixelX(double px);
  // Pixel column of a data x in the view's coordinates.
  double PixelXOf(double x);
  // The plot area in the view's coordinates.
  QRectF PlotRect();
  // Puts `footer` (a child of the viewport) under the plot area, `height`
  // pixels high across the whole width; the plot area leaves room for it.
  void SetFooter(QWidget* footer, int height);

  // --- appearance, changed by the chart editor ---
  QColor SeriesColor() const noexcept { return seriesColor_; }
  void SetSeriesColor(const QColor& color);
  bool AxesVisible() const noexcept { return axesVisible_; }
  void SetAxesVisible(bool visible);
  bool LegendVisible() const noexcept { return legendVisible_; }
  void SetLegendVisible(bool visible);
  bool TitleVisible() const noexcept { return titleVisible_; }
  void SetTitleVisible(bool visible);
  QString TitleText() const { return titleText_; }
  void SetTitleText(const QString& text);
  QColor GradientTop() const noexcept { return gradientTop_; }
  QColor GradientBottom() const noexcept { return gradientBottom_; }
  void SetGradient(const QColor& top, const QColor& bottom);

  QAreaSeries* Series() const noexcept { return series_; }
  // The highest point the vertical axis makes room for: the first and the
  // last point left out when there are more than two (unless all others
  // are zero).
  static double VerticalPeak(const QList<QPointF>& points);

 signals:
  // The cursor moved, placed by the program or dragged by the user.
  void cursorChanged(double x);
  // The cursor moved because the user dragged it.
  void cursorDragged(double x);
  // The user let go of the cursor.
  void dragFinished(double x);
  // Left (-1) or Right (+1) pressed on the chart; times 10 with Shift.
  void stepRequested(int steps);
  // The plot area or the axis range changed: pixel positions moved.
  void plotChanged();
  void doubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ScheduleFlush();
  void Flush();
  void ApplyRange();
  void ApplyBackground();
  void ApplyTitle();
  void PlaceCursorLine();
  bool NearCursor(const QPointF& viewPos);
  void DragTo(double viewX);

  QLineSeries* upper_ = nullptr;
  QAreaSeries* series_ = nullptr;
  QValueAxis* axisX_ = nullptr;
  QValueAxis* axisY_ = nullptr;
  QGraphicsLineItem* cursorLine_ = nullptr;
  QGraphicsLineItem* cursorHalo_ = nullptr;
  QWidget* footer_ = nullptr;
  int footerHeight_ = 0;

  QList<QPointF> points_;
  bool pending_ = false;
  bool flushQueued_ = false;
  double cursorX_ = 0.0;
  bool dragging_ = false;

  QColor seriesColor_ = kSeriesColor;
  bool axesVisible_ = false;
  bool legendVisible_ = false;
  bool titleVisible_ = false;
  QString titleText_;
  QColor gradientTop_ = kGradientTop;
  QColor gradientBottom_ = kGradientBottom;
};

}  // namespace dbc
