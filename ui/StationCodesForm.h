#pragma once
// The "Station codes" dialog: the network code, the station sheet and the record length of
// the miniSEED file and the SDS archive, checked before they are kept; and the export of the
// StationXML of the selected events (or all) through a save dialog.

#include <QDialog>
#include <functional>
#include <string>

#include "base/Settings.h"
#include "download/DownloadSnapshot.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TStationCodesForm : public QDialog {
  Q_OBJECT

 public:
  explicit TStationCodesForm(QWidget* parent = nullptr);

  QLineEdit* EditNetwork;
  QLineEdit* EditSheet;
  QPushButton* ButtonBrowseSheet;
  QComboBox* ComboRecordLength;
  QLabel* LabelMessage;
  QPushButton* ButtonExport;
  QPushButton* ButtonCancel;
  QPushButton* ButtonOk;

  // The fields from the settings, and back (the network upper-cased).
  void Load(const TSettings& settings);
  void Store(TSettings& settings) const;
  // The fields' product options; Problem says what is wrong with them ("" when nothing).
  TProductOptions Options() const;

  // Asks where to open a sheet or save the StationXML; "" when the user cancels. Tests
  // replace them.
  std::function<QString()> AskSheetPath;
  std::function<QString()> AskExportPath;
  // Writes the StationXML into the path with the options; returns the message to show.
  std::function<std::string(const std::string& path, const TProductOptions& options)> Export;

  void ButtonBrowseSheetClick();
  void ButtonExportClick();
  void ButtonOkClick();

 private:
  void ShowMessage(const std::string& text, bool error);
};
