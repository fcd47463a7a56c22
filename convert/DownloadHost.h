#pragma once
// What a download run reaches outside the core: the main window's event list, the progress
// window, the comment and the message boxes. The desktop program carries each call out on
// its window thread and returns when it is done; the command-line tool and tests implement
// it directly.

#include <string>
#include <vector>

// The result line of a finished run: "Download successful", "Download finished: N event(s)
// not converted" when only refused events were left out, otherwise "Download failed".
inline std::string DownloadResultText(bool succeeded, int notConverted) {
  if (succeeded) return "Download successful";
  if (notConverted > 0) {
    return "Download finished: " + std::to_string(notConverted) + " event(s) not converted";
  }
  return "Download failed";
}

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
  // The end-of-run step: the file name hidden and emptied, the result shown
  // (DownloadResultText), Cancel disabled, OK enabled. succeeded: every selected event was
  // converted. notConverted: the number of selected events refused (a message shown for
  // each) in a run that otherwise went to its end; 0 after an error or a stop.
  virtual void RunFinished(bool succeeded, int notConverted) = 0;

  // The comment dialog's lines, read at each event.
  virtual std::vector<std::string> CommentLines() = 0;

  // A message box shown while the progress window stays open ("Cannot create file ...", the
  // text of an input/output error that ended the run).
  virtual void ShowError(const std::string& text) = 0;
};
