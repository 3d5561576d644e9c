// window-screenshot OUTPUT.png: opens a synthetic barcoded plate in the
// window, presses Load, clicks a well of the plate panel and saves a
// picture of the window (the README's docs/window.png). Runs on any
// platform plugin, offscreen included.
#include <QApplication>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "app/plate.h"
#include "app/synthetic_plate.h"
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

  QTemporaryDir tmp;
  const QString plate = QDir(tmp.path()).filePath(QStringLiteral("plate.fcs"));
  dbc::SyntheticPlateOptions options;
  options.events = 50000;
  dbc::WriteSyntheticPlate(QFile::encodeName(plate).toStdString(), options);

  bool failed = false;
  dbc::FormServices services;
  services.chooseFile = [&](QWidget*) { return std::optional<QString>(plate); };
  services.showMessage = [&](QWidget*, const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    failed = true;
  };
  dbc::TBarcodesetupform form(services);
  form.show();
  form.OpenBtn->click();
  form.Load->click();
  QTest::mouseClick(form.Plate, Qt::LeftButton, {}, form.Plate->WellRect(1, 2).center());
  QApplication::processEvents();
  if (failed) return 1;
  if (!form.grab().save(output)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
