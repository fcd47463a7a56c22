#pragma once
// What a download run reports outside the core: the main window's event list, the progress
// window and the message boxes. The run calls from its worker; what it converts comes from
// its snapshot, so the desktop program only queues these calls for its window thread (an
// error box excepted: the worker waits until the user has answered it). The command-line
// tool and tests implement them directly.

#include <optional>
#include <string>
#include <vector>

#include "platform/IoError.h"
#include "seed/SdsArchive.h"

// The result line of a finished run: "Download successful", "Download finished: N event(s)
// not converted" when only refused events were left out, otherwise "Download failed".
inline std::string DownloadResultText(bool succeeded, int notConverted) {
  if (succeeded) return "Download successful";
  if (notConverted > 0) {
    return "Download finished: " + std::to_string(notConverted) + " event(s) not converted";
  }
  return "Download failed";
}

// An event converted and saved: its files are on the medium. Events are reported in the order
// they were converted, each once its files are saved, which may be while the next one
// converts.
struct TConvertedEvent {
  int Line = 0;  // the line of the event list: the card's event of that number, from 0
  std::string OriginalFileName;
  std::string BaseName;                  // of its output files
  std::vector<std::string> OutputNames;  // the files made for it, without directory
  // What it put into the SDS archive, when the run files into one.
  std::optional<seed::TSdsInsertResult> Filing;
};

// Why a run ended on an error, beyond the error box's text.
struct TRunFailure {
  std::string File;              // the file the error struck (its final name), or ""
  std::string OriginalFileName;  // the event being written or saved (none of its files kept), or ""
  int NotAttempted = 0;          // selected events after that event: none of them saved
};

class TDownloadHost {
 public:
  virtual ~TDownloadHost() = default;

  // The event's line of the event list is converted: it is deselected.
  virtual void Deselect(const TConvertedEvent& event) = 0;

  // The progress window.
  virtual void ShowFileName(const std::string& originalFileName) = 0;
  virtual void SetProgress(int percent) = 0;  // 0 to 100, sent only when it changes
  // The end-of-run step: the file name hidden and emptied, the result shown
  // (DownloadResultText), Cancel disabled, OK enabled. succeeded: every selected event was
  // converted. notConverted: the number of selected events refused (a message shown for
  // each) in a run that otherwise went to its end; 0 after an error or a stop. The run's last
  // call.
  virtual void RunFinished(bool succeeded, int notConverted) = 0;

  // A message box shown while the progress window stays open ("Cannot create file ...", the
  // text of an input/output error that ended the run).
  virtual void ShowError(const std::string& text) = 0;
  // After the error that ended the run was shown (by ShowError), before RunFinished; a host
  // may leave it out.
  virtual void RunFailed(const TRunFailure& /*failure*/) {}
  // A warning that does not end the run (the ledger could not record a saved event); an
  // error box unless the host shows warnings apart.
  virtual void ShowWarning(const std::string& text) { ShowError(text); }
  // A file of the run could not be closed: reported in place of ShowError, the run's files
  // gone as after any error. The desktop program ends there; a host that carries on gets
  // RunFailed and RunFinished as after any error.
  virtual void CloseFailed(const platform::ECloseError& error) { ShowError(error.what()); }
};
