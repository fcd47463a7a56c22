#pragma once
// What a download run reports to the windows: the main window's event list, the progress
// window and the message boxes. The run calls from its worker thread; every call is queued for
// the window thread and returns at once, but for an error box, which the worker waits for.

#include "download/DownloadHost.h"

class QListWidget;
class TDownloadForm;
class TMessages;

class TWindowDownloadHost : public TDownloadHost {
 public:
  TWindowDownloadHost(QListWidget* listBox, TDownloadForm* downloadForm, TMessages& boxes)
      : ListBox(listBox), DownloadForm(downloadForm), Boxes(boxes) {}

  void Deselect(const TConvertedEvent& event) override;
  void ShowFileName(const std::string& originalFileName) override;
  void SetProgress(int percent) override;
  void RunFinished(bool succeeded, int notConverted) override;
  void ShowError(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  // The box, then the program ends.
  void CloseFailed(const platform::ECloseError& error) override;

  // On the window thread, before the worker of a run starts.
  void PrepareRun() { Ended = false; }
  // On the window thread: carries out the run's calls until its end has been shown; returns
  // at once when it has (or no run was started).
  void WaitForEnd();

 private:
  QListWidget* ListBox;
  TDownloadForm* DownloadForm;
  TMessages& Boxes;
  bool Ended = true;  // the run's last call was carried out (window thread only)
};
