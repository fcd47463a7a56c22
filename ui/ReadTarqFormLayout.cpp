// The main window's layout: its controls, their places, captions and hints, the tab order,
// and the wiring of each control to its handler in ReadTarqForm.cpp.

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
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "ui/CardLookout.h"
#include "ui/DriveComboBox.h"
#include "ui/ReadTarqForm.h"
#include "writers/OutputKinds.h"

namespace {

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

QString TReadTarqForm::OutputKindBoxName(const char* kindName) {
  QString name = QString::fromLatin1(kindName);
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return QStringLiteral("CheckBox") + name;
}

QGroupBox* TReadTarqForm::BuildCardGroup() {
  GroupBoxCard = new QGroupBox(QStringLiteral("Flash card"));
  LabelFlashUnit = new QLabel(QStringLiteral("Unit:"));
  DriveBox = new TDriveComboBox(Drives);
  DriveBox->setToolTip(QStringLiteral("Unit where original TarqProbe data are located"));
  DriveBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  DriveBox->setMinimumContentsLength(12);
  ButtonErase = Button("&Erase", EraseHint);
  ButtonRefresh = Button("R&efresh", "Refresh flash card and files infos");
  // Its caption shares E with Erase, which a shortcut cannot: Alt+E stays Erase's, as the
  // first of the two in the window, and Refresh takes the usual F5.
  ButtonRefresh->setShortcut(QKeySequence(Qt::Key_F5));
  ButtonRestore = Button("&Restore", "Retrieve data from an erased flash card");
  ButtonRestore->setCheckable(true);
  ButtonInitialize = Button("&Initialize", InitializeHint);
  ButtonErase->setEnabled(false);
  ButtonRestore->setEnabled(false);
  ButtonInitialize->setEnabled(false);

  auto* grid = new QGridLayout(GroupBoxCard);
  grid->setContentsMargins(14, 10, 14, 12);
  grid->setVerticalSpacing(8);
  grid->setHorizontalSpacing(24);
  grid->addWidget(LabelFlashUnit, 0, 0, 1, 2);
  grid->addWidget(DriveBox, 1, 0, 1, 2);
  grid->setRowMinimumHeight(2, 6);
  grid->addWidget(ButtonErase, 3, 0);
  grid->addWidget(ButtonRefresh, 3, 1);
  grid->addWidget(ButtonRestore, 4, 0);
  grid->addWidget(ButtonInitialize, 4, 1);
  grid->setRowStretch(5, 1);
  return GroupBoxCard;
}

QGroupBox* TReadTarqForm::BuildCardInfosGroup() {
  GroupBoxCardInfos = new QGroupBox(QStringLiteral("Flash card infos"));
  EditStatus = InfoField("Flash card status", 26);
  LabelFiles = new QLabel(QStringLiteral("Number of files:"));
  EditFiles = ShortInfoField("Number of files on flash card", 5);
  LabelUsedSize = new QLabel(QStringLiteral("Used size:"));
  EditUsedSize = InfoField("Total size of files recorded on flash card", 20);
  LabelUsedBytes = new QLabel(QStringLiteral("Bytes"));
  LabelTotalSize = new QLabel(QStringLiteral("Total size:"));
  EditTotalSize = InfoField("Flash card size", 15);
  LabelTotalBytes = new QLabel(QStringLiteral("Bytes"));
  LabelEprom = new QLabel(QStringLiteral("Eprom version:"));
  EditEprom = ShortInfoField("TarqProbe acquisition software version", 5);

  auto* grid = new QGridLayout(GroupBoxCardInfos);
  grid->setContentsMargins(14, 10, 14, 12);
  grid->setVerticalSpacing(8);
  grid->addWidget(EditStatus, 0, 0, 1, 4);
  grid->addWidget(LabelFiles, 1, 0);
  grid->addWidget(EditFiles, 1, 1, Qt::AlignLeft);
  grid->addWidget(LabelUsedSize, 2, 0);
  grid->addWidget(EditUsedSize, 2, 1, 1, 2);
  grid->addWidget(LabelUsedBytes, 2, 3);
  grid->addWidget(LabelTotalSize, 3, 0);
  grid->addWidget(EditTotalSize, 3, 1, 1, 2);
  grid->addWidget(LabelTotalBytes, 3, 3);
  grid->addWidget(LabelEprom, 4, 0);
  grid->addWidget(EditEprom, 4, 1, Qt::AlignLeft);
  grid->setColumnStretch(2, 1);
  return GroupBoxCardInfos;
}

QGroupBox* TReadTarqForm::BuildFilesGroup() {
  GroupBoxFiles = new QGroupBox(QStringLiteral("Files"));
  ButtonSelectAll = Button("&Select all", "Select all files listed in the window");
  ButtonDownload = Button("&Download", "Download selected files to destination directory");
  ButtonSelectAll->setEnabled(false);
  ButtonDownload->setEnabled(false);
  KindPanel = new QFrame;
  KindPanel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  auto* panel = new QVBoxLayout(KindPanel);
  panel->setContentsMargins(12, 10, 12, 10);
  panel->setSpacing(8);
  // A check box per output kind, as the kind table gives them.
  for (const TOutputKind& kind : OutputKinds()) {
    KindBoxes.push_back(CheckBox(kind.Caption, kind.ToolTip));
    KindBoxes.back()->setObjectName(OutputKindBoxName(kind.Name));
    panel->addWidget(KindBoxes.back());
  }
  ButtonStationCodes =
      Button("Station c&odes...", "Network code, station sheet and StationXML of the records");
  CheckBoxSerial = CheckBox("Serial number", "Include serial number in filename");
  ButtonComment = Button("&Comment", "Add comment into file headers");
  EventList = new QListWidget;
  EventList->setToolTip(QStringLiteral("Infos on files recorded on flash card"));
  EventList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // The event lines are columns of figures: a fixed-pitch font keeps them aligned.
  EventList->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  {
    const QFontMetrics metrics(EventList->font());
    const int lineWidth = metrics.horizontalAdvance(QString(70, QLatin1Char('0')));
    EventList->setMinimumWidth(lineWidth + 2 * EventList->frameWidth() + 28);
    EventList->setMinimumHeight(metrics.height() * 12);
  }
  LabelDirName = new QLabel(QStringLiteral("Destination directory:"));
  EditDirName = new QLineEdit;
  EditDirName->setToolTip(QStringLiteral("Directory where selected files are to be downloaded"));
  ButtonBrowse = Button("&Browse...", "Change destination directory");

  auto* left = new QVBoxLayout;
  left->setSpacing(10);
  left->addWidget(ButtonSelectAll);
  left->addWidget(ButtonDownload);
  left->addWidget(KindPanel);
  left->addWidget(CheckBoxSerial, 0, Qt::AlignHCenter);
  left->addWidget(ButtonComment);
  left->addWidget(ButtonStationCodes);
  left->addStretch(1);

  auto* dirRow = new QHBoxLayout;
  dirRow->addWidget(EditDirName, 1);
  dirRow->addSpacing(10);
  dirRow->addWidget(ButtonBrowse);

  auto* grid = new QGridLayout(GroupBoxFiles);
  grid->setContentsMargins(14, 10, 14, 12);
  grid->setHorizontalSpacing(14);
  grid->addLayout(left, 0, 0);
  grid->addWidget(EventList, 0, 1);
  grid->addWidget(LabelDirName, 1, 0, 1, 2);
  grid->addLayout(dirRow, 2, 0, 1, 2);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(1, 1);
  return GroupBoxFiles;
}

void TReadTarqForm::BuildControls() {
  BuildCardGroup();
  BuildCardInfosGroup();
  BuildFilesGroup();
  // Every letter of "Archive" is another control's key already.
  ButtonArchive = Button("Archive vie&w...", "Availability, day plots and noise of an SDS archive");
  ButtonIngest = Button("I&ngest card...",
                        "File every event of the card into an SDS archive, with the station codes");
  ButtonIngest->setEnabled(false);
  ButtonAbout = Button("&About...", "About ReadTarq");
  ButtonQuit = Button("&Quit", nullptr);

  StyleGroupCaption(GroupBoxCard);
  StyleGroupCaption(GroupBoxCardInfos);
  StyleGroupCaption(GroupBoxFiles);
  // After the group styles: the button keeps the window's font, only bold.
  for (QPushButton* button : {ButtonDownload, ButtonQuit}) {
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
  }
  ButtonQuit->setMinimumHeight(ButtonQuit->sizeHint().height() + 6);
  ButtonQuit->setMinimumWidth(ButtonQuit->sizeHint().width() + 20);

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(GroupBoxCard, 1);
  top->addWidget(GroupBoxCardInfos, 1);

  Lookout = std::make_unique<TCardLookout>(static_cast<TLookoutWindow&>(*this));
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Lookout->ButtonPreview);
  bottom->addWidget(Lookout->ButtonReport);
  bottom->addWidget(ButtonArchive);
  bottom->addWidget(ButtonIngest);
  bottom->addStretch(1);
  bottom->addWidget(ButtonAbout);
  bottom->addSpacing(16);
  bottom->addWidget(ButtonQuit);

  auto* layout = new QVBoxLayout;
  layout->setSpacing(12);
  layout->addLayout(top);
  layout->addWidget(GroupBoxFiles, 1);
  layout->addLayout(bottom);
  // The preview to the right of the controls, over the window's whole height.
  auto* columns = new QHBoxLayout(this);
  columns->setContentsMargins(10, 10, 10, 10);
  columns->setSpacing(12);
  columns->addLayout(layout, 0);
  columns->addWidget(Lookout->Pane, 1);

  NameControls();
  WireControls();
  SetTabOrder();

  const QSize wanted = sizeHint().expandedTo(QSize(558, 639));
  resize(wanted);
}

void TReadTarqForm::NameControls() {
  const std::pair<QWidget*, const char*> named[] = {
      {GroupBoxCard, "GroupBoxCard"},
      {LabelFlashUnit, "LabelFlashUnit"},
      {DriveBox, "DriveBox"},
      {ButtonErase, "ButtonErase"},
      {ButtonRefresh, "ButtonRefresh"},
      {ButtonRestore, "ButtonRestore"},
      {ButtonInitialize, "ButtonInitialize"},
      {GroupBoxCardInfos, "GroupBoxCardInfos"},
      {EditStatus, "EditStatus"},
      {LabelFiles, "LabelFiles"},
      {EditFiles, "EditFiles"},
      {LabelUsedSize, "LabelUsedSize"},
      {EditUsedSize, "EditUsedSize"},
      {LabelUsedBytes, "LabelUsedBytes"},
      {LabelTotalSize, "LabelTotalSize"},
      {EditTotalSize, "EditTotalSize"},
      {LabelTotalBytes, "LabelTotalBytes"},
      {LabelEprom, "LabelEprom"},
      {EditEprom, "EditEprom"},
      {GroupBoxFiles, "GroupBoxFiles"},
      {ButtonSelectAll, "ButtonSelectAll"},
      {ButtonDownload, "ButtonDownload"},
      {KindPanel, "KindPanel"},
      {ButtonStationCodes, "ButtonStationCodes"},
      {CheckBoxSerial, "CheckBoxSerial"},
      {ButtonComment, "ButtonComment"},
      {EventList, "EventList"},
      {LabelDirName, "LabelDirName"},
      {EditDirName, "EditDirName"},
      {ButtonBrowse, "ButtonBrowse"},
      {ButtonArchive, "ButtonArchive"},
      {ButtonIngest, "ButtonIngest"},
      {ButtonAbout, "ButtonAbout"},
      {ButtonQuit, "ButtonQuit"},
  };
  for (const auto& [widget, name] : named) widget->setObjectName(QString::fromLatin1(name));
}

void TReadTarqForm::WireControls() {
  connect(DriveBox, &TDriveComboBox::DriveChanged, this, &TReadTarqForm::DriveBoxChange);
  connect(ButtonRefresh, &QPushButton::clicked, this, &TReadTarqForm::ButtonRefreshClick);
  connect(ButtonErase, &QPushButton::clicked, this, &TReadTarqForm::ButtonEraseClick);
  connect(ButtonRestore, &QPushButton::clicked, this, &TReadTarqForm::SpeedButtonRestoreClick);
  connect(ButtonInitialize, &QPushButton::clicked, this, &TReadTarqForm::InitializeButtonClick);
  for (size_t kind = 0; kind < KindBoxes.size(); ++kind) {
    connect(KindBoxes[kind], &QCheckBox::toggled, this,
            [this, kind](bool checked) { OutputKindClick(kind, checked); });
  }
  connect(ButtonStationCodes, &QPushButton::clicked, this,
          &TReadTarqForm::ButtonStationCodesClick);
  connect(CheckBoxSerial, &QCheckBox::toggled, this, &TReadTarqForm::CheckBoxSerialClick);
  connect(EditDirName, &QLineEdit::textChanged, this, &TReadTarqForm::EditDirNameChange);
  connect(ButtonSelectAll, &QPushButton::clicked, this, &TReadTarqForm::ButtonSelectAllClick);
  connect(ButtonDownload, &QPushButton::clicked, this, &TReadTarqForm::ButtonReadClick);
  connect(ButtonBrowse, &QPushButton::clicked, this, &TReadTarqForm::ButtonBrowseClick);
  connect(ButtonComment, &QPushButton::clicked, this, &TReadTarqForm::ButtonCommentClick);
  connect(ButtonArchive, &QPushButton::clicked, this, &TReadTarqForm::ButtonArchiveClick);
  connect(ButtonIngest, &QPushButton::clicked, this, &TReadTarqForm::ButtonIngestClick);
  connect(ButtonAbout, &QPushButton::clicked, this, &TReadTarqForm::ButtonAboutClick);
  connect(ButtonQuit, &QPushButton::clicked, this, &TReadTarqForm::ButtonQuitClick);
}

void TReadTarqForm::SetTabOrder() {
  // Down the card group, then the files group column by column, then the buttons below.
  std::vector<QWidget*> order = {DriveBox,         ButtonErase,     ButtonRefresh, ButtonRestore,
                                 ButtonInitialize, ButtonSelectAll, ButtonDownload};
  order.insert(order.end(), KindBoxes.begin(), KindBoxes.end());
  order.insert(order.end(), {CheckBoxSerial, ButtonComment, ButtonStationCodes, EventList,
                             EditDirName, ButtonBrowse, Lookout->ButtonPreview,
                             Lookout->ButtonReport, ButtonArchive, ButtonIngest, ButtonAbout,
                             ButtonQuit});
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}
