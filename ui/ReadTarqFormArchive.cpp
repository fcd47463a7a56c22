// The main window's way to the archive window.

#include "ui/ArchiveView.h"
#include "ui/CardLookout.h"
#include "ui/ReadTarqForm.h"

void TReadTarqForm::ButtonArchiveClick() {
  // The archive keeps the directory last opened beside the preview's visibility.
  if (!ArchiveView) ArchiveView = new TArchiveView(Lookout->ViewSettingsPath(), this);
  // The download files its SDS archive into the destination directory: the first guess.
  ArchiveView->ChooseArchive(QString::fromStdString(Settings.DataDir));
}
