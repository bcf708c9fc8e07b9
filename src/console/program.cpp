#include "console/program.h"

#include "toolkit/clock.h"
#include "toolkit/qt/qt_bindings.h"

int ProgramBody(int argc, char** argv) {
  TApplication app(argc, argv);
  UseUserLocale();
  TApplication::setApplicationName("OrvantGenBEM");
  InstallQtDialogResponders();
  BindGuiQueueToEventLoop();
  return app.exec();
}
