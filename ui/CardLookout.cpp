#include "ui/CardLookout.h"

#include <QApplication>
#include <QEventLoop>
#include <QFrame>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <cctype>
#include <set>
#include <thread>

#include "base/Messages.h"
#include "base/PathNames.h"
#include "base/Settings.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "download/DownloadSnapshot.h"
#include "platform/Drives.h"
#include "platform/IoError.h"
#include "quality/CardReport.h"
#include "ui/EventLoader.h"
#include "ui/FatalError.h"
#include "ui/MountWatcher.h"
#include "ui/QtMessages.h"
#include "ui/WaveformPreview.h"

namespace {

const char* const ViewFileName = "readtarq-view.ini";
const char* const VisibleKey = "Preview/Visible";
constexpr int ReadingNoteMs = 120;

QString NothingShownText() {
  return QStringLiteral("Click an event line to see its traces.");
}

char Lower(char letter) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

}  // namespace

TCardLookout::TCardLookout(TLookoutWindow& host) : Host(host) {
  Pane = new QFrame;
  Pane->setObjectName(QStringLiteral("PreviewPane"));
  Pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Preview = new TWaveformPreview;
  Preview->ShowMessage(NothingShownText());
  auto* layout = new QVBoxLayout(Pane);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(Preview);

  ButtonPreview = new QPushButton(QStringLiteral("Pre&view"));
  ButtonPreview->setObjectName(QStringLiteral("ButtonPreview"));
  ButtonPreview->setToolTip(
      QStringLiteral("Show or hide the traces of the event line clicked last"));
  ButtonPreview->setCheckable(true);
  ButtonPreview->setChecked(true);
  ButtonPreview->setAutoDefault(false);
  ButtonReport = new QPushButton(QStringLiteral("Re&port..."));
  ButtonReport->setObjectName(QStringLiteral("ButtonReport"));
  ButtonReport->setToolTip(QStringLiteral(
      "Write a quality report of the selected files into the destination directory"));
  ButtonReport->setAutoDefault(false);

  Loader = new TEventLoader(this);
  Watcher = new TMountWatcher(this);
  ReadingNote = new QTimer(this);
  ReadingNote->setSingleShot(true);
  ReadingNote->setInterval(ReadingNoteMs);
  MountRetry = new QTimer(this);
  MountRetry->setSingleShot(true);
  MountRetry->setInterval(TMountWatcher::PollMilliseconds / 2);

  connect(ButtonPreview, &QPushButton::toggled, this, &TCardLookout::SetPaneVisible);
  connect(ButtonReport, &QPushButton::clicked, this, &TCardLookout::ButtonReportClick);
  connect(Loader, &TEventLoader::Loaded, this, &TCardLookout::EventLoaded);
  connect(Watcher, &TMountWatcher::MountsChanged, this, &TCardLookout::MountsChanged);
  connect(MountRetry, &QTimer::timeout, this, &TCardLookout::MountsChanged);
  connect(ReadingNote, &QTimer::timeout, this, [this] {
    if (ShownRow >= 0 && Loader->Busy()) {
      Preview->ShowMessage(
          QStringLiteral("Reading %1 ...")
              .arg(Host.EventLines().item(ShownRow)->text().section(QLatin1Char(' '), 0, 0)));
    }
  });
  // The line clicked last (or reached with the keys); a refresh empties the list.
  connect(&Host.EventLines(), &QListWidget::currentRowChanged, this, &TCardLookout::ShowLine);
  connect(Host.EventLines().model(), &QAbstractItemModel::modelReset, this,
          [this] { ShowLine(-1); });
}

TCardLookout::~TCardLookout() = default;

std::string TCardLookout::ViewSettingsPath() const {
  const std::string settings = Host.SettingsPath();
  if (settings.empty()) return {};
  return WUtil::DirectoryPart(settings) + "/" + ViewFileName;
}

void TCardLookout::RestoreView() {
  bool visible = true;
  const std::string path = ViewSettingsPath();
  if (!path.empty()) {
    const QSettings view(QString::fromStdString(path), QSettings::IniFormat);
    visible = view.value(QString::fromLatin1(VisibleKey), true).toBool();
  }
  if (visible != Pane->isVisibleTo(&Host.Window())) {
    SetPaneVisible(visible);
  } else {
    ButtonPreview->setChecked(visible);
  }
}

void TCardLookout::SaveView() const {
  const std::string path = ViewSettingsPath();
  if (path.empty()) return;
  QSettings view(QString::fromStdString(path), QSettings::IniFormat);
  view.setValue(QString::fromLatin1(VisibleKey), Pane->isVisibleTo(&Host.Window()));
}

void TCardLookout::SetPaneVisible(bool visible) {
  if (ButtonPreview->isChecked() != visible) {
    ButtonPreview->setChecked(visible);  // comes back here through toggled
    return;
  }
  if (Pane->isVisibleTo(&Host.Window()) == visible) return;
  // The window grows by the pane or gives its width back, so that the controls keep theirs.
  const int spacing = Host.Window().layout() ? Host.Window().layout()->spacing() : 0;
  const int paneWidth = visible ? Pane->sizeHint().width() : Pane->width();
  Pane->setVisible(visible);
  if (!Host.Window().isMaximized() && !Host.Window().isFullScreen()) {
    const int width = Host.Window().width() + (visible ? 1 : -1) * (paneWidth + spacing);
    Host.Window().resize(std::max(width, Host.Window().minimumSizeHint().width()),
                         Host.Window().height());
  }
  if (visible) {
    ShowLine(Host.EventLines().currentRow());
  } else {
    Loader->Cancel();
    ReadingNote->stop();
  }
  SaveView();
}

void TCardLookout::ShowLine(int row) {
  ReadingNote->stop();
  const std::vector<TEventEntry>& entries = Host.ShownCard().Entries;
  if (row < 0 || row >= static_cast<int>(entries.size()) || row >= Host.EventLines().count() ||
      !Host.ShownCard().CardValid) {
    ShownRow = -1;
    Loader->Cancel();
    Preview->ShowMessage(NothingShownText());
    return;
  }
  ShownRow = row;
  if (!Pane->isVisibleTo(&Host.Window())) return;  // read when the pane is shown
  const TEventEntry& entry = entries[static_cast<size_t>(row)];
  TPreviewRequest request;
  request.Line = entry.Line;
  request.Frames = EventFramesOf(entry, Host.ShownCard().DataFilePath());
  request.File = QString::fromLatin1(entry.Header.OriginalFileName.c_str());
  request.Start = EventStartOf(entry.Header, Host.ShownCard().ProbeDate);
  request.SampleRate = entry.Header.SampleRate;
  request.StationSerial = entry.Header.StationSerial;
  // The codes of the Station codes dialog.
  request.Network = Host.ChosenSettings().Network;
  request.StationSheet = Host.ChosenSettings().StationSheet;
  Loader->Load(request);
  ReadingNote->start();
}

void TCardLookout::EventLoaded(int line, std::shared_ptr<const TPreviewEvent> event, int error) {
  ReadingNote->stop();
  if (ShownRow < 0 || line != ShownRow + 1) return;
  Preview->SetEvent(std::move(event));
  if (error != 0) {
    // The card went while it was read: the window shows what a refresh shows.
    QTimer::singleShot(0, &Host.Window(), [this] { Host.RefreshCard(); });
  }
}

void TCardLookout::ButtonReportClick() {
  if (!Host.ShownCard().CardValid) {
    Host.MessageBoxes().Error(card_layout::NotValidCardText);
    return;
  }
  std::vector<TEventEntry> chosen;
  for (const int line : Host.SelectedLines()) {
    if (line < static_cast<int>(Host.ShownCard().Entries.size())) {
      chosen.push_back(Host.ShownCard().Entries[static_cast<size_t>(line)]);
    }
  }
  if (chosen.empty()) {
    Host.MessageBoxes().Warning("No event selected");
    return;
  }
  // The SEED codes of the Station codes dialog.
  const TProductOptions products = ReadProductOptions(Host.ChosenSettings());
  if (!products.Problem.empty()) {
    Host.MessageBoxes().Error(products.Problem);
    return;
  }
  const seed::TCodeOptions codes{products.Network, products.Sheet.get()};
  if (!Host.EnsureDataDirectory()) return;

  TQualityReport report;
  try {
    report.Card = CardFactsOf(Host.ShownCard().Summary());
  } catch (const platform::ECloseError& error) {
    EndOnCloseError(error);
  } catch (const platform::EInOutError& error) {
    ShowApplicationError(error.what());
    return;
  }
  report.Card.Status = Host.StatusText();
  const std::string dataFile = Host.ShownCard().DataFilePath();
  const TProbeDate probeDate = Host.ShownCard().ProbeDate;
  const std::string directory = Host.ChosenSettings().DataDir;
  ButtonReport->setEnabled(false);

  // The events are read on a thread of their own; the progress window can stop it.
  QProgressDialog progress(QStringLiteral("Writing the report..."), QStringLiteral("Cancel"), 0,
                           static_cast<int>(chosen.size()), &Host.Window());
  progress.setWindowTitle(QStringLiteral("ReadTarq"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(400);
  std::atomic<bool> cancel{false};
  std::atomic<bool> done{false};
  TReportFiles files;
  std::string writeError;
  QEventLoop wait;
  std::thread worker([&] {
    for (size_t i = 0; i < chosen.size() && !cancel; ++i) {
      TReportEvent event;
      if (!ReadReportEvent(chosen[i], dataFile, probeDate, codes, event, &cancel)) break;
      report.Events.push_back(std::move(event));
      QMetaObject::invokeMethod(
          &progress, [&progress, i] { progress.setValue(static_cast<int>(i) + 1); },
          Qt::QueuedConnection);
    }
    if (!cancel) {
      try {
        files = WriteQualityReport(directory, report);
      } catch (const platform::EInOutError& error) {  // its text names the file
        writeError = error.what();
      }
    }
    done = true;
    QMetaObject::invokeMethod(
        &wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
  });
  connect(&progress, &QProgressDialog::canceled, &wait, [&cancel] { cancel = true; });
  if (!done) wait.exec();
  worker.join();
  progress.reset();
  ButtonReport->setEnabled(true);
  if (cancel) return;
  if (!writeError.empty()) {
    Host.MessageBoxes().Error(writeError);
    return;
  }
  ReportPath = QString::fromStdString(files.HtmlPath);
  QMessageBox::information(
      &Host.Window(), QStringLiteral("ReadTarq"),
      QStringLiteral("Report of %1 event(s) written:\n%2\n%3")
          .arg(chosen.size())
          .arg(QString::fromStdString(files.HtmlPath), QString::fromStdString(files.JsonPath)));
}

void TCardLookout::MountsChanged() {
  // Nothing changes under a dialog or a download: the change is looked at once it is closed.
  if (QApplication::activeModalWidget()) {
    MountRetry->start();
    return;
  }
  std::set<char> listed;
  for (const char letter : Host.ListedDrives()) listed.insert(Lower(letter));
  std::set<char> present;
  for (const platform::TDrive& drive : Host.DriveTable().Drives())
    present.insert(Lower(drive.Letter));
  if (present == listed) return;

  const char selected = Host.ChosenDrive();
  if (present.count(Lower(selected)) == 0 || !Host.ShownCard().CardValid) {
    // The card in use went, or there was none: as the Refresh button does.
    Host.RefreshCard();
  } else {
    // The card in use stays as it is shown (its restore mode too); only the list changes.
    Host.RelistDrives();
  }
  if (Host.ShownCard().CardValid) return;
  // A card just put in is shown when the drive in use holds none; it is only read.
  for (char letter : present) {
    if (listed.count(letter) != 0) continue;
    TTarqCard probe(Host.MessageBoxes(), Host.DriveTable());
    probe.Root = Host.DriveTable().RootOf(letter);
    try {
      probe.ProbeCard();
    } catch (const platform::ECloseError& error) {
      EndOnCloseError(error);
    } catch (const platform::EInOutError&) {
      continue;
    }
    if (probe.CardValid) {
      Host.ChooseDrive(letter);
      return;
    }
  }
}
