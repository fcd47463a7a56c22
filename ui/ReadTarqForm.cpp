#include "ui/ReadTarqForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "base/Messages.h"
#include "base/PathNames.h"
#include "card/CardLayout.h"
#include "download/Download.h"
#include "download/DownloadRun.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "ui/APropos.h"
#include "ui/CardLookout.h"
#include "ui/Comment.h"
#include "ui/DirSelForm.h"
#include "ui/DownloadForm.h"
#include "ui/DriveComboBox.h"
#include "ui/FatalError.h"
#include "ui/LedgerGuard.h"
#include "ui/QtMessages.h"
#include "ui/WindowDownloadHost.h"
#include "writers/OutputKinds.h"

namespace {

// ScanDirectory writes into the window's count box and event list.
class TListDirectoryView : public TDirectoryView {
 public:
  TListDirectoryView(QLineEdit* count, QListWidget* list) : Count(count), List(list) {}
  void BeginUpdate() override {
    List->clear();
    List->setUpdatesEnabled(false);
  }
  void SetCount(const std::string& text) override {
    Count->setText(QString::fromLatin1(text.c_str()));
    Count->repaint();
  }
  void AddLine(const std::string& line) override {
    List->addItem(QString::fromLatin1(line.c_str()));
  }
  void EndUpdate() override {
    List->setUpdatesEnabled(true);
    List->repaint();
  }

 private:
  QLineEdit* Count;
  QListWidget* List;
};

QColor StatusQColor(TStatusColour colour, const QPalette& palette) {
  switch (colour) {
    case TStatusColour::Green:
      return QColor(0, 128, 0);
    case TStatusColour::Red:
      return QColor(255, 0, 0);
    case TStatusColour::WindowText:
      break;
  }
  return palette.color(QPalette::WindowText);
}

}  // namespace

TReadTarqForm::TReadTarqForm(TSettingsFile& settingsFile, TMessages& boxes,
                             platform::TDriveTable& drives, QWidget* parent)
    : QWidget(parent),
      SettingsFile(settingsFile),
      Settings(settingsFile.Settings),
      Boxes(boxes),
      Drives(drives),
      Card(boxes, drives),
      Convert(std::make_unique<TDownloadRun>(Card)) {
  setObjectName(QStringLiteral("ReadTarqForm"));
  setWindowTitle(QStringLiteral("ReadTarq"));
  setWindowIcon(QIcon(ReadTarqPixmap(32)));
  BuildControls();
  AskIngestArchive = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("SDS archive to ingest into"),
                                             start);
  };
  Download = std::make_unique<TDownload>();
  Ledger = std::make_unique<TLedgerGuard>(boxes);
}

TReadTarqForm::~TReadTarqForm() = default;

void TReadTarqForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!Centred) {
    Centred = true;
    if (QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
}

void TReadTarqForm::Guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const platform::ECloseError& error) {
    EndOnCloseError(error);
  } catch (const platform::EInOutError& error) {
    ShowApplicationError(error.what());
  } catch (const std::exception& error) {
    ShowApplicationError(error.what());
  }
}

// ---- Creation and destruction ------------------------------------------------------------

void TReadTarqForm::AttachDialogs(TSelectDirForm* selectDir, TDownloadForm* download,
                                  TAProposForm* about, TCommentForm* comment) {
  SelectDirForm = selectDir;
  DownloadForm = download;
  AProposForm = about;
  CommentForm = comment;
}

bool TReadTarqForm::FormCreate() {
  HiddenDriveListExists = false;
  StartDrive = DriveBox->Drive();
  try {
    SettingsFile.ReadSettings(StartDrive);
  } catch (const platform::EFileError& error) {
    Boxes.Error(error.what());
    return false;
  }
  EditDirName->setText(QString::fromStdString(WUtil::WithTrailingBackslash(Settings.DataDir)));
  Lookout->RestoreView();
  SettingsDrive = Settings.FlashUnit;
  DriveChangeEnabled = false;
  DriveBox->SetDrive(Settings.FlashUnit);
  DriveChangeEnabled = true;
  Card.RestoreMode = false;
  // Copies first: a box's handler stores its own field only, but the fields must not change
  // while the boxes are being set.
  const TSettings wanted = Settings;
  for (size_t kind = 0; kind < KindBoxes.size(); ++kind)
    KindBoxes[kind]->setChecked(IsChosen(wanted, OutputKinds()[kind]));
  CheckBoxSerial->setChecked(wanted.SerialNr);
  Created = true;
  Guarded([this] { RefreshCardDisplay(); });
  return true;
}

void TReadTarqForm::FormDestroy() {
  if (!Created || Destroyed) return;
  Destroyed = true;
  if (HiddenDriveListExists) {
    delete HiddenDriveList;
    HiddenDriveList = nullptr;
    HiddenDriveListExists = false;
  }
  Card.CardValid = false;
  try {
    SettingsFile.WriteSettings();
  } catch (const platform::ECloseError& error) {
    EndOnCloseError(error);
  } catch (const std::exception& error) {
    Boxes.Warning("The settings could not be saved in " + SettingsFile.FilePath() + " (" +
                  error.what() + ")");
  }
}

// ---- Display -----------------------------------------------------------------------------

void TReadTarqForm::SetStatus(const TCardStatus& status) {
  Status = status;
  EditStatus->setText(QString::fromLatin1(status.Text.c_str()).toUpper());
  QPalette palette = EditStatus->palette();
  const QColor colour = StatusQColor(status.Colour, palette);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Text, colour);
  }
  EditStatus->setPalette(palette);
}

bool TReadTarqForm::AnyOutputKind() const {
  return !SelectedKinds(Settings).empty();
}

void TReadTarqForm::EvaluateButtonDownload() {
  ButtonDownload->setEnabled(ButtonSelectAll->isEnabled() && AnyOutputKind());
}

void TReadTarqForm::SetRestoreButton(bool enabled, bool down) {
  ButtonRestore->setEnabled(enabled);
  ButtonRestore->setChecked(down);
  ButtonRestore->setText(down ? QStringLiteral("Restored") : QStringLiteral("Restore"));
}

void TReadTarqForm::SetButtonsForValidCard() {
  const bool listed = !Card.NewCard && !Card.NoEvents;
  ButtonSelectAll->setEnabled(listed);
  ButtonIngest->setEnabled(listed && !Card.RestoreMode);
  EvaluateButtonDownload();
  ButtonErase->setEnabled(Card.SectorFilePresent && ButtonDownload->isEnabled() &&
                          !Card.RestoreMode && !Card.WriteProtected);
  if (Card.RestoreMode && listed) {
    SetRestoreButton(true, true);
  } else {
    SetRestoreButton(Card.NoEvents, false);
  }
  ButtonInitialize->setEnabled(false);
  ShowWriteProtection(Card.WriteProtected);
}

void TReadTarqForm::ShowWriteProtection(bool writeProtected) {
  const QString locked = QString::fromLatin1(WriteProtectedText);
  ButtonErase->setToolTip(writeProtected ? locked : QString::fromLatin1(EraseHint));
  ButtonInitialize->setToolTip(writeProtected ? locked : QString::fromLatin1(InitializeHint));
}

void TReadTarqForm::SetButtonsForNoCard(bool blankDrive) {
  ButtonSelectAll->setEnabled(false);
  ButtonIngest->setEnabled(false);
  ButtonDownload->setEnabled(false);
  ButtonErase->setEnabled(false);
  SetRestoreButton(false, false);
  ButtonInitialize->setEnabled(blankDrive && !Card.WriteProtected);
  ShowWriteProtection(Card.WriteProtected);
}

void TReadTarqForm::RefreshCardDisplay() {
  Settings.FlashUnit = DriveBox->Drive();
  SetStatus({});
  EditFiles->clear();
  EditUsedSize->clear();
  EditTotalSize->clear();
  EditEprom->clear();
  EventList->clear();
  repaint();

  // The drive letter is the window's: the card is its drive's root directory.
  Card.Root = Drives.RootOf(Settings.FlashUnit);
  // The count box and the list follow the scan event by event.
  TListDirectoryView view(EditFiles, EventList);
  const TCardSummary summary = Card.ReadSummary(&view);
  if (summary.Scanned) {
    // A new card is not scanned; the probe has set its used records to 0.
    EditUsedSize->setText(
        QString::fromLatin1(UsedSizeText(summary.UsedBytes, summary.TotalBytes).c_str()));
    EditTotalSize->setText(QString::fromLatin1(TotalSizeText(summary.TotalBytes).c_str()));
    SetStatus(summary.Status);
    EditEprom->setText(QString::fromLatin1(EpromVersionText(summary.EpromVersion).c_str()));
    SetButtonsForValidCard();
    Ledger->MarkSaved(EventList, Card);
  } else {
    SetStatus(summary.Status);
    SetButtonsForNoCard(Card.BlankDrive);
  }
}

bool TReadTarqForm::FindDriveInList(char letter) const {
  for (int i = 0; i < DriveBox->count(); ++i) {
    if (TDriveComboBox::ItemLetter(DriveBox->itemText(i)) == letter) return true;
  }
  return false;
}

std::vector<char> TReadTarqForm::ListedDrives() const {
  std::vector<char> letters;
  for (int i = 0; i < DriveBox->count(); ++i)
    letters.push_back(TDriveComboBox::ItemLetter(DriveBox->itemText(i)));
  return letters;
}

char TReadTarqForm::ChosenDrive() const {
  return DriveBox->Drive();
}

void TReadTarqForm::RelistDrives() {
  const char shown = DriveBox->Drive();
  TDriveComboBox fresh(Drives);
  DriveChangeEnabled = false;
  DriveBox->CopyItemsFrom(fresh);
  DriveBox->SetDrive(shown);
  DriveChangeEnabled = true;
}

void TReadTarqForm::ChooseDrive(char letter) {
  DriveBox->SetDrive(letter);
}

void TReadTarqForm::RebuildDriveList() {
  if (HiddenDriveListExists) delete HiddenDriveList;
  HiddenDriveList = new TDriveComboBox(Drives, this);
  HiddenDriveList->hide();
  HiddenDriveListExists = true;

  char drive = DriveBox->Drive();
  DriveBox->CopyItemsFrom(*HiddenDriveList);
  DriveChangeEnabled = false;
  if (!FindDriveInList(drive)) {
    drive = FindDriveInList(SettingsDrive) ? SettingsDrive : StartDrive;
  }
  DriveBox->SetDrive(drive);
  DriveChangeEnabled = true;
  Card.RestoreMode = false;
  RefreshCardDisplay();
}

// ---- Handlers of the window --------------------------------------------------------------

void TReadTarqForm::DriveBoxChange() {
  if (!DriveChangeEnabled) return;
  Card.RestoreMode = false;
  Guarded([this] { RefreshCardDisplay(); });
}

std::vector<int> TReadTarqForm::SelectedLines() const {
  std::vector<int> lines;
  for (int i = 0; i < EventList->count(); ++i) {
    if (EventList->item(i)->isSelected()) lines.push_back(i);
  }
  return lines;
}

void TReadTarqForm::ButtonRefreshClick() {
  Guarded([this] { RebuildDriveList(); });
}

void TReadTarqForm::OutputKindClick(size_t kind, bool checked) {
  Choose(Settings, OutputKinds()[kind], checked);
  EvaluateButtonDownload();
}

void TReadTarqForm::CheckBoxSerialClick() {
  Settings.SerialNr = CheckBoxSerial->isChecked();
}

void TReadTarqForm::EditDirNameChange() {
  Settings.DataDir = WUtil::WithoutTrailingBackslash(EditDirName->text().toStdString());
}

void TReadTarqForm::ButtonQuitClick() {
  close();
}

// ---- Actions -----------------------------------------------------------------------------

void TReadTarqForm::ButtonSelectAllClick() {
  if (!Card.CardValid) {
    Boxes.Error(card_layout::NotValidCardText);
    return;
  }
  if (EventList->count() > 0) {
    EventList->setUpdatesEnabled(false);
    for (int i = EventList->count() - 1; i >= 0; --i) EventList->item(i)->setSelected(true);
    EventList->setUpdatesEnabled(true);
  } else {
    Boxes.Warning(Card.SectorFilePresent ? "Flash card is empty" : "Flash file is empty");
  }
}

bool TReadTarqForm::EnsureDataDirectory() {
  const std::string directory = WUtil::WithTrailingBackslash(Settings.DataDir);
  if (platform::DirectoryExists(directory)) return true;
  if (!Boxes.Confirm("Create data directory " + directory)) return false;
  if (platform::ForceDirectories(Settings.DataDir)) return true;
  Boxes.Error("Cannot create data directory " + directory);
  return false;
}

void TReadTarqForm::ButtonReadClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      Boxes.Error(card_layout::NotValidCardText);
      return;
    }
    if (EventList->selectedItems().isEmpty()) {
      Boxes.Warning("No event selected");
      return;
    }
    if (!EnsureDataDirectory()) return;
    // The run converts what is selected and written now: the progress window is modal.
    TDownloadSnapshot snapshot =
        MakeDownloadSnapshot(Settings, SelectedLines(), CommentForm->CommentLines());
    snapshot.Recorder = Ledger->Recorder();
    if (!DownloadHost)
      DownloadHost = std::make_unique<TWindowDownloadHost>(EventList, DownloadForm, Boxes);
    DownloadForm->PrepareRun();
    DownloadHost->PrepareRun();
    // Closing the progress window stops the run after the frame in hand and waits for its
    // end, carrying out meanwhile the worker's calls to the windows (an error box among them);
    // the user's input waits too.
    DownloadForm->OnClose = [this] {
      Convert->RequestStop();
      DownloadHost->WaitForEnd();
    };
    if (!Download->Start(*Convert, std::move(snapshot), *DownloadHost)) return;
    DownloadForm->exec();
    Download->Join();
    Ledger->MarkSaved(EventList, Card);
  });
}

void TReadTarqForm::ButtonEraseClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      Boxes.Error(card_layout::NotValidCardText);
      return;
    }
    if (!Ledger->MayErase(Card)) return;
    if (!Boxes.Confirm("Erase flash card")) return;
    Card.EraseCard();
    Card.RestoreMode = false;
    RefreshCardDisplay();
  });
}

void TReadTarqForm::SpeedButtonRestoreClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      SetRestoreButton(false, false);
      Boxes.Error(card_layout::NotValidCardText);
      return;
    }
    if (ButtonRestore->isChecked()) {
      if (Boxes.Confirm(Card.SectorFilePresent ? "Restore erased flash card"
                                               : "Restore erased flash file")) {
        Card.RestoreMode = true;
        RefreshCardDisplay();
      } else {
        ButtonRestore->setChecked(false);
      }
    } else {
      Card.RestoreMode = false;
      RefreshCardDisplay();
      ButtonRestore->setText(QStringLiteral("Restore"));
    }
  });
}

void TReadTarqForm::InitializeButtonClick() {
  Guarded([this] {
    if (!Boxes.Confirm("Initialize flash card")) return;
    SetStatus({});
    repaint();
    Card.InitializeCard();
    Card.RestoreMode = false;
    RefreshCardDisplay();
  });
}

void TReadTarqForm::ButtonBrowseClick() {
  SelectDirForm->setWindowTitle(QStringLiteral("Select data directory"));
  SelectDirForm->DirNameLabel->setText(QStringLiteral("Name of directory:"));
  SelectDirForm->DirsLabel->setText(QStringLiteral("Directories:"));
  SelectDirForm->FilesLabel->setText(QStringLiteral("&Files : (*.*)"));
  SelectDirForm->DriveLabel->setText(QStringLiteral("&Drives :"));
  SelectDirForm->CancelButton->setText(QStringLiteral("Cancel"));
  SelectDirForm->DirNameEdit->setText(EditDirName->text());
  if (SelectDirForm->exec() != QDialog::Accepted) return;
  Settings.DataDir =
      WUtil::WithoutTrailingBackslash(SelectDirForm->DirNameEdit->text().toStdString());
  EditDirName->setText(QString::fromStdString(WUtil::WithTrailingBackslash(Settings.DataDir)));
}

void TReadTarqForm::ButtonCommentClick() {
  CommentForm->exec();
}

void TReadTarqForm::ButtonAboutClick() {
  AProposForm->VersionLabel->setText(QStringLiteral("Version " READTARQ_VERSION_TEXT));
  AProposForm->exec();
}
