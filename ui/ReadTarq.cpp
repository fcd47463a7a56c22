#include "ui/ReadTarq.h"

#include <QApplication>

#include "base/Messages.h"
#include "platform/Drives.h"
#include "ui/APropos.h"
#include "ui/Comment.h"
#include "ui/DirSelForm.h"
#include "ui/DownloadForm.h"
#include "ui/FatalError.h"
#include "ui/QtMessages.h"
#include "ui/ReadTarqForm.h"

TReadTarqProgram::TReadTarqProgram(const std::string& exePath) : SettingsFile(exePath) {}

TReadTarqProgram::~TReadTarqProgram() {
  Finish();
}

bool TReadTarqProgram::Start() {
  // The program's message boxes and the computer's drives, as the entry installed them.
  ReadTarqForm = std::make_unique<TReadTarqForm>(SettingsFile, Messages(), platform::DriveTable());
  if (!ReadTarqForm->FormCreate()) {
    Finished = true;
    ReadTarqForm.reset();
    return false;
  }
  SelectDirForm = std::make_unique<TSelectDirForm>();
  DownloadForm = std::make_unique<TDownloadForm>();
  AProposForm = std::make_unique<TAProposForm>();
  CommentForm = std::make_unique<TCommentForm>();
  ReadTarqForm->AttachDialogs(SelectDirForm.get(), DownloadForm.get(), AProposForm.get(),
                              CommentForm.get());
  return true;
}

int TReadTarqProgram::Run() {
  ReadTarqForm->show();
  QApplication::exec();
  Finish();
  return 0;
}

void TReadTarqProgram::Finish() {
  if (Finished) return;
  Finished = true;
  if (ReadTarqForm) ReadTarqForm->FormDestroy();
  CommentForm.reset();
  AProposForm.reset();
  DownloadForm.reset();
  SelectDirForm.reset();
  ReadTarqForm.reset();
}

int RunReadTarq(const std::string& exePath) {
  QApplication::setApplicationName(QStringLiteral("ReadTarq"));
  QApplication::setApplicationVersion(QStringLiteral(READTARQ_VERSION_TEXT));
  // Reading the settings, for one, may meet a file it cannot close before any handler runs.
  CatchUncaughtCloseErrors();
  TReadTarqProgram program(exePath);
  if (!program.Start()) return 0;
  return program.Run();
}
