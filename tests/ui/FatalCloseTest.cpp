// A failing close ends the program with exit code 1 after its error box, whether the window
// thread meets it (here with no handler for it at all) or the download worker reports it to
// the window. Each case runs in a child process: this executable with --fatal-close
// window|worker.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "UiFixture.h"
#include "platform/IoError.h"
#include "ui/FatalError.h"
#include "ui/QtMessages.h"
#include "ui/WindowDownloadHost.h"

// The child: real message boxes, the box answered by a timer, then the fatal error.
int FatalCloseChild(const std::string& where) {
  TQtMessages boxes;
  SetMessages(&boxes);
  ui_test::WhenModal([](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return;
    std::printf("%s|%s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
    std::fflush(stdout);
    box->defaultButton()->click();
  });
  CatchUncaughtCloseErrors();
  if (where == "window") throw platform::ECloseError(101, "/data/out.001");
  // The worker meets it while the window thread waits for the run, serving its calls.
  static TWindowDownloadHost host(nullptr, nullptr, boxes);
  std::thread worker([] { host.CloseFailed(platform::ECloseError(5, "/data/Bin_out.001")); });
  for (;;) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

namespace {

TEST(FatalCloseTest, TheBoxShowsThenTheProgramEndsWithExitCode1) {
  const struct {
    const char* Where;
    const char* Box;
  } cases[] = {
      {"window", "Erreur|CloseFile error 101, file=/data/out.001\n"},
      {"worker", "Erreur|CloseFile error 5, file=/data/Bin_out.001\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Where);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--fatal-close", c.Where});
    ASSERT_TRUE(child.waitForFinished(60'000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 1);
    EXPECT_EQ(child.readAllStandardOutput().toStdString(), c.Box);
  }
}

}  // namespace
