// barcode-setup [FILE]: the desktop tool's one window, with FILE open when
// one is given (as Open would open it); without, the window starts empty.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QFile>
#include <string>

#include "app/plate.h"
#include "gui/barcode_setup_form.h"

int main(int argc, char** argv) {
  CLI::App cli{"Barcode Setup: debarcode a pooled FCS file into one FCS file per well"};
  std::string file;
  cli.add_option("FILE", file, "An FCS file to open at start");
  CLI11_PARSE(cli, argc, argv);

  dbc::BuildPlateTables();
  // Qt gets the program name only: the command line is read above.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setApplicationName(QStringLiteral("Barcode Setup"));
  QApplication::setFont(dbc::FormFont());

  dbc::TBarcodesetupform form;  // runs FormCreate once its controls stand
  form.show();
  if (!file.empty()) form.OpenFile(QFile::decodeName(QByteArray::fromStdString(file)));
  return QApplication::exec();
}
