// barcode-setup: the desktop tool's one window.
#include <QApplication>

#include "app/plate.h"
#include "gui/barcode_setup_form.h"

int main(int /*argc*/, char** argv) {
  dbc::BuildPlateTables();

  // The program reads no command line: Qt gets the program name only.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setApplicationName(QStringLiteral("Barcode Setup"));
  QApplication::setFont(dbc::FormFont());

  dbc::TBarcodesetupform form;  // runs FormCreate once its controls stand
  form.show();
  return QApplication::exec();
}
