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

class QFrame;
class QPushButton;
class QTimer;
class TEventLoader;
class TMountWatcher;
class TReadTarqForm;
class TWaveformPreview;
struct TPreviewEvent;

class TCardLookout : public QObject {
  Q_OBJECT

 public:
  explicit TCardLookout(TReadTarqForm& form);
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

  TReadTarqForm& Form;
  QTimer* ReadingNote;  // "Reading ..." once a read takes long enough to be noticed
  QTimer* MountRetry;   // a mount change seen while a dialog was open
  int ShownRow = -1;
  QString ReportPath;
};
