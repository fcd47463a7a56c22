// The main window's ingest: every live event of the card in hand filed into an SDS archive
// with the station codes of the Station codes dialog, off the window's thread, then the same
// summary the command-line tool prints.

#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QDialog>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/PathNames.h"
#include "card/CardLayout.h"
#include "download/DownloadSnapshot.h"
#include "download/Ingest.h"
#include "platform/FileSystem.h"
#include "ui/CardLookout.h"
#include "ui/DriveComboBox.h"
#include "ui/LedgerGuard.h"
#include "ui/ReadTarqForm.h"

namespace {

// Beside the preview's visibility and the archive view's directory in the window's own file.
const char* const IngestArchiveKey = "IngestArchive";

// What the card of the worker says while it is probed: kept for the summary box, since no box
// may open off the window's thread.
class TCollectedMessages : public TMessages {
 public:
  void Warning(const std::string& text) override { Add(text); }
  void Error(const std::string& text) override { Add(text); }
  bool Confirm(const std::string& text) override {
    Add(text);
    return false;
  }
  std::vector<std::string> Texts() {
    std::lock_guard guard(Lock);
    return Lines;
  }

 private:
  void Add(const std::string& text) {
    std::lock_guard guard(Lock);
    Lines.push_back(text);
  }
  std::mutex Lock;
  std::vector<std::string> Lines;
};

// The progress dialog follows the card from the worker, through queued calls. Cancel stops the
// run at its next progress step: the event in hand unsaved, the ones before it saved and
// recorded.
class TDialogIngestProgress : public TIngestProgress {
 public:
  explicit TDialogIngestProgress(QProgressDialog& dialog) : Dialog(dialog) {}
  void CardProgress(size_t, const std::string& event, int percent) override {
    QMetaObject::invokeMethod(
        &Dialog,
        [this, name = QString::fromLatin1(event.c_str()), percent] {
          Dialog.setLabelText(QStringLiteral("Ingesting ") + name);
          Dialog.setValue(percent);
        },
        Qt::QueuedConnection);
  }
  std::atomic<bool> Cancelled{false};

 private:
  QProgressDialog& Dialog;
};

}  // namespace

QString TReadTarqForm::IngestArchive() const {
  const std::string path = Lookout->ViewSettingsPath();
  if (path.empty()) return {};
  const QSettings view(QString::fromStdString(path), QSettings::IniFormat);
  return view.value(QString::fromLatin1(IngestArchiveKey)).toString();
}

void TReadTarqForm::ButtonIngestClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      Boxes.Error(card_layout::NotValidCardText);
      return;
    }
    // The codes as a download with the SDS kind takes them: a bad sheet stops here.
    TIngestOptions options;
    options.Products = ReadProductOptions(Settings);
    if (!options.Products.Problem.empty()) {
      Boxes.Error(options.Products.Problem);
      return;
    }
    QString start = IngestArchive();
    if (start.isEmpty()) start = QString::fromStdString(Settings.DataDir);
    const QString chosen = AskIngestArchive(start);
    if (chosen.isEmpty()) return;
    options.Archive = WUtil::WithoutTrailingBackslash(chosen.toStdString());
    if (const std::string path = Lookout->ViewSettingsPath(); !path.empty()) {
      QSettings view(QString::fromStdString(path), QSettings::IniFormat);
      view.setValue(QString::fromLatin1(IngestArchiveKey), chosen);
    }
    if (!platform::ForceDirectories(options.Archive)) {
      Boxes.Error("Cannot create directory " + options.Archive);
      return;
    }
    options.SerialNr = Settings.SerialNr;
    options.Recorder = Ledger->Recorder();  // opened here: its warning is a box

    // A card of the worker's own on the same root: the window's card and its boxes stay on
    // the window's thread.
    TCollectedMessages said;
    TTarqCard card(said, Drives);
    card.Root = Card.Root;
    // The card by the name the drive selector shows it.
    std::string name = DriveBox->currentText().toStdString();
    if (name.empty()) name = Card.Root;
    const std::vector<std::string> names = {name};

    QProgressDialog progress(QStringLiteral("Ingesting the card..."), QStringLiteral("Cancel"),
                             0, 100, this);
    progress.setObjectName(QStringLiteral("IngestProgress"));
    progress.setWindowTitle(QStringLiteral("Ingest card"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    TDialogIngestProgress told(progress);
    options.Stop = &told.Cancelled;
    TIngestSummary summary;
    std::atomic<bool> done{false};
    QEventLoop wait;
    std::string failure;
    std::thread worker([&] {
      try {
        summary = IngestCards({&card}, names, options, told);
      } catch (const std::exception& error) {  // each card's errors are in its summary
        failure = error.what();
      }
      done = true;
      QMetaObject::invokeMethod(&wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
    });
    connect(&progress, &QProgressDialog::canceled, &wait, [&told, &progress] {
      told.Cancelled = true;
      // Cancel hides the dialog; it stays until the card has stopped, so that the window
      // takes no input meanwhile.
      progress.setLabelText(QStringLiteral("Stopping..."));
      progress.show();
    });
    if (!done) wait.exec();
    worker.join();
    progress.hide();

    Ledger->MarkSaved(EventList, Card);
    if (!failure.empty()) {
      Boxes.Error(failure);
      return;
    }
    ShowIngestSummary(summary, said.Texts(), told.Cancelled);
  });
}

void TReadTarqForm::ShowIngestSummary(const TIngestSummary& summary,
                                      const std::vector<std::string>& cardMessages,
                                      bool cancelled) {
  std::string text = IngestText(summary);
  std::vector<std::string> notes = cardMessages;
  for (const TCardIngest& card : summary.Cards) {
    notes.insert(notes.end(), card.Messages.begin(), card.Messages.end());
  }
  if (cancelled) notes.emplace_back("Stopped by the user");
  for (const std::string& note : notes) text += "\n" + note;
  // A dialog of its own rather than a message box: a line per card and per gap, as the
  // terminal shows them, never wrapped at a message box's width.
  QDialog box(this);
  box.setObjectName(QStringLiteral("IngestSummary"));
  box.setWindowTitle(QStringLiteral("Ingest card"));
  auto* icon = new QLabel;
  const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
  icon->setPixmap(box.style()
                      ->standardIcon(summary.AllSaved() ? QStyle::SP_MessageBoxInformation
                                                        : QStyle::SP_MessageBoxWarning)
                      .pixmap(side, side));
  auto* label = new QLabel(QString::fromStdString(text));
  label->setObjectName(QStringLiteral("LabelSummary"));
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("ButtonOk"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(label, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(&box);
  layout->addLayout(row);
  layout->addSpacing(10);
  layout->addLayout(buttons);
  box.exec();
}
