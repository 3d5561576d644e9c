#pragma once
// The chart editor: a modal dialog, opened by a double-click on the chart,
// in which the user changes how the chart looks: the series colour, whether
// axes, legend and title are shown, the title text and the two colours of
// the background gradient. Every change applies to the chart at once; the
// dialog has nothing to confirm or cancel.
#include <QColor>
#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace dbc {

class HistogramChart;

// Asks the user for a colour; an invalid colour means the user cancelled.
using ColorChooser =
    std::function<QColor(const QColor& initial, QWidget* parent, const QString& title)>;

// The standard colour dialog.
QColor ChooseColorWithDialog(const QColor& initial, QWidget* parent, const QString& title);

class ChartEditorDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ChartEditorDialog(HistogramChart& chart, ColorChooser chooseColor = {},
                             QWidget* parent = nullptr);

 private:
  void ChooseSeriesColor();
  void ChooseGradientTop();
  void ChooseGradientBottom();
  void ShowColors();

  HistogramChart& chart_;
  ColorChooser chooseColor_;
  QPushButton* seriesColor_ = nullptr;
  QCheckBox* axesVisible_ = nullptr;
  QCheckBox* legendVisible_ = nullptr;
  QCheckBox* titleVisible_ = nullptr;
  QLineEdit* titleText_ = nullptr;
  QPushButton* gradientTop_ = nullptr;
  QPushButton* gradientBottom_ = nullptr;
};

}  // namespace dbc
