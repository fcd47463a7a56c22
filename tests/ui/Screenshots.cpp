// Pictures of every window for the documentation: test_ui --screenshots DIR CARD [ARCHIVE
// [INVENTORY]] saves a PNG of each window into DIR, the main window showing the card in the
// directory CARD, the archive window the SDS archive ARCHIVE (with the responses of the
// StationXML file INVENTORY).

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "UiFixture.h"
#include "platform/Drives.h"
#include "support/TestSupport.h"
#include "ui/APropos.h"
#include "ui/ArchiveCharts.h"
#include "ui/ArchiveView.h"
#include "ui/CardLookout.h"
#include "ui/Comment.h"
#include "ui/DirSelForm.h"
#include "ui/DownloadForm.h"
#include "ui/DriveComboBox.h"
#include "ui/QtMessages.h"
#include "ui/ReadTarq.h"
#include "ui/ReadTarqForm.h"
#include "ui/StationCodesForm.h"
#include "ui/WaveformPreview.h"

namespace {

using ui_test::Child;

// Drives as a desktop shows them, over temporary directories.
class TPictureDriveTable : public platform::TMappedDriveTable {
 public:
  std::vector<platform::TDrive> Drives() override {
    std::vector<platform::TDrive> drives = TMappedDriveTable::Drives();
    for (platform::TDrive& drive : drives) {
      if (drive.Letter == 'c') drive.ItemText = "c: /";
      if (drive.Letter == 'd') drive.ItemText = "d: /home";
      if (drive.Letter == 'e') drive.ItemText = "e: /media/user/TARQCARD";
    }
    return drives;
  }
};

bool Save(QWidget& window, const std::string& dir, const char* name) {
  window.show();
  QApplication::processEvents();
  const std::string path = dir + "/" + name;
  const bool saved = window.grab().save(QString::fromStdString(path), "PNG");
  std::printf("%s %s\n", saved ? "saved" : "FAILED", path.c_str());
  window.hide();
  return saved;
}

// The archive window on its fullest channel-day.
bool SaveArchiveWindow(const std::string& outDir, const std::string& archiveDir,
                       const std::string& inventory) {
  TArchiveView view("");
  view.resize(1280, 860);
  view.show();
  if (!inventory.empty()) {
    view.SetInventory(QString::fromStdString(std::filesystem::absolute(inventory).string()));
  }
  // Opened by its name from beside it, so that the picture shows no temporary directory.
  const std::filesystem::path archive = std::filesystem::absolute(archiveDir);
  const std::filesystem::path out = std::filesystem::absolute(outDir);
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(archive.parent_path());
  view.OpenArchive(QString::fromStdString(archive.filename().string()));
  if (!QTest::qWaitFor([&] { return !view.Chart->Channels().empty(); }, 60000)) {
    std::filesystem::current_path(here);
    return false;
  }
  int channel = 0;
  int64_t day = view.Chart->Days().First;
  double fullest = -1;
  for (size_t c = 0; c < view.Chart->Channels().size(); ++c) {
    for (const survey::TDayCoverage& coverage : view.Chart->Channels()[c].Days) {
      if (coverage.Percent > fullest) {
        fullest = coverage.Percent;
        channel = static_cast<int>(c);
        day = coverage.Day;
      }
    }
  }
  view.ShowChannelDay(channel, day);
  const bool shown = QTest::qWaitFor([&] { return view.ChannelDaysShown() == 1; }, 60000);
  std::filesystem::current_path(here);
  return shown && Save(view, out.string(), "archive-window.png");
}

}  // namespace

int SaveScreenshots(const std::string& outDir, const std::string& cardDir,
                    const std::string& archiveDir, const std::string& inventory) {
  namespace fs = std::filesystem;
  // A fixed place, so that the chooser's picture is the same at every run.
  const fs::path rootPath = fs::temp_directory_path() / "readtarq-screenshots";
  fs::remove_all(rootPath);
  const std::string rootDir = rootPath.string();
  auto root = [&rootDir](const std::string& name) { return rootDir + "/" + name; };
  testing_support::TScriptedMessages boxes;
  fs::create_directories(root("program"));
  fs::create_directories(root("system"));
  fs::create_directories(root("home/user/seismo/2005/mali"));
  fs::create_directories(root("home/user/seismo/2006"));
  testing_support::WriteWholeFile(root("home/user/seismo/notes.txt"), "x");
  testing_support::WriteWholeFile(root("home/user/seismo/stations.csv"), "x");
  // The card is read from a copy: the program opens card files for reading and writing.
  fs::create_directories(root("card"));
  for (const auto& entry : fs::directory_iterator(cardDir)) {
    fs::copy_file(entry.path(), fs::path(root("card")) / entry.path().filename());
  }

  auto drives = std::make_shared<TPictureDriveTable>();
  drives->Map({'c', root("system"), 250'000'000'000, 120'000'000'000});
  drives->Map({'d', root("home"), 500'000'000'000, 310'000'000'000});
  drives->Map({'e', root("card"), 1'000'000'000, 999'000'000});
  drives->SetCurrent('c');
  platform::SetDriveTable(drives);
  fs::create_directories(outDir);

  testing_support::WriteWholeFile(root("program/READTARQ.INI"),
                                  "FlashUnit   := e;\r\nDataDir     := /home/user/seismo;\r\n"
                                  "RecordFile  := TRUE;\r\nSensorFiles := FALSE;\r\n"
                                  "BinaryFile  := FALSE;\r\nSacFiles    := TRUE;\r\n"
                                  "SerialNr    := TRUE;\r\n");
  testing_support::WriteWholeFile(root("program/READTARQ-SEED.INI"),
                                  "MiniSeedFile := FALSE;\r\nSdsArchive   := TRUE;\r\n"
                                  "Network      := Z3;\r\n"
                                  "Stations     := /home/user/seismo/stations.csv;\r\n"
                                  "RecordLength := 4096;\r\n");
  bool ok = true;
  {
    TReadTarqProgram program(root("program/readtarq"));
    if (!program.Start()) return 1;
    TReadTarqForm& form = *program.ReadTarqForm;
    TCardLookout& lookout = TReadTarqFormTestAccess(form).Lookout();
    // The window as it was before the preview, then with the preview of a six-channel event.
    lookout.SetPaneVisible(false);
    for (int i = 0; i < Child<QListWidget>(form, "EventList")->count() && i < 2; ++i)
      Child<QListWidget>(form, "EventList")->item(i)->setSelected(true);
    ok &= Save(form, outDir, "main-window.png");
    lookout.SetPaneVisible(true);
    if (Child<QListWidget>(form, "EventList")->count() > 3) {
      Child<QListWidget>(form, "EventList")->clearSelection();
      Child<QListWidget>(form, "EventList")->item(2)->setSelected(true);
      Child<QListWidget>(form, "EventList")->setCurrentRow(3, QItemSelectionModel::Select);
      ok &= QTest::qWaitFor([&] { return lookout.Preview->TraceCount() > 0; }, 5000);
    }
    ok &= Save(form, outDir, "main-window-preview.png");
    lookout.SetPaneVisible(false);

    TDownloadForm& download = *program.DownloadForm;
    download.PrepareRun();
    if (Child<QListWidget>(form, "EventList")->count() > 1) {
      download.EditFile->setText(Child<QListWidget>(form, "EventList")->item(1)->text().left(12));
    }
    download.ProgressBarDownload->setValue(42);
    ok &= Save(download, outDir, "download.png");
    download.RunFinished(true);
    ok &= Save(download, outDir, "download-finished.png");

    TSelectDirForm& chooser = *program.SelectDirForm;
    chooser.setWindowTitle(QStringLiteral("Select data directory"));
    chooser.DirNameLabel->setText(QStringLiteral("Name of directory:"));
    chooser.DirsLabel->setText(QStringLiteral("Directories:"));
    chooser.FilesLabel->setText(QStringLiteral("&Files : (*.*)"));
    chooser.DriveLabel->setText(QStringLiteral("&Drives :"));
    chooser.CancelButton->setText(QStringLiteral("Cancel"));
    chooser.DirNameEdit->setText(QString::fromStdString(root("home/user/seismo")));
    ok &= Save(chooser, outDir, "select-directory.png");

    TCommentForm& comment = *program.CommentForm;
    comment.MemoComment->setPlainText(
        QStringLiteral("Aftershock survey, station 3\nSensor buried 50 cm, north marked\n"));
    ok &= Save(comment, outDir, "comment.png");

    auto* codes = new TStationCodesForm(&form);  // the main window owns it
    codes->Load(form.ChosenSettings());
    ok &= Save(*codes, outDir, "station-codes.png");

    {
      // The card ingested into an archive beside the destination, recorded in a ledger of its
      // own; the picture is taken of the summary box while it waits for OK.
      testing_support::TScopedDataHome home;
      TReadTarqFormTestAccess(form).Settings().StationSheet.clear();
      form.AskIngestArchive = [&](const QString&) {
        return QString::fromStdString(root("home/user/seismo/SDS"));
      };
      bool saved = false;
      auto* timer = new QTimer;
      timer->setInterval(5);
      QObject::connect(timer, &QTimer::timeout, [&, timer] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box->objectName() != QStringLiteral("IngestSummary")) return;
        timer->stop();
        timer->deleteLater();
        QApplication::processEvents();
        const std::string path = outDir + "/ingest-summary.png";
        saved = box->grab().save(QString::fromStdString(path), "PNG");
        std::printf("%s %s\n", saved ? "saved" : "FAILED", path.c_str());
        Child<QPushButton>(*box, "ButtonOk")->click();
      });
      timer->start();
      Child<QPushButton>(form, "ButtonIngest")->click();
      ok &= saved;
    }

    TAProposForm& about = *program.AProposForm;
    about.VersionLabel->setText(QStringLiteral("Version " READTARQ_VERSION_TEXT));
    ok &= Save(about, outDir, "about.png");

    ok &= Save(*NewConfirmBox("Erase flash card"), outDir, "confirmation.png");
    ok &= Save(*NewOkBox(QMessageBox::Critical, ApplicationTitle(), "Disque plein."), outDir,
               "error.png");
    // The same window on a drive without a card: the status in red.
    Child<TDriveComboBox>(form, "DriveBox")
        ->setCurrentIndex(Child<TDriveComboBox>(form, "DriveBox")
                              ->findText(QStringLiteral("d:"), Qt::MatchStartsWith));
    ok &= Save(form, outDir, "main-window-no-card.png");
    program.Finish();
  }
  if (!archiveDir.empty()) ok &= SaveArchiveWindow(outDir, archiveDir, inventory);
  platform::SetDriveTable(nullptr);
  fs::remove_all(rootPath);
  return ok ? 0 : 1;
}
