#include "ui/WindowDownloadHost.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>

#include "base/Messages.h"
#include "ui/DownloadForm.h"
#include "ui/WindowCalls.h"
#include "ui/FatalError.h"

void TWindowDownloadHost::Deselect(const TConvertedEvent& event) {
  WindowCalls::Post([this, line = event.Line] {
    if (QListWidgetItem* item = ListBox->item(line)) item->setSelected(false);
  });
}

void TWindowDownloadHost::ShowFileName(const std::string& originalFileName) {
  WindowCalls::Post([this, name = QString::fromLatin1(originalFileName.c_str())] {
    DownloadForm->EditFile->setText(name);
  });
}

void TWindowDownloadHost::SetProgress(int percent) {
  WindowCalls::Post([this, percent] { DownloadForm->ProgressBarDownload->setValue(percent); });
}

void TWindowDownloadHost::RunFinished(bool succeeded, int notConverted) {
  WindowCalls::Post([this, succeeded, notConverted] {
    DownloadForm->RunFinished(succeeded, notConverted);
    Ended = true;
  });
}

void TWindowDownloadHost::ShowError(const std::string& text) {
  // The worker waits until the user has answered the box.
  WindowCalls::Invoke([&] { Boxes.Error(text); });
}

void TWindowDownloadHost::CloseFailed(const platform::ECloseError& error) {
  EndOnCloseError(error);
}

void TWindowDownloadHost::ShowWarning(const std::string& text) {
  WindowCalls::Invoke([&] { Boxes.Warning(text); });
}

void TWindowDownloadHost::WaitForEnd() {
  WindowCalls::ServeUntil([this] { return Ended; });
}
