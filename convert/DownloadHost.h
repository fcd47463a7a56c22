#pragma once
// What a download run reaches outside the core: the main window's event list, the progress
// window, the comment and the message boxes. The desktop program carries each call out on
// its window thread and returns when it is done; the command-line tool and tests implement
// it directly.

#include <string>
#include <vector>

class TDownloadHost {
 public:
  virtual ~TDownloadHost() = default;

  // The event list: line i stands for the i-th event of the card, counted from 0.
  virtual int LineCount() = 0;
  virtual bool IsSelected(int line) = 0;
  virtual void Deselect(int line) = 0;

  // The progress window.
  virtual void ShowFileName(const std::string& originalFileName) = 0;
  virtual void SetProgress(int percent) = 0;  // 0 to 100
  // The end-of-run step: the file name hidden and emptied, the result shown ("Download
  // successful" when succeeded, otherwise a failure), Cancel disabled, OK enabled.
  virtual void RunFinished(bool succeeded) = 0;

  // The comment dialog's lines, read at each event.
  virtual std::vector<std::string> CommentLines() = 0;

  // A message box shown while the progress window stays open ("Cannot create file ...", the
  // text of an input/output error that ended the run).
  virtual void ShowError(const std::string& text) = 0;
};
