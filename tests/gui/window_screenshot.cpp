// window-screenshot OUTPUT.png: the first run as the README shows it. The
// window writes and opens the demo plate ("Demo plate"), presses Load,
// clicks a well of the plate panel and saves a picture of itself (the
// README's docs/window.png). The demo folder is a fresh temporary one.
// Runs on any platform plugin, offscreen included.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/plate.h"
#include "gui/barcode_setup_form.h"
#include "gui/plate_panel.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshot OUTPUT.png\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  dbc::BuildPlateTables();
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QApplication::setFont(dbc::FormFont());

  QTemporaryDir tmp(QDir::temp().filePath(QStringLiteral("debarcode-demo-XXXXXX")));
  qputenv("DEBARCODE_DEMO_DIR", QFile::encodeName(tmp.path()));

  // The one message expected: where the demo plate is.
  int messages = 0;
  dbc::FormServices services;
  services.showMessage = [&](QWidget*, const QString& text) {
    if (messages++ > 0 || !text.startsWith(QStringLiteral("The demo plate"))) std::fprintf(stderr, "%s\n", qPrintable(text));
  };
  dbc::TBarcodesetupform form(services);
  form.show();
  form.DemoBtn->click();
  form.Load->click();
  QTest::mouseClick(form.Plate, Qt::LeftButton, {}, form.Plate->WellRect(1, 2).center());
  QApplication::processEvents();
  if (messages != 1) return 1;
  if (!form.grab().save(output)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
