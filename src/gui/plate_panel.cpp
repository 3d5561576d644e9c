#include "gui/plate_panel.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/plate.h"

namespace dbc {

namespace {

constexpr int kLabelWidth = 16;   // row letters
constexpr int kHeaderHeight = 15;  // column numbers
constexpr int kCellHeight = 24;
constexpr int kLineHeight = 16;   // each text line under the grid
constexpr int kTextLines = 3;

// Light (few events) to dark blue (the fullest well).
QColor ScaleColour(double share) {
  const QColor low(236, 243, 250), high(24, 78, 152);
  auto mix = [share](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * share)); };
  return QColor(mix(low.red(), high.red()), mix(low.green(), high.green()), mix(low.blue(), high.blue()));
}

QString Grouped(std::int64_t n) { return QLocale(QLocale::English).toString(static_cast<qlonglong>(n)); }

QString Percent(std::int64_t part, std::int64_t whole) {
  const double p = whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
  return QString::number(p, 'f', 1) + QStringLiteral(" %");
}

}  // namespace

PlatePanel::PlatePanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PlatePanel"));
}

void PlatePanel::SetCounts(const PlateCounts& counts) {
  counts_ = counts;
  update();
}

QSize PlatePanel::sizeHint() const {
  return {kLabelWidth + 12 * 34, kHeaderHeight + 8 * kCellHeight + 6 + kTextLines * kLineHeight};
}

QSize PlatePanel::minimumSizeHint() const {
  return {kLabelWidth + 12 * 24, kHeaderHeight + 8 * 16 + 6 + kTextLines * kLineHeight};
}

QRect PlatePanel::GridRect() const {
  const int cellH = std::clamp((height() - kHeaderHeight - 6 - kTextLines * kLineHeight) / kPlateRows, 12,
                               kCellHeight);
  const int cellW = std::max(12, (width() - kLabelWidth) / kPlateColumns);
  return {kLabelWidth, kHeaderHeight, cellW * kPlateColumns, cellH * kPlateRows};
}

QRect PlatePanel::WellRect(int row, int col) const {
  const QRect g = GridRect();
  const int w = g.width() / kPlateColumns, h = g.height() / kPlateRows;
  return {g.left() + col * w, g.top() + row * h, w, h};
}

std::int64_t PlatePanel::FullestWell() const {
  std::int64_t m = 0;
  for (const auto& row : counts_.wells)
    for (const std::int64_t n : row) m = std::max(m, n);
  return m;
}

QString PlatePanel::CellText(std::int64_t n) {
  if (n < 100000) return QString::number(n);
  if (n < 10000000) return QString::number(n / 1000) + QLatin1Char('k');
  return QString::number(static_cast<double>(n) / 1e6, 'f', 1) + QLatin1Char('M');
}

QString PlatePanel::SummaryText() const {
  if (counts_.total <= 0) return QStringLiteral("No plate yet: Load classifies the events.");
  return QStringLiteral("In wells %1 of %2 events (%3); trash %4 (%5)")
      .arg(Grouped(counts_.InWells()), Grouped(counts_.total), Percent(counts_.InWells(), counts_.total),
           Grouped(counts_.trash), Percent(counts_.trash, counts_.total));
}

QString PlatePanel::AmbiguousText() const {
  if (counts_.ambiguous <= 0) return {};
  return QStringLiteral("Ambiguous (within the margin) %1 (%2)")
      .arg(Grouped(counts_.ambiguous), Percent(counts_.ambiguous, counts_.total));
}

QString PlatePanel::WellText() const {
  if (!selected_) return {};
  const auto [row, col] = *selected_;
  const std::int64_t n = counts_.wells[row][col];
  return QStringLiteral("%1: %2 event%3, %4")
      .arg(QString::fromStdString(WellName(row, col)), Grouped(n), n == 1 ? QString() : QStringLiteral("s"),
           QString::fromStdString(CodeBitsText(well2code[row][col])));
}

void PlatePanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor text = palette().color(QPalette::WindowText);
  const QRect g = GridRect();
  const bool classified = counts_.total > 0;
  const double fullest = static_cast<double>(FullestWell());

  p.setPen(text);
  for (int col = 0; col < kPlateColumns; ++col) {
    const QRect r = WellRect(0, col);
    p.drawText(QRect(r.left(), 0, r.width(), kHeaderHeight), Qt::AlignCenter, QString::number(col + 1));
  }
  for (int row = 0; row < kPlateRows; ++row) {
    const QRect r = WellRect(row, 0);
    p.drawText(QRect(0, r.top(), kLabelWidth, r.height()), Qt::AlignCenter,
               QString::fromLatin1(WellRowLetter(row)));
  }

  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col) {
      const QRect r = WellRect(row, col).adjusted(1, 1, -1, -1);
      const std::int64_t n = counts_.wells[row][col];
      if (!classified) {
        p.fillRect(r, palette().color(QPalette::Base));
      } else if (n == 0) {
        // An empty well: hatched, so it stands out from a well with few.
        p.fillRect(r, QColor(250, 250, 250));
        p.fillRect(r, QBrush(QColor(200, 60, 60), Qt::BDiagPattern));
      } else {
        const double share = fullest > 0 ? static_cast<double>(n) / fullest : 0.0;
        const QColor fill = ScaleColour(share);
        p.fillRect(r, fill);
        p.setPen(share > 0.55 ? Qt::white : Qt::black);
        p.drawText(r, Qt::AlignCenter, CellText(n));
      }
      const bool picked = selected_ && selected_->first == row && selected_->second == col;
      p.setPen(picked ? QPen(Qt::black, 2) : QPen(palette().color(QPalette::Mid), 1));
      p.drawRect(picked ? r.adjusted(0, 0, -1, -1) : r);
    }

  p.setPen(text);
  const int y = g.bottom() + 6;
  // The ambiguous line only with a margin that sets events aside.
  int line = 0;
  for (const QString& t : {SummaryText(), AmbiguousText(), WellText()})
    if (line == 0 || !t.isEmpty())
      p.drawText(QRect(0, y + kLineHeight * line++, width(), kLineHeight), Qt::AlignLeft | Qt::AlignVCenter, t);
}

void PlatePanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col)
      if (WellRect(row, col).contains(event->position().toPoint())) {
        selected_ = std::make_pair(row, col);
        update();
        emit wellClicked(row, col);
        return;
      }
}

}  // namespace dbc
