// readtarq: the desktop program.

#include <QApplication>
#include <cstring>
#include <iostream>

#include "base/Messages.h"
#include "platform/FileSystem.h"
#include "ui/QtMessages.h"
#include "ui/ReadTarq.h"

int main(int argc, char** argv) {
  // Answered before any window or display connection exists, so that it works anywhere.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "readtarq " << READTARQ_VERSION_TEXT << "\n";
      return 0;
    }
  }
  QApplication app(argc, argv);
  TQtMessages boxes;
  SetMessages(&boxes);
  const int code = RunReadTarq(platform::ExecutablePath());
  SetMessages(nullptr);
  return code;
}
