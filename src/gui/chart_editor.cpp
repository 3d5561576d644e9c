#include "gui/chart_editor.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/histogram_chart.h"

namespace dbc {

namespace {

QIcon Swatch(const QColor& color) {
  QPixmap pixmap(16, 16);
  pixmap.fill(color);
  return QIcon(pixmap);
}

}  // namespace

QColor ChooseColorWithDialog(const QColor& initial, QWidget* parent, const QString& title) {
  return QColorDialog::getColor(initial, parent, title);
}

ChartEditorDialog::ChartEditorDialog(HistogramChart& chart, ColorChooser chooseColor,
                                     QWidget* parent)
    : QDialog(parent),
      chart_(chart),
      chooseColor_(chooseColor ? std::move(chooseColor) : ColorChooser(ChooseColorWithDialog)) {
  setObjectName(QStringLiteral("ChartEditor"));
  setWindowTitle(tr("Edit Chart"));
  setModal(true);

  auto* seriesBox = new QGroupBox(tr("Series"), this);
  seriesColor_ = new QPushButton(tr("Colour..."), seriesBox);
  seriesColor_->setObjectName(QStringLiteral("seriesColor"));
  auto* seriesLayout = new QFormLayout(seriesBox);
  seriesLayout->addRow(tr("Area colour:"), seriesColor_);

  auto* chartBox = new QGroupBox(tr("Chart"), this);
  axesVisible_ = new QCheckBox(tr("Show axes"), chartBox);
  axesVisible_->setObjectName(QStringLiteral("axesVisible"));
  legendVisible_ = new QCheckBox(tr("Show legend"), chartBox);
  legendVisible_->setObjectName(QStringLiteral("legendVisible"));
  titleVisible_ = new QCheckBox(tr("Show title"), chartBox);
  titleVisible_->setObjectName(QStringLiteral("titleVisible"));
  titleText_ = new QLineEdit(chartBox);
  titleText_->setObjectName(QStringLiteral("titleText"));
  auto* chartLayout = new QFormLayout(chartBox);
  chartLayout->addRow(axesVisible_);
  chartLayout->addRow(legendVisible_);
  chartLayout->addRow(titleVisible_);
  chartLayout->addRow(tr("Title:"), titleText_);

  auto* backBox = new QGroupBox(tr("Background gradient"), this);
  gradientTop_ = new QPushButton(tr("Colour..."), backBox);
  gradientTop_->setObjectName(QStringLiteral("gradientTop"));
  gradientBottom_ = new QPushButton(tr("Colour..."), backBox);
  gradientBottom_->setObjectName(QStringLiteral("gradientBottom"));
  auto* backLayout = new QFormLayout(backBox);
  backLayout->addRow(tr("Top:"), gradientTop_);
  backLayout->addRow(tr("Bottom:"), gradientBottom_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(seriesBox);
  layout->addWidget(chartBox);
  layout->addWidget(backBox);
  layout->addWidget(buttons);

  axesVisible_->setChecked(chart_.AxesVisible());
  legendVisible_->setChecked(chart_.LegendVisible());
  titleVisible_->setChecked(chart_.TitleVisible());
  titleText_->setText(chart_.TitleText());
  ShowColors();

  connect(seriesColor_, &QPushButton::clicked, this, &ChartEditorDialog::ChooseSeriesColor);
  connect(gradientTop_, &QPushButton::clicked, this, &ChartEditorDialog::ChooseGradientTop);
  connect(gradientBottom_, &QPushButton::clicked, this,
          &ChartEditorDialog::ChooseGradientBottom);
  connect(axesVisible_, &QCheckBox::toggled, this,
          [this](bool on) { chart_.SetAxesVisible(on); });
  connect(legendVisible_, &QCheckBox::toggled, this,
          [this](bool on) { chart_.SetLegendVisible(on); });
  connect(titleVisible_, &QCheckBox::toggled, this,
          [this](bool on) { chart_.SetTitleVisible(on); });
  connect(titleText_, &QLineEdit::textChanged, this,
          [this](const QString& text) { chart_.SetTitleText(text); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ChartEditorDialog::ShowColors() {
  seriesColor_->setIcon(Swatch(chart_.SeriesColor()));
  gradientTop_->setIcon(Swatch(chart_.GradientTop()));
  gradientBottom_->setIcon(Swatch(chart_.GradientBottom()));
}

void ChartEditorDialog::ChooseSeriesColor() {
  const QColor c = chooseColor_(chart_.SeriesColor(), this, tr("Area colour"));
  if (!c.isValid()) return;
  chart_.SetSeriesColor(c);
  ShowColors();
}

void ChartEditorDialog::ChooseGradientTop() {
  const QColor c = chooseColor_(chart_.GradientTop(), this, tr("Top colour"));
  if (!c.isValid()) return;
  chart_.SetGradient(c, chart_.GradientBottom());
  ShowColors();
}

void ChartEditorDialog::ChooseGradientBottom() {
  const QColor c = chooseColor_(chart_.GradientBottom(), this, tr("Bottom colour"));
  if (!c.isValid()) return;
  chart_.SetGradient(chart_.GradientTop(), c);
  ShowColors();
}

}  // namespace dbc
