#include "ui/DirSelForm.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <cctype>

#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "ui/DriveComboBox.h"

namespace {
const int PathRole = Qt::UserRole;
}

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setIndentation(12);
  setColumnCount(1);
  // Every directory of the chain is open and stays so: no branch marks.
  setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item) SetDirectory(item->data(0, PathRole).toString());
  });
}

QString TDirectoryListBox::FullPath(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void TDirectoryListBox::SetDirectory(const QString& path) {
  const QString full = FullPath(path);
  const bool changed = full != CurrentDir;
  CurrentDir = full;
  Rebuild();
  if (changed) emit Changed();
}

void TDirectoryListBox::Rebuild() {
  clear();
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);

  // The chain from the root: each directory a child of the one above it.
  QStringList chain;
  for (QDir dir(CurrentDir);;) {
    chain.prepend(dir.absolutePath());
    if (dir.isRoot() || !dir.cdUp()) break;
  }
  QTreeWidgetItem* parent = nullptr;
  QTreeWidgetItem* current = nullptr;
  for (const QString& path : chain) {
    const QString name =
        QDir(path).isRoot() ? QDir::toNativeSeparators(path) : QFileInfo(path).fileName();
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, name);
    item->setIcon(0, openIcon);
    item->setData(0, PathRole, path);
    parent = current = item;
  }
  const QStringList subdirs =
      QDir(CurrentDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  for (const QString& name : subdirs) {
    auto* item = new QTreeWidgetItem(current);
    item->setText(0, name);
    item->setIcon(0, closedIcon);
    item->setData(0, PathRole, QDir(CurrentDir).filePath(name));
  }
  expandAll();
  setCurrentItem(current);
  scrollToItem(current);
}

TSelectDirForm::TSelectDirForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SelectDirForm"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  // The framework's own captions; the main window puts its English ones before every showing.
  setWindowTitle(QStringLiteral("Sélection du répertoire"));
  DirNameLabel = new QLabel(QStringLiteral("Nom du répertoire :"));
  DirNameEdit = new QLineEdit;
  DirsLabel = new QLabel(QStringLiteral("Répertoires :"));
  DirectoryListBox = new TDirectoryListBox;
  FilesLabel = new QLabel(QStringLiteral("&Fichiers : (*.*)"));
  FileListBox1 = new QListWidget;
  DriveLabel = new QLabel(QStringLiteral("&Lecteurs :"));
  DriveComboBox1 = new TDriveComboBox(platform::DriveTable());
  OKButton1 = new QPushButton(QStringLiteral("OK"));
  OKButton1->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("Annuler"));
  CancelButton->setAutoDefault(false);

  FilesLabel->setBuddy(FileListBox1);
  DriveLabel->setBuddy(DriveComboBox1);
  // The file list is for information only: its names are drawn in a subdued colour.
  QPalette subdued = FileListBox1->palette();
  const QColor text = subdued.color(QPalette::Text);
  const QColor base = subdued.color(QPalette::Base);
  subdued.setColor(QPalette::Text, QColor((text.red() * 11 + base.red() * 9) / 20,
                                          (text.green() * 11 + base.green() * 9) / 20,
                                          (text.blue() * 11 + base.blue() * 9) / 20));
  FileListBox1->setPalette(subdued);
  FileListBox1->setSelectionMode(QAbstractItemView::NoSelection);

  const int unit = fontMetrics().horizontalAdvance(QStringLiteral("M"));
  DirectoryListBox->setMinimumSize(unit * 15, unit * 12);
  FileListBox1->setMinimumSize(unit * 16, unit * 8);

  auto* grid = new QGridLayout;
  grid->addWidget(DirNameLabel, 0, 0, 1, 2);
  grid->addWidget(DirNameEdit, 1, 0, 1, 2);
  grid->addWidget(DirsLabel, 2, 0);
  grid->addWidget(FilesLabel, 2, 1);
  grid->addWidget(DirectoryListBox, 3, 0, 3, 1);
  grid->addWidget(FileListBox1, 3, 1);
  grid->addWidget(DriveLabel, 4, 1);
  grid->addWidget(DriveComboBox1, 5, 1);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowMinimumHeight(2, DirsLabel->sizeHint().height() + 6);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton1);
  buttons->addWidget(CancelButton);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid, 1);
  layout->addSpacing(4);
  layout->addLayout(buttons);

  setTabOrder(DirNameEdit, DirectoryListBox);
  setTabOrder(DirectoryListBox, FileListBox1);
  setTabOrder(FileListBox1, DriveComboBox1);
  setTabOrder(DriveComboBox1, OKButton1);
  setTabOrder(OKButton1, CancelButton);

  connect(DirectoryListBox, &TDirectoryListBox::Changed, this,
          &TSelectDirForm::DirectoryListBoxChange);
  connect(DriveComboBox1, &TDriveComboBox::DriveChanged, this,
          &TSelectDirForm::DriveComboBox1Change);
  connect(OKButton1, &QPushButton::clicked, this, &TSelectDirForm::OKButton1Click);
  connect(CancelButton, &QPushButton::clicked, this, &TSelectDirForm::CancelButtonClick);
}

void TSelectDirForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TSelectDirForm::FormShow() {
  const std::string typed = DirNameEdit->text().toStdString();
  if (!typed.empty() && platform::DirectoryExists(typed)) {
    DirectoryListBox->SetDirectory(DirNameEdit->text());
  } else {
    const QString current = QString::fromStdString(platform::CurrentDirectory());
    DirectoryListBox->SetDirectory(current);
    DirNameEdit->setText(TDirectoryListBox::FullPath(current));
  }
  FillFileList();
}

void TSelectDirForm::DirectoryListBoxChange() {
  DirNameEdit->setText(DirectoryListBox->Directory());
  FillFileList();
}

void TSelectDirForm::DriveComboBox1Change() {
  const char letter = DriveComboBox1->Drive();
  platform::TDriveTable& drives = platform::DriveTable();
  // A drive's current directory: the process's own on its drive, the root elsewhere.
  std::string directory = drives.RootOf(letter);
  if (std::tolower(static_cast<unsigned char>(letter)) ==
      std::tolower(static_cast<unsigned char>(drives.CurrentDrive()))) {
    directory = platform::CurrentDirectory();
  }
  if (!directory.empty()) DirectoryListBox->SetDirectory(QString::fromStdString(directory));
}

void TSelectDirForm::FillFileList() {
  FileListBox1->clear();
  const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
  const QStringList files = QDir(DirectoryListBox->Directory())
                                .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  for (const QString& name : files) FileListBox1->addItem(new QListWidgetItem(fileIcon, name));
}

void TSelectDirForm::OKButton1Click() {
  done(QDialog::Accepted);
}

void TSelectDirForm::CancelButtonClick() {
  done(QDialog::Rejected);
}
