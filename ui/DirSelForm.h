#pragma once
// The directory chooser behind the main window's Browse button: a name field the user may type
// any path into, the directory list with the files of its directory, and a drive box.

#include <QDialog>
#include <QTreeWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TDriveComboBox;

// The directories from the root down to the current one, then the current one's
// subdirectories. Opening an item (double click, Enter) makes it the current directory.
class TDirectoryListBox : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // The current directory as a full path, without a final separator (but the root's).
  const QString& Directory() const { return CurrentDir; }
  // Moves to a directory; announces Changed when the current directory actually changed.
  void SetDirectory(const QString& path);
  static QString FullPath(const QString& path);

 signals:
  void Changed();

 private:
  void Rebuild();
  QString CurrentDir;
};

class TSelectDirForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSelectDirForm(QWidget* parent = nullptr);

  QLabel* DirNameLabel;
  QLineEdit* DirNameEdit;
  QLabel* DirsLabel;
  TDirectoryListBox* DirectoryListBox;
  QLabel* FilesLabel;
  QListWidget* FileListBox1;
  QLabel* DriveLabel;
  TDriveComboBox* DriveComboBox1;
  QPushButton* OKButton1;
  QPushButton* CancelButton;

  void FormShow();
  void DirectoryListBoxChange();
  void DriveComboBox1Change();
  void OKButton1Click();
  void CancelButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FillFileList();
};
