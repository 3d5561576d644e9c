// The window while the threshold cursor is dragged on a large plate
// (offscreen): after Load of a synthetic plate of 10,000,000 events,
//  - latency: one mouse move of 20 pixels (a fast hand's move in one
//    frame) until the plate panel shows the counts of the new position,
//    median over a sweep across bit 1's histogram and back;
//  - burst: 20 moves arriving at once (a fast hand, a slow frame) until
//    the panel shows the last one; the moves in between are folded into
//    one update, so this stays near one update instead of twenty.
// Targets: 50 ms each (a few frames).
//
//   QT_QPA_PLATFORM=offscreen bench_window_drag [FOLDER] [EVENTS]
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/plate.h"
#include "app/synthetic_plate.h"
#include "app/workspace.h"
#include "gui/barcode_setup_form.h"
#include "gui/histogram_chart.h"
#include "gui/plate_panel.h"

namespace {

using Clock = std::chrono::steady_clock;

void Send(QWidget* target, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

// Turns of the event loop until the panel shows the engine's counts for
// the cursor's position; milliseconds from `start`.
double SettleMs(dbc::TBarcodesetupform& form, Clock::time_point start) {
  for (;;) {
    QApplication::processEvents();
    const bool caughtUp = form.workspace().Threshold(1) == form.Chart->CursorX() &&
                          form.Plate->Counts().perCode == form.workspace().engine().Counts().perCode;
    if (caughtUp) return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  const std::int64_t events = argc > 2 ? std::stoll(argv[2]) : 10'000'000;
  const std::string path = folder + "/bench_window_drag.fcs";
  dbc::BuildPlateTables();
  dbc::SyntheticPlateOptions o;
  o.events = events;
  o.params = 9;
  o.seed = 7;
  dbc::WriteSyntheticPlate(path, o);

  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  dbc::FormServices services;
  services.chooseFile = [&](QWidget*) { return std::optional<QString>(QFile::decodeName(path.c_str())); };
  services.showMessage = [](QWidget*, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
  dbc::TBarcodesetupform form(services);
  form.show();
  form.OpenBtn->click();
  std::filesystem::remove(path);
  const auto loadStart = Clock::now();
  form.Load->click();
  const double load = std::chrono::duration<double>(Clock::now() - loadStart).count();

  dbc::HistogramChart* chart = form.Chart;
  QWidget* vp = chart->viewport();
  const QRectF plot = chart->PlotRect();
  const double y = plot.center().y();
  double px = chart->CursorPixelX();
  Send(vp, QEvent::MouseButtonPress, QPointF(px, y), Qt::LeftButton, Qt::LeftButton);
  SettleMs(form, Clock::now());

  std::vector<double> latency;
  const double step = 20;
  const int steps = static_cast<int>(plot.width() * 0.8 / step);
  for (int i = 0; i < 2 * steps; ++i) {
    const int k = i < steps ? i : 2 * steps - i;
    px = plot.left() + plot.width() * 0.1 + step * k;
    const auto start = Clock::now();
    Send(vp, QEvent::MouseMove, QPointF(px, y), Qt::NoButton, Qt::LeftButton);
    latency.push_back(SettleMs(form, start));
  }
  std::vector<double> burst;
  for (int round = 0; round < 10; ++round) {
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
      px = plot.left() + plot.width() * (0.2 + 0.03 * i + 0.002 * round);
      Send(vp, QEvent::MouseMove, QPointF(px, y), Qt::NoButton, Qt::LeftButton);
    }
    burst.push_back(SettleMs(form, start));
  }
  Send(vp, QEvent::MouseButtonRelease, QPointF(px, y), Qt::LeftButton, Qt::NoButton);

  std::sort(latency.begin(), latency.end());
  std::sort(burst.begin(), burst.end());
  const double lat = latency[latency.size() / 2], bur = burst[burst.size() / 2];
  std::printf("%lld events: Load %.3f s; one move to the plate %.2f ms, 20 moves at once %.2f ms (medians)\n",
              static_cast<long long>(events), load, lat, bur);
  std::printf("RESULT window_drag_move %.2f ms target <= 50\n", lat);
  std::printf("RESULT window_drag_burst %.2f ms target <= 50\n", bur);
  return 0;
}
