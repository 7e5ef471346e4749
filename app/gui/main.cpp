// flash-updater: the window program. Updates or verifies a radio's flash
// memory from a Rom Update File over the serial port or UDP. See README.md
// beside this file.

#include <QApplication>

#include "ui/update_app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  flash::ui::CUpdateApp app(QCoreApplication::arguments());
  if (!app.InitInstance()) return 1;
  return QApplication::exec();
}
