#pragma once
// The main window: the card on the chosen drive (status, number of events, sizes, software
// version) with the maintenance buttons, the list of its events, the output kinds, the
// destination directory and the download. The controls are built and wired in
// ReadTarqFormLayout.cpp; the handlers are in ReadTarqForm.cpp.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Messages.h"
#include "settings/SettingsFile.h"
#include "card/TarqCard.h"
#include "ui/CardLookout.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TAProposForm;
class TArchiveView;
class TCommentForm;
class TDownloadForm;
class TDriveComboBox;
class TSelectDirForm;
class TStationCodesForm;
class TDownload;
class TLedgerGuard;
class TDownloadRun;
class TWindowDownloadHost;
struct TIngestSummary;

class TReadTarqForm : public QWidget, private TLookoutWindow {
  Q_OBJECT

 public:
  // The window keeps the settings file for the whole run: it reads it in FormCreate and
  // writes it back in FormDestroy. Its message boxes and its card's go to `boxes`; the drive
  // selector offers the drives of `drives`.
  TReadTarqForm(TSettingsFile& settingsFile, TMessages& boxes, platform::TDriveTable& drives,
                QWidget* parent = nullptr);
  ~TReadTarqForm() override;

  // The dialogs, made after this window: FormCreate must not reach them.
  void AttachDialogs(TSelectDirForm* selectDir, TDownloadForm* download, TAProposForm* about,
                     TCommentForm* comment);
  // The settings as the window holds them: the settings file's, changed by the controls.
  const TSettings& ChosenSettings() const override { return Settings; }

  // The status as the card unit chose it; EditStatus shows it in capitals.
  const std::string& StatusText() const override { return Status.Text; }
  // The selected lines of the event list, counted from 0, ascending.
  std::vector<int> SelectedLines() const override;
  TStatusColour StatusColour() const { return Status.Colour; }

  // The object name of the check box of an output kind: "CheckBox" and the kind's name.
  static QString OutputKindBoxName(const char* kindName);

  // ---- Creation and destruction ----
  // Reads the settings and shows the card. False when the settings file has a bad line: the
  // message has been shown and the program ends without showing the window.
  bool FormCreate();
  // Writes the settings back (a failure is reported, never fatal to the user's exit).
  void FormDestroy();

  // ---- Display ----
  void RefreshCardDisplay();
  void RebuildDriveList();
  bool FindDriveInList(char letter) const;

  // ---- Handlers ----
  void DriveBoxChange();
  void ButtonRefreshClick();
  // The check box of the output kind `kind` (a line of the kind table) was set or cleared.
  void OutputKindClick(size_t kind, bool checked);
  void CheckBoxSerialClick();
  void EditDirNameChange();
  void ButtonQuitClick();

  void ButtonSelectAllClick();
  void ButtonReadClick();
  void ButtonEraseClick();
  void SpeedButtonRestoreClick();
  void InitializeButtonClick();
  void ButtonBrowseClick();
  void ButtonCommentClick();
  // ReadTarqFormCodes.cpp: the station codes dialog and its StationXML export.
  void ButtonStationCodesClick();
  void ButtonAboutClick();
  // ReadTarqFormArchive.cpp: the archive window, on the directory chosen.
  void ButtonArchiveClick();
  // ReadTarqFormIngest.cpp: the card's events into the archive chosen, then the summary.
  void ButtonIngestClick();
  // Asks for the archive to ingest into, starting at `start`; "" when the user gave none.
  std::function<QString(const QString& start)> AskIngestArchive;

  bool EnsureDataDirectory() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // ---- State ----
  // What the window tests reach beyond the controls and the calls above (tests/ui/UiFixture.h).
  friend class TReadTarqFormTestAccess;
  TSettingsFile& SettingsFile;
  TSettings& Settings;
  TMessages& Boxes;
  // The drives the window offers; the card is the root directory of the chosen one.
  platform::TDriveTable& Drives;
  TTarqCard Card;
  // The download run: its state, what it reports to the windows (made at the first run), its
  // worker.
  std::unique_ptr<TDownloadRun> Convert;
  std::unique_ptr<TWindowDownloadHost> DownloadHost;
  std::unique_ptr<TDownload> Download;
  // The download ledger: what the runs record, the erase guard, the marks of saved events.
  std::unique_ptr<TLedgerGuard> Ledger;
  // The waveform preview, the report and the watch on the mounts (ui/CardLookout.h); it goes
  // before the card and the controls it reads.
  std::unique_ptr<TCardLookout> Lookout;
  char StartDrive = 0;     // the drive selector's drive before the settings were applied
  char SettingsDrive = 0;  // FlashUnit as the settings file gave it, in its case
  bool DriveChangeEnabled = true;
  TDriveComboBox* HiddenDriveList = nullptr;  // a fresh list of the drives, for Refresh
  bool HiddenDriveListExists = false;

  // The dialogs (AttachDialogs).
  TSelectDirForm* SelectDirForm = nullptr;
  TDownloadForm* DownloadForm = nullptr;
  TAProposForm* AProposForm = nullptr;
  TCommentForm* CommentForm = nullptr;
  TStationCodesForm* StationCodesForm = nullptr;  // made when first opened
  TArchiveView* ArchiveView = nullptr;             // a window of its own, made when first opened

  // ---- Controls ----
  // Each is named after its member (objectName), so that tests and tools find it by name; a
  // kind's check box is named after its kind (OutputKindBoxName).
  QGroupBox* GroupBoxCard;
  QLabel* LabelFlashUnit;
  TDriveComboBox* DriveBox;
  QPushButton* ButtonErase;
  QPushButton* ButtonRefresh;
  QPushButton* ButtonRestore;
  QPushButton* ButtonInitialize;

  QGroupBox* GroupBoxCardInfos;
  QLineEdit* EditStatus;
  QLabel* LabelFiles;
  QLineEdit* EditFiles;
  QLabel* LabelUsedSize;
  QLineEdit* EditUsedSize;
  QLabel* LabelUsedBytes;
  QLabel* LabelTotalSize;
  QLineEdit* EditTotalSize;
  QLabel* LabelTotalBytes;
  QLabel* LabelEprom;
  QLineEdit* EditEprom;

  QGroupBox* GroupBoxFiles;
  QPushButton* ButtonSelectAll;
  QPushButton* ButtonDownload;
  QFrame* KindPanel;
  std::vector<QCheckBox*> KindBoxes;  // one per output kind, in the kind table's order
  QPushButton* ButtonStationCodes;
  QCheckBox* CheckBoxSerial;
  QPushButton* ButtonComment;
  QListWidget* EventList;
  QLabel* LabelDirName;
  QLineEdit* EditDirName;
  QPushButton* ButtonBrowse;

  QPushButton* ButtonArchive;
  QPushButton* ButtonIngest;
  QPushButton* ButtonAbout;
  QPushButton* ButtonQuit;

  // The hints of the maintenance buttons when the card can be written.
  static constexpr const char* EraseHint = "Erase flash card for new recordings";
  static constexpr const char* InitializeHint = "Prepare flash card in TarqProbe format";

  // ReadTarqFormLayout.cpp: the controls, group box by group box, then their wiring.
  void BuildControls();
  // What the card lookout may reach of the window.
  QWidget& Window() override { return *this; }
  QListWidget& EventLines() override { return *EventList; }
  TTarqCard& ShownCard() override { return Card; }
  TMessages& MessageBoxes() override { return Boxes; }
  std::string SettingsPath() const override { return SettingsFile.FilePath(); }
  platform::TDriveTable& DriveTable() override { return Drives; }
  std::vector<char> ListedDrives() const override;
  char ChosenDrive() const override;
  void RefreshCard() override { ButtonRefreshClick(); }
  void RelistDrives() override;
  void ChooseDrive(char letter) override;
  QGroupBox* BuildCardGroup();
  QGroupBox* BuildCardInfosGroup();
  QGroupBox* BuildFilesGroup();
  void NameControls();
  void WireControls();
  void SetTabOrder();
  void SetStatus(const TCardStatus& status);
  bool AnyOutputKind() const;
  void EvaluateButtonDownload();
  void SetButtonsForValidCard();
  void SetButtonsForNoCard(bool blankDrive);
  // The tool tips of Erase and Initialize: what they do, or why a card is left as it is.
  void ShowWriteProtection(bool writeProtected);
  void SetRestoreButton(bool enabled, bool down);
  // The archive the last ingest went into, kept beside the preview's visibility; "" for none.
  QString IngestArchive() const;
  void ShowIngestSummary(const TIngestSummary& summary,
                         const std::vector<std::string>& cardMessages, bool cancelled);
  // Runs a handler that does card or file work; an input/output error ends it and is shown by
  // the application's general error box.
  void Guarded(const std::function<void()>& work);

  TCardStatus Status;
  bool Created = false;
  bool Destroyed = false;
  bool Centred = false;
};
