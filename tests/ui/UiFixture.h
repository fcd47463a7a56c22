#pragma once
// The desktop program under test: drives mapped to temporary directories, the settings file in
// a temporary program directory, message boxes answered by script.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/Drives.h"
#include "support/CardBuilder.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"
#include "ui/ReadTarq.h"
#include "ui/ReadTarqForm.h"
#include "ui/WindowDownloadHost.h"

// What the window tests reach of the main window beyond its controls (found by object name)
// and its public calls: its card, its settings, its drive memory, its lookout and its download
// run.
class TReadTarqFormTestAccess {
 public:
  explicit TReadTarqFormTestAccess(TReadTarqForm& form) : Form(form) {}
  TTarqCard& Card() const { return Form.Card; }
  TSettings& Settings() const { return Form.Settings; }
  char StartDrive() const { return Form.StartDrive; }
  char SettingsDrive() const { return Form.SettingsDrive; }
  bool HiddenDriveListExists() const { return Form.HiddenDriveListExists; }
  TCardLookout& Lookout() const { return *Form.Lookout; }
  TMessages& Boxes() const { return Form.Boxes; }
  TDownloadRun& Convert() const { return *Form.Convert; }
  TArchiveView* ArchiveView() const { return Form.ArchiveView; }
  void SetDownloadHost(std::unique_ptr<TWindowDownloadHost> host) const {
    Form.DownloadHost = std::move(host);
  }

 private:
  TReadTarqForm& Form;
};

namespace ui_test {

using testing_support::SmallEvent;

// A control of a window, found by its object name; a name no control of that class has fails
// the test.
template <class T>
T* Child(const QWidget& window, const char* name) {
  T* child = window.findChild<T*>(QString::fromLatin1(name));
  if (!child) throw std::logic_error(std::string("no control named ") + name);
  return child;
}

// Runs `act` on the next modal window once it is open, from inside its modal loop.
inline void WhenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

class TUiTest : public ::testing::Test {
 public:
  // c: is the drive of the current directory; cards go on e:.
  static constexpr char CardLetter = 'e';

  TUiTest() {
    Drives = std::make_shared<platform::TMappedDriveTable>();
    MapDrive('c', 500'000'000, 100'000'000);
    MapDrive(CardLetter, 64'000'000, 32'000'000);
    Drives->SetCurrent('c');
    platform::SetDriveTable(Drives);
    ProgramDir = Root / "program";
    std::filesystem::create_directories(ProgramDir);
  }
  ~TUiTest() override {
    Program.reset();
    platform::ClearFaultPlan();
    platform::SetDriveTable(nullptr);
  }

  // A drive: the letter mapped to its own directory, with the sizes it reports.
  std::string MapDrive(char letter, int64_t total, int64_t free) {
    const std::string dir = DriveDir(letter);
    std::filesystem::create_directories(dir);
    testing_support::MapDrive(*Drives, letter, dir, total, free);
    return dir;
  }
  std::string DriveDir(char letter) const { return Root / (std::string("drive-") + letter); }
  std::string CardDir() const { return DriveDir(CardLetter); }
  std::string IniPath() const { return ProgramDir + "/READTARQ.INI"; }
  std::string ExePath() const { return ProgramDir + "/readtarq"; }

  // The settings file naming the card drive, a destination and the output kinds.
  void WriteSettings(const std::string& dataDir, bool record = true, bool sensors = false,
                     bool binary = false, bool sac = false, bool serial = true,
                     char unit = CardLetter) {
    auto flag = [](bool on) { return on ? std::string("TRUE") : std::string("FALSE"); };
    testing_support::WriteWholeFile(
        IniPath(), std::string("FlashUnit   := ") + unit + ";\r\nDataDir     := " + dataDir +
                       ";\r\nRecordFile  := " + flag(record) +
                       ";\r\nSensorFiles := " + flag(sensors) +
                       ";\r\nBinaryFile  := " + flag(binary) + ";\r\nSacFiles    := " + flag(sac) +
                       ";\r\nSerialNr    := " + flag(serial) + ";\r\n");
  }

  // Starts the program as its entry does, short of the message loop.
  bool Start() {
    Program = std::make_unique<TReadTarqProgram>(ExePath());
    return Program->Start();
  }
  TReadTarqForm& Form() { return *Program->ReadTarqForm; }
  TReadTarqFormTestAccess Access() { return TReadTarqFormTestAccess(Form()); }

  testing_support::TTempDir Root;
  // A ledger of each test's own: what one test saved is nothing to the next one's window.
  testing_support::TScopedDataHome DataHome;
  std::string ProgramDir;
  std::shared_ptr<platform::TMappedDriveTable> Drives;
  testing_support::TScriptedMessages Boxes;
  std::unique_ptr<TReadTarqProgram> Program;
};

// A card with three live events and room after them.
inline testing_support::TCardBuilder CardWithData(int events = 3) {
  testing_support::TCardBuilder card;
  for (int i = 1; i <= events; ++i)
    card.Events.push_back(SmallEvent("DEB", "3,12", "00" + std::to_string(i)));
  card.TailZeros = 3000;
  return card;
}

}  // namespace ui_test
