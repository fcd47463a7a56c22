#pragma once
// What a download run reaches in the windows: the main window's event list, the progress
// window, the comment and the message boxes. The run calls from its worker thread; every call
// is carried out on the window thread and has completed when it returns.

#include "convert/DownloadHost.h"

class QListWidget;
class TCommentForm;
class TDownloadForm;

class TWindowDownloadHost : public TDownloadHost {
 public:
  TWindowDownloadHost(QListWidget* listBox, TDownloadForm*& downloadForm,
                      TCommentForm*& commentForm)
      : ListBox(listBox), DownloadForm(downloadForm), CommentForm(commentForm) {}

  int LineCount() override;
  bool IsSelected(int line) override;
  void Deselect(int line) override;
  void ShowFileName(const std::string& originalFileName) override;
  void SetProgress(int percent) override;
  void RunFinished(bool succeeded, int notConverted) override;
  std::vector<std::string> CommentLines() override;
  void ShowError(const std::string& text) override;

 private:
  QListWidget* ListBox;
  // The dialogs are created after the main window: these follow its references to them.
  TDownloadForm*& DownloadForm;
  TCommentForm*& CommentForm;
};
