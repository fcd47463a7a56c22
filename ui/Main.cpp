// readtarq: the desktop program.

#include <QApplication>

#include "app/Messages.h"
#include "platform/FileSystem.h"
#include "ui/QtMessages.h"
#include "ui/ReadTarq.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TQtMessages boxes;
  SetMessages(&boxes);
  const int code = RunReadTarq(platform::ExecutablePath());
  SetMessages(nullptr);
  return code;
}
