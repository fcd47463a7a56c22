// The desktop program's tests: Qt Test helpers inside GoogleTest, on the offscreen platform
// unless another is set. With --screenshots DIR CARD [ARCHIVE [INVENTORY]] it saves pictures of
// the windows instead.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstring>
#include <string>

int SaveScreenshots(const std::string& outDir, const std::string& cardDir,
                    const std::string& archiveDir, const std::string& inventory);
int FatalCloseChild(const std::string& where);

namespace {
// The offscreen platform reports what it cannot do for every window shown; that is noise here.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints")) ||
      message.contains(QLatin1String("does not support raise()")))
    return;
  qt_message_output(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--fatal-close") == 0) return FatalCloseChild(argv[2]);
  // Pictures of the windows for the documentation, rather than the tests.
  if (argc >= 4 && argc <= 6 && std::strcmp(argv[1], "--screenshots") == 0)
    return SaveScreenshots(argv[2], argv[3], argc > 4 ? argv[4] : "", argc > 5 ? argv[5] : "");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
