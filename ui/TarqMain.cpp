#include "ui/TarqMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/WUtil.h"
#include "card/CardLayout.h"
#include "convert/Download.h"
#include "convert/TarqConvert.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "ui/APropos.h"
#include "ui/Comment.h"
#include "ui/DirSelForm.h"
#include "ui/DownloadForm.h"
#include "ui/DriveComboBox.h"
#include "ui/QtMessages.h"
#include "ui/WindowDownloadHost.h"

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

const char* const EraseHint = "Erase flash card for new recordings";
const char* const InitializeHint = "Prepare flash card in TarqProbe format";

QPushButton* Button(const char* caption, const char* hint) {
  auto* button = new QPushButton(QString::fromUtf8(caption));
  if (hint) button->setToolTip(QString::fromUtf8(hint));
  button->setAutoDefault(false);
  return button;
}

QLineEdit* InfoField(const char* hint, int widthChars) {
  auto* field = new QLineEdit;
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::ClickFocus);
  field->setToolTip(QString::fromUtf8(hint));
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  field->setPalette(palette);
  const int unit = field->fontMetrics().horizontalAdvance(QStringLiteral("0"));
  field->setMinimumWidth(unit * widthChars + 12);
  return field;
}

// A field for a few characters only, which does not grow with the window.
QLineEdit* ShortInfoField(const char* hint, int widthChars) {
  QLineEdit* field = InfoField(hint, widthChars);
  field->setFixedWidth(field->minimumWidth());
  return field;
}

QCheckBox* CheckBox(const char* caption, const char* hint) {
  auto* box = new QCheckBox(QString::fromUtf8(caption));
  box->setToolTip(QString::fromUtf8(hint));
  return box;
}

// Group captions in maroon, bold italic and larger; what the groups hold keeps the window's
// own font and colours.
void StyleGroupCaption(QGroupBox* group) {
  const QFont base = QApplication::font();
  const QPalette basePalette = QApplication::palette();
  QFont caption = base;
  caption.setBold(true);
  caption.setItalic(true);
  caption.setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() * 1.5 : 12.0);
  group->setFont(caption);
  QPalette palette = group->palette();
  palette.setColor(QPalette::WindowText, QColor(128, 0, 0));
  group->setPalette(palette);
  for (QWidget* child : group->findChildren<QWidget*>()) {
    QFont font = child->font();
    font.setBold(base.bold());
    font.setItalic(base.italic());
    if (base.pointSizeF() > 0) font.setPointSizeF(base.pointSizeF());
    child->setFont(font);
    QPalette childPalette = child->palette();
    childPalette.setColor(QPalette::WindowText, basePalette.color(QPalette::WindowText));
    child->setPalette(childPalette);
  }
}

}  // namespace

TReadTarqForm::TReadTarqForm(TSettingsFile& settingsFile, QWidget* parent)
    : QWidget(parent),
      SettingsFile(settingsFile),
      Settings(settingsFile.Settings),
      Drives(platform::DriveTable()),
      Card(Messages(), Drives),
      Convert(std::make_unique<TTarqConvert>(Card, settingsFile.Settings)) {
  setObjectName(QStringLiteral("ReadTarqForm"));
  setWindowTitle(QStringLiteral("ReadTarq"));
  setWindowIcon(QIcon(ReadTarqPixmap(32)));
  BuildControls();
  Download = std::make_unique<TDownload>();
}

TReadTarqForm::~TReadTarqForm() = default;

void TReadTarqForm::BuildControls() {
  // ---- Flash card ----
  GroupBoxFlash = new QGroupBox(QStringLiteral("Flash card"));
  LabelFlashUnit = new QLabel(QStringLiteral("Unit:"));
  DriveBox = new TDriveComboBox;
  DriveBox->setToolTip(QStringLiteral("Unit where original TarqProbe data are located"));
  DriveBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  DriveBox->setMinimumContentsLength(12);
  ButtonErase = Button("&Erase", EraseHint);
  ButtonRefresh = Button("R&efresh", "Refresh flash card and files infos");
  SpeedButtonRestore = Button("&Restore", "Retrieve data from an erased flash card");
  SpeedButtonRestore->setCheckable(true);
  InitializeButton = Button("&Initialize", InitializeHint);
  ButtonErase->setEnabled(false);
  SpeedButtonRestore->setEnabled(false);
  InitializeButton->setEnabled(false);
  {
    auto* grid = new QGridLayout(GroupBoxFlash);
    grid->setContentsMargins(14, 10, 14, 12);
    grid->setVerticalSpacing(8);
    grid->setHorizontalSpacing(24);
    grid->addWidget(LabelFlashUnit, 0, 0, 1, 2);
    grid->addWidget(DriveBox, 1, 0, 1, 2);
    grid->setRowMinimumHeight(2, 6);
    grid->addWidget(ButtonErase, 3, 0);
    grid->addWidget(ButtonRefresh, 3, 1);
    grid->addWidget(SpeedButtonRestore, 4, 0);
    grid->addWidget(InitializeButton, 4, 1);
    grid->setRowStretch(5, 1);
  }

  // ---- Flash card infos ----
  GroupFlashCard = new QGroupBox(QStringLiteral("Flash card infos"));
  EditStatus = InfoField("Flash card status", 26);
  LabelFiles = new QLabel(QStringLiteral("Number of files:"));
  EditFiles = ShortInfoField("Number of files on flash card", 5);
  LabelUsedSize = new QLabel(QStringLiteral("Used size:"));
  EditUsedSize = InfoField("Total size of files recorded on flash card", 20);
  LabelBytes1 = new QLabel(QStringLiteral("Bytes"));
  LabelTotalSize = new QLabel(QStringLiteral("Total size:"));
  EditTotalSize = InfoField("Flash card size", 15);
  LabelBytes2 = new QLabel(QStringLiteral("Bytes"));
  LabelEvent = new QLabel(QStringLiteral("Eprom version:"));
  EditEprom = ShortInfoField("TarqProbe acquisition software version", 5);
  {
    auto* grid = new QGridLayout(GroupFlashCard);
    grid->setContentsMargins(14, 10, 14, 12);
    grid->setVerticalSpacing(8);
    grid->addWidget(EditStatus, 0, 0, 1, 4);
    grid->addWidget(LabelFiles, 1, 0);
    grid->addWidget(EditFiles, 1, 1, Qt::AlignLeft);
    grid->addWidget(LabelUsedSize, 2, 0);
    grid->addWidget(EditUsedSize, 2, 1, 1, 2);
    grid->addWidget(LabelBytes1, 2, 3);
    grid->addWidget(LabelTotalSize, 3, 0);
    grid->addWidget(EditTotalSize, 3, 1, 1, 2);
    grid->addWidget(LabelBytes2, 3, 3);
    grid->addWidget(LabelEvent, 4, 0);
    grid->addWidget(EditEprom, 4, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
  }

  // ---- Files ----
  GroupBoxFiles = new QGroupBox(QStringLiteral("Files"));
  ButtonSelectAll = Button("&Select all", "Select all files listed in the window");
  ButtonRead = Button("&Download", "Download selected files to destination directory");
  ButtonSelectAll->setEnabled(false);
  ButtonRead->setEnabled(false);
  FileTypePanel = new QFrame;
  FileTypePanel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  CheckBoxAllChannels =
      CheckBox("Record file", "One single file per record containing all channels");
  CheckBoxThreeChannels = CheckBox("Sensor files", "One file per sensor containing three channels");
  CheckBoxBinFile = CheckBox("Binary file", "One binary file per record containing all channels");
  CheckBoxSacFiles = CheckBox("SAC files", "One SAC file per channel");
  CheckBoxSerial = CheckBox("Serial number", "Include serial number in filename");
  ButtonComment = Button("&Comment", "Add comment into file headers");
  ListBox = new QListWidget;
  ListBox->setToolTip(QStringLiteral("Infos on files recorded on flash card"));
  ListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // The event lines are columns of figures: a fixed-pitch font keeps them aligned.
  ListBox->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  {
    const QFontMetrics metrics(ListBox->font());
    const int lineWidth = metrics.horizontalAdvance(QString(70, QLatin1Char('0')));
    ListBox->setMinimumWidth(lineWidth + 2 * ListBox->frameWidth() + 28);
    ListBox->setMinimumHeight(metrics.height() * 12);
  }
  LabelDirName = new QLabel(QStringLiteral("Destination directory:"));
  EditDirName = new QLineEdit;
  EditDirName->setToolTip(QStringLiteral("Directory where selected files are to be downloaded"));
  ButtonBrowse = Button("&Browse...", "Change destination directory");
  {
    auto* panel = new QVBoxLayout(FileTypePanel);
    panel->setContentsMargins(12, 10, 12, 10);
    panel->setSpacing(8);
    panel->addWidget(CheckBoxAllChannels);
    panel->addWidget(CheckBoxThreeChannels);
    panel->addWidget(CheckBoxBinFile);
    panel->addWidget(CheckBoxSacFiles);

    auto* left = new QVBoxLayout;
    left->setSpacing(10);
    left->addWidget(ButtonSelectAll);
    left->addWidget(ButtonRead);
    left->addWidget(FileTypePanel);
    left->addWidget(CheckBoxSerial, 0, Qt::AlignHCenter);
    left->addWidget(ButtonComment);
    left->addStretch(1);

    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(EditDirName, 1);
    dirRow->addSpacing(10);
    dirRow->addWidget(ButtonBrowse);

    auto* grid = new QGridLayout(GroupBoxFiles);
    grid->setContentsMargins(14, 10, 14, 12);
    grid->setHorizontalSpacing(14);
    grid->addLayout(left, 0, 0);
    grid->addWidget(ListBox, 0, 1);
    grid->addWidget(LabelDirName, 1, 0, 1, 2);
    grid->addLayout(dirRow, 2, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(1, 1);
  }

  // ---- On the window ----
  ButtonAbout = Button("&About...", "About ReadTarq");
  ButtonQuit = Button("&Quit", nullptr);

  StyleGroupCaption(GroupBoxFlash);
  StyleGroupCaption(GroupFlashCard);
  StyleGroupCaption(GroupBoxFiles);
  // After the group styles: the button keeps the window's font, only bold.
  for (QPushButton* button : {ButtonRead, ButtonQuit}) {
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
  }
  ButtonQuit->setMinimumHeight(ButtonQuit->sizeHint().height() + 6);
  ButtonQuit->setMinimumWidth(ButtonQuit->sizeHint().width() + 20);

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(GroupBoxFlash, 1);
  top->addWidget(GroupFlashCard, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(ButtonAbout);
  bottom->addSpacing(16);
  bottom->addWidget(ButtonQuit);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->setSpacing(12);
  layout->addLayout(top);
  layout->addWidget(GroupBoxFiles, 1);
  layout->addLayout(bottom);

  // ---- Wiring ----
  connect(DriveBox, &TDriveComboBox::DriveChanged, this, &TReadTarqForm::DriveBoxChange);
  connect(ButtonRefresh, &QPushButton::clicked, this, &TReadTarqForm::ButtonRefreshClick);
  connect(ButtonErase, &QPushButton::clicked, this, &TReadTarqForm::ButtonEraseClick);
  connect(SpeedButtonRestore, &QPushButton::clicked, this, &TReadTarqForm::SpeedButtonRestoreClick);
  connect(InitializeButton, &QPushButton::clicked, this, &TReadTarqForm::InitializeButtonClick);
  connect(CheckBoxAllChannels, &QCheckBox::toggled, this, &TReadTarqForm::CheckBoxAllChannelsClick);
  connect(CheckBoxThreeChannels, &QCheckBox::toggled, this,
          &TReadTarqForm::CheckBoxThreeChannelsClick);
  connect(CheckBoxBinFile, &QCheckBox::toggled, this, &TReadTarqForm::CheckBoxBinFileClick);
  connect(CheckBoxSacFiles, &QCheckBox::toggled, this, &TReadTarqForm::CheckBoxSacFilesClick);
  connect(CheckBoxSerial, &QCheckBox::toggled, this, &TReadTarqForm::CheckBoxSerialClick);
  connect(EditDirName, &QLineEdit::textChanged, this, &TReadTarqForm::EditDirNameChange);
  connect(ButtonSelectAll, &QPushButton::clicked, this, &TReadTarqForm::ButtonSelectAllClick);
  connect(ButtonRead, &QPushButton::clicked, this, &TReadTarqForm::ButtonReadClick);
  connect(ButtonBrowse, &QPushButton::clicked, this, &TReadTarqForm::ButtonBrowseClick);
  connect(ButtonComment, &QPushButton::clicked, this, &TReadTarqForm::ButtonCommentClick);
  connect(ButtonAbout, &QPushButton::clicked, this, &TReadTarqForm::ButtonAboutClick);
  connect(ButtonQuit, &QPushButton::clicked, this, &TReadTarqForm::ButtonQuitClick);

  setTabOrder(DriveBox, ButtonErase);
  setTabOrder(ButtonErase, ButtonRefresh);
  setTabOrder(ButtonRefresh, SpeedButtonRestore);
  setTabOrder(SpeedButtonRestore, InitializeButton);
  setTabOrder(InitializeButton, ButtonSelectAll);
  setTabOrder(ButtonSelectAll, ButtonRead);
  setTabOrder(ButtonRead, CheckBoxAllChannels);
  setTabOrder(CheckBoxAllChannels, CheckBoxThreeChannels);
  setTabOrder(CheckBoxThreeChannels, CheckBoxBinFile);
  setTabOrder(CheckBoxBinFile, CheckBoxSacFiles);
  setTabOrder(CheckBoxSacFiles, CheckBoxSerial);
  setTabOrder(CheckBoxSerial, ButtonComment);
  setTabOrder(ButtonComment, ListBox);
  setTabOrder(ListBox, EditDirName);
  setTabOrder(EditDirName, ButtonBrowse);
  setTabOrder(ButtonBrowse, ButtonAbout);
  setTabOrder(ButtonAbout, ButtonQuit);

  const QSize wanted = sizeHint().expandedTo(QSize(558, 639));
  resize(wanted);
}

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
  } catch (const platform::EInOutError& error) {
    ShowApplicationError(error.what());
  } catch (const std::exception& error) {
    ShowApplicationError(error.what());
  }
}

// ---- Creation and destruction ------------------------------------------------------------

bool TReadTarqForm::FormCreate() {
  HiddenDriveListExists = false;
  StartDrive = DriveBox->Drive();
  if (std::optional<std::string> error = SettingsFile.ReadSettings(StartDrive)) {
    Messages().Error(*error);
    return false;
  }
  EditDirName->setText(QString::fromStdString(WUtil::WithTrailingBackslash(Settings.DataDir)));
  SettingsDrive = Settings.FlashUnit;
  DriveChangeEnabled = false;
  DriveBox->SetDrive(Settings.FlashUnit);
  DriveChangeEnabled = true;
  Card.RestoreMode = false;
  // Copies first: a box's handler stores its own field only, but the fields must not change
  // while the boxes are being set.
  const TSettings wanted = Settings;
  CheckBoxAllChannels->setChecked(wanted.RecordFile);
  CheckBoxThreeChannels->setChecked(wanted.SensorFiles);
  CheckBoxBinFile->setChecked(wanted.BinaryFile);
  CheckBoxSacFiles->setChecked(wanted.SacFiles);
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
  } catch (const std::exception& error) {
    Messages().Warning("The settings could not be saved in " + SettingsFile.FilePath() + " (" +
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
  return Settings.RecordFile || Settings.SensorFiles || Settings.BinaryFile || Settings.SacFiles;
}

void TReadTarqForm::EvaluateButtonRead() {
  ButtonRead->setEnabled(ButtonSelectAll->isEnabled() && AnyOutputKind());
}

void TReadTarqForm::SetRestoreButton(bool enabled, bool down) {
  SpeedButtonRestore->setEnabled(enabled);
  SpeedButtonRestore->setChecked(down);
  SpeedButtonRestore->setText(down ? QStringLiteral("Restored") : QStringLiteral("Restore"));
}

void TReadTarqForm::SetButtonsForValidCard() {
  const bool listed = !Card.NewCard && !Card.NoEvents;
  ButtonSelectAll->setEnabled(listed);
  EvaluateButtonRead();
  ButtonErase->setEnabled(Card.SectorFilePresent && ButtonRead->isEnabled() && !Card.RestoreMode &&
                          !Card.WriteProtected);
  if (Card.RestoreMode && listed) {
    SetRestoreButton(true, true);
  } else {
    SetRestoreButton(Card.NoEvents, false);
  }
  InitializeButton->setEnabled(false);
  ShowWriteProtection(Card.WriteProtected);
}

void TReadTarqForm::ShowWriteProtection(bool writeProtected) {
  const QString locked = QString::fromLatin1(WriteProtectedText);
  ButtonErase->setToolTip(writeProtected ? locked : QString::fromLatin1(EraseHint));
  InitializeButton->setToolTip(writeProtected ? locked : QString::fromLatin1(InitializeHint));
}

void TReadTarqForm::SetButtonsForNoCard(bool blankDrive) {
  ButtonSelectAll->setEnabled(false);
  ButtonRead->setEnabled(false);
  ButtonErase->setEnabled(false);
  SetRestoreButton(false, false);
  InitializeButton->setEnabled(blankDrive && !Card.WriteProtected);
  ShowWriteProtection(Card.WriteProtected);
}

void TReadTarqForm::RefreshCardDisplay() {
  Settings.FlashUnit = DriveBox->Drive();
  SetStatus({});
  EditFiles->clear();
  EditUsedSize->clear();
  EditTotalSize->clear();
  EditEprom->clear();
  ListBox->clear();
  repaint();

  // The drive letter is the window's: the card is its drive's root directory.
  Card.Root = Drives.RootOf(Settings.FlashUnit);
  // The count box and the list follow the scan event by event.
  TListDirectoryView view(EditFiles, ListBox);
  const TCardSummary summary = Card.ReadSummary(&view);
  if (summary.Scanned) {
    // A new card is not scanned; the probe has set its used records to 0.
    EditUsedSize->setText(
        QString::fromLatin1(UsedSizeText(summary.UsedBytes, summary.TotalBytes).c_str()));
    EditTotalSize->setText(QString::fromLatin1(TotalSizeText(summary.TotalBytes).c_str()));
    SetStatus(summary.Status);
    EditEprom->setText(QString::fromLatin1(EpromVersionText(summary.EpromVersion).c_str()));
    SetButtonsForValidCard();
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

void TReadTarqForm::RebuildDriveList() {
  if (HiddenDriveListExists) delete HiddenDriveList;
  HiddenDriveList = new TDriveComboBox(this);
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

void TReadTarqForm::ButtonRefreshClick() {
  Guarded([this] { RebuildDriveList(); });
}

void TReadTarqForm::CheckBoxAllChannelsClick() {
  Settings.RecordFile = CheckBoxAllChannels->isChecked();
  EvaluateButtonRead();
}

void TReadTarqForm::CheckBoxThreeChannelsClick() {
  Settings.SensorFiles = CheckBoxThreeChannels->isChecked();
  EvaluateButtonRead();
}

void TReadTarqForm::CheckBoxBinFileClick() {
  Settings.BinaryFile = CheckBoxBinFile->isChecked();
  EvaluateButtonRead();
}

void TReadTarqForm::CheckBoxSacFilesClick() {
  Settings.SacFiles = CheckBoxSacFiles->isChecked();
  EvaluateButtonRead();
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
    Messages().Error(card_layout::NotValidCardText);
    return;
  }
  if (ListBox->count() > 0) {
    ListBox->setUpdatesEnabled(false);
    for (int i = ListBox->count() - 1; i >= 0; --i) ListBox->item(i)->setSelected(true);
    ListBox->setUpdatesEnabled(true);
  } else {
    Messages().Warning(Card.SectorFilePresent ? "Flash card is empty" : "Flash file is empty");
  }
}

bool TReadTarqForm::ForceDirectory(const std::string& path) {
  if (platform::MakeDirectory(WUtil::WithTrailingBackslash(path))) return true;
  if (platform::DirectoryExists(path)) return true;
  const std::string parent = WUtil::DirectoryPart(path);
  if (parent.empty() || parent == path) return false;
  if (!ForceDirectory(parent)) return false;
  return platform::MakeDirectory(WUtil::WithTrailingBackslash(path));
}

bool TReadTarqForm::EnsureDataDirectory() {
  const std::string directory = WUtil::WithTrailingBackslash(Settings.DataDir);
  if (platform::DirectoryExists(directory)) return true;
  if (!Messages().Confirm("Create data directory " + directory)) return false;
  if (ForceDirectory(Settings.DataDir)) return true;
  Messages().Error("Cannot create data directory " + directory);
  return false;
}

void TReadTarqForm::ButtonReadClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      Messages().Error(card_layout::NotValidCardText);
      return;
    }
    if (ListBox->selectedItems().isEmpty()) {
      Messages().Warning("No event selected");
      return;
    }
    if (!EnsureDataDirectory()) return;
    // The run converts what is selected and written now: the progress window is modal.
    std::vector<int> events;
    for (int i = 0; i < ListBox->count(); ++i) {
      if (ListBox->item(i)->isSelected()) events.push_back(i);
    }
    TDownloadSnapshot snapshot =
        MakeDownloadSnapshot(Settings, std::move(events), CommentForm->CommentLines());
    if (!DownloadHost) DownloadHost = std::make_unique<TWindowDownloadHost>(ListBox, DownloadForm);
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
  });
}

void TReadTarqForm::ButtonEraseClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      Messages().Error(card_layout::NotValidCardText);
      return;
    }
    if (!Messages().Confirm("Erase flash card")) return;
    Card.EraseCard();
    Card.RestoreMode = false;
    RefreshCardDisplay();
  });
}

void TReadTarqForm::SpeedButtonRestoreClick() {
  Guarded([this] {
    if (!Card.CardValid) {
      SetRestoreButton(false, false);
      Messages().Error(card_layout::NotValidCardText);
      return;
    }
    if (SpeedButtonRestore->isChecked()) {
      if (Messages().Confirm(Card.SectorFilePresent ? "Restore erased flash card"
                                                    : "Restore erased flash file")) {
        Card.RestoreMode = true;
        RefreshCardDisplay();
      } else {
        SpeedButtonRestore->setChecked(false);
      }
    } else {
      Card.RestoreMode = false;
      RefreshCardDisplay();
      SpeedButtonRestore->setText(QStringLiteral("Restore"));
    }
  });
}

void TReadTarqForm::InitializeButtonClick() {
  Guarded([this] {
    if (!Messages().Confirm("Initialize flash card")) return;
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
