#pragma once
// What the main window offers to look at a card before downloading it: the waveform preview of
// the event line clicked last (read off the card on the loader's thread), the quality report of
// the selected events, and the watch on the system's mounts that notices a card put in or taken
// out. The window builds it with its controls, places its pane and buttons, and destroys it
// before its card and controls; everything else is wired here.
//
// The preview's visibility is kept in readtarq-view.ini beside the settings file (the settings
// file itself keeps its seven lines).

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QListWidget;
class QPushButton;
class QTimer;
class QWidget;
class TEventLoader;
class TMessages;
class TMountWatcher;
class TTarqCard;
class TWaveformPreview;
struct TPreviewEvent;
struct TSettings;
namespace platform {
class TDriveTable;
}

// What the lookout needs of the window it serves, and all it may touch of it.
class TLookoutWindow {
 public:
  // The window itself: the pane widens it, and it owns the lookout's boxes.
  virtual QWidget& Window() = 0;
  // The card's event lines, a line per event of the card.
  virtual QListWidget& EventLines() = 0;
  virtual TTarqCard& ShownCard() = 0;
  virtual const TSettings& ChosenSettings() const = 0;
  virtual TMessages& MessageBoxes() = 0;
  // The settings file's path (empty before it was located).
  virtual std::string SettingsPath() const = 0;
  virtual std::vector<int> SelectedLines() const = 0;
  virtual const std::string& StatusText() const = 0;
  // Asks to create the destination directory when it is missing; false when it is not there.
  virtual bool EnsureDataDirectory() = 0;
  // The drives: those of the system, those the drive selector lists, the one it shows.
  virtual platform::TDriveTable& DriveTable() = 0;
  virtual std::vector<char> ListedDrives() const = 0;
  virtual char ChosenDrive() const = 0;
  // The drive list made again and the card read again, as the Refresh button does.
  virtual void RefreshCard() = 0;
  // The drive list made again, the drive shown and its card left as they are.
  virtual void RelistDrives() = 0;
  // Shows the card of another drive, as when the user chooses it.
  virtual void ChooseDrive(char letter) = 0;

 protected:
  ~TLookoutWindow() = default;
};

class TCardLookout : public QObject {
  Q_OBJECT

 public:
  explicit TCardLookout(TLookoutWindow& host);
  ~TCardLookout() override;

  QFrame* Pane;  // the preview, to the right of the window's controls
  TWaveformPreview* Preview;
  QPushButton* ButtonPreview;  // shows or hides the pane
  QPushButton* ButtonReport;   // the report of the selected events
  TEventLoader* Loader;
  TMountWatcher* Watcher;

  // The file that keeps the pane's visibility.
  std::string ViewSettingsPath() const;
  // Reads the pane's visibility (shown unless the file says otherwise); FormCreate's time.
  void RestoreView();
  void SetPaneVisible(bool visible);

  // Previews the event of a 0-based line of the event list (-1: none).
  void ShowLine(int row);
  // Writes the report of the selected events into the destination directory.
  void ButtonReportClick();
  // The mount table changed: the drive list is brought up to date and a card just put in is
  // shown when the drive in use holds none. Public for tests, which change the drive table.
  void MountsChanged();

  // The report last written (empty before).
  const QString& LastReport() const { return ReportPath; }

 private:
  void EventLoaded(int line, std::shared_ptr<const TPreviewEvent> event, int error);
  void SaveView() const;

  TLookoutWindow& Host;
  QTimer* ReadingNote;  // "Reading ..." once a read takes long enough to be noticed
  QTimer* MountRetry;   // a mount change seen while a dialog was open
  int ShownRow = -1;
  QString ReportPath;
};
