#pragma once
// The plate panel beside the chart: an 8 x 12 grid of the wells (rows A-H,
// columns 1-12), each with its event count on a colour scale (darker: more
// events, relative to the fullest well), empty wells hatched; under it the
// share of events in wells and the trash count, and for a well clicked its
// name, count and code (which bits are on). It draws the counts the
// workspace gives it and computes nothing itself.
#include <QString>
#include <QWidget>
#include <optional>
#include <utility>

#include "app/debarcoder.h"

namespace dbc {

class PlatePanel final : public QWidget {
  Q_OBJECT

 public:
  explicit PlatePanel(QWidget* parent = nullptr);

  void SetCounts(const PlateCounts& counts);
  const PlateCounts& Counts() const noexcept { return counts_; }

  // The cell of a well (0-based) in the panel's coordinates.
  QRect WellRect(int row, int col) const;
  // The well clicked last, nothing before a click.
  std::optional<std::pair<int, int>> SelectedWell() const noexcept { return selected_; }
  // The line under the grid: events in wells of all, and the trash.
  QString SummaryText() const;
  // The line about the well clicked last ("B03: 1,234 events, bits 2, 3,
  // 5 on (code 22)"); empty before a click.
  QString WellText() const;
  // The events the margin sets aside, or nothing without any.
  QString AmbiguousText() const;
  // How a count is written in its cell: digits up to 99,999, then "123k",
  // "1.2M".
  static QString CellText(std::int64_t n);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void wellClicked(int row, int col);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QRect GridRect() const;
  std::int64_t FullestWell() const;

  PlateCounts counts_;
  std::optional<std::pair<int, int>> selected_;
};

}  // namespace dbc
