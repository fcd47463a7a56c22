#pragma once
// The program: its windows, created once in order and destroyed at its end.

#include <memory>
#include <string>

#include "settings/SettingsFile.h"

class TReadTarqForm;
class TSelectDirForm;
class TDownloadForm;
class TAProposForm;
class TCommentForm;

class TReadTarqProgram {
 public:
  // exePath: the program's own path; the settings file lies beside it.
  explicit TReadTarqProgram(const std::string& exePath);
  ~TReadTarqProgram();

  TSettingsFile SettingsFile;
  std::unique_ptr<TReadTarqForm> ReadTarqForm;
  std::unique_ptr<TSelectDirForm> SelectDirForm;
  std::unique_ptr<TDownloadForm> DownloadForm;
  std::unique_ptr<TAProposForm> AProposForm;
  std::unique_ptr<TCommentForm> CommentForm;

  // Creates the windows, the main window first with its creation handler. False when the
  // settings file has a bad line: its message was shown and the program must end (exit code 0)
  // without showing a window or writing the settings.
  bool Start();
  // Shows the main window and runs until it is closed; then Finish. The exit code.
  int Run();
  // The main window's destruction handler (the settings written back), then the windows go.
  void Finish();

 private:
  bool Finished = false;
};

// The whole program: title, windows, message loop, end. Returns the exit code.
int RunReadTarq(const std::string& exePath);
