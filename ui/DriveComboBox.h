#pragma once
// A drive selector: a drop-down list of the drives present, each item starting with its
// lower-case letter and ":". Its drive is a letter of its own: a letter that no item carries
// can still be taken as the drive, and the visible entry then stays as it was.

#include <QComboBox>

#include "platform/Drives.h"

class TDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  // Lists the drives of the table and shows the drive of the current directory.
  explicit TDriveComboBox(platform::TDriveTable& drives, QWidget* parent = nullptr);

  char Drive() const { return DriveLetter; }
  // Takes the letter as the drive and shows its item if there is one. Announces DriveChanged
  // unless the letter (in any case) was already the drive of a shown item.
  void SetDrive(char letter);

  // Lists the drives present now, again.
  void FillFromTable();
  // Empties the list and takes the items of another selector; no item is shown afterwards
  // until SetDrive, and the drive letter stays.
  void CopyItemsFrom(const TDriveComboBox& other);

  // The letter an item stands for.
  static char ItemLetter(const QString& itemText);

 signals:
  void DriveChanged();

 private:
  void ItemChosen(int index);

  platform::TDriveTable& Drives;
  char DriveLetter = 0;
  bool Updating = false;
};
