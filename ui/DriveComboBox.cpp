#include "ui/DriveComboBox.h"

#include <QSignalBlocker>
#include <cctype>

#include "platform/Drives.h"

namespace {
char Upper(char letter) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}
}  // namespace

TDriveComboBox::TDriveComboBox(platform::TDriveTable& drives, QWidget* parent)
    : QComboBox(parent), Drives(drives) {
  FillFromTable();
  DriveLetter = Drives.CurrentDrive();
  for (int i = 0; i < count(); ++i) {
    if (Upper(ItemLetter(itemText(i))) == Upper(DriveLetter)) {
      const QSignalBlocker blocker(this);
      setCurrentIndex(i);
      break;
    }
  }
  connect(this, &QComboBox::currentIndexChanged, this, &TDriveComboBox::ItemChosen);
}

char TDriveComboBox::ItemLetter(const QString& itemText) {
  return itemText.isEmpty() ? '\0' : static_cast<char>(itemText.at(0).toLatin1());
}

void TDriveComboBox::FillFromTable() {
  Updating = true;
  clear();
  for (const platform::TDrive& drive : Drives.Drives()) {
    addItem(QString::fromStdString(drive.ItemText));
  }
  Updating = false;
}

void TDriveComboBox::CopyItemsFrom(const TDriveComboBox& other) {
  Updating = true;
  clear();
  for (int i = 0; i < other.count(); ++i) addItem(other.itemText(i));
  setCurrentIndex(-1);
  Updating = false;
}

void TDriveComboBox::SetDrive(char letter) {
  if (currentIndex() >= 0 && Upper(letter) == Upper(DriveLetter)) return;
  DriveLetter = letter;
  Updating = true;
  for (int i = 0; i < count(); ++i) {
    if (Upper(ItemLetter(itemText(i))) == Upper(letter)) {
      setCurrentIndex(i);
      break;
    }
  }
  Updating = false;
  emit DriveChanged();
}

void TDriveComboBox::ItemChosen(int index) {
  if (Updating || index < 0) return;
  const char letter = ItemLetter(itemText(index));
  if (letter == DriveLetter) return;
  DriveLetter = letter;
  emit DriveChanged();
}
