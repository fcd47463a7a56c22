#include "ui/WindowDownloadHost.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>

#include "app/Messages.h"
#include "ui/Comment.h"
#include "ui/Download.h"
#include "ui/QtMessages.h"

int TWindowDownloadHost::LineCount() {
  int count = 0;
  GuiInvoke([&] { count = ListBox->count(); });
  return count;
}

bool TWindowDownloadHost::IsSelected(int line) {
  bool selected = false;
  GuiInvoke([&] {
    if (QListWidgetItem* item = ListBox->item(line)) selected = item->isSelected();
  });
  return selected;
}

void TWindowDownloadHost::Deselect(int line) {
  GuiInvoke([&] {
    if (QListWidgetItem* item = ListBox->item(line)) item->setSelected(false);
  });
}

void TWindowDownloadHost::ShowFileName(const std::string& originalFileName) {
  GuiInvoke(
      [&] { DownloadForm->EditFile->setText(QString::fromLatin1(originalFileName.c_str())); });
}

void TWindowDownloadHost::SetProgress(int percent) {
  GuiInvoke([&] { DownloadForm->ProgressBarDownload->setValue(percent); });
}

void TWindowDownloadHost::RunFinished(bool succeeded, int notConverted) {
  GuiInvoke([&] { DownloadForm->RunFinished(succeeded, notConverted); });
}

std::vector<std::string> TWindowDownloadHost::CommentLines() {
  std::vector<std::string> lines;
  GuiInvoke([&] { lines = CommentForm->CommentLines(); });
  return lines;
}

void TWindowDownloadHost::ShowError(const std::string& text) {
  GuiInvoke([&] { Messages().Error(text); });
}
