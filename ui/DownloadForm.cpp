#include "ui/DownloadForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "download/DownloadHost.h"

TDownloadForm::TDownloadForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DownloadForm"));
  setWindowTitle(QStringLiteral("Downloading"));
  setModal(true);

  LabelFile = new QLabel(QStringLiteral("File:"));
  EditFile = new QLineEdit;
  EditFile->setReadOnly(true);
  QPalette face = EditFile->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  EditFile->setPalette(face);
  EditFile->setMinimumWidth(EditFile->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 22);

  LabelResult = new QLabel(QString::fromStdString(DownloadResultText(true, 0)));
  LabelResult->setAlignment(Qt::AlignCenter);
  QFont resultFont = LabelResult->font();
  resultFont.setBold(true);
  resultFont.setPixelSize(16);
  LabelResult->setFont(resultFont);

  ProgressBarDownload = new QProgressBar;
  ProgressBarDownload->setRange(0, 100);
  ProgressBarDownload->setValue(0);

  ButtonOk = new QPushButton(QStringLiteral("OK"));
  QFont bold = ButtonOk->font();
  bold.setBold(true);
  ButtonOk->setFont(bold);
  ButtonOk->setDefault(true);
  ButtonOk->setEnabled(false);
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
  ButtonCancel->setAutoDefault(false);
  ButtonCancel->setEnabled(false);

  // The file name and the result take the same place; one of the two shows at a time.
  auto* filePage = new QWidget;
  auto* fileRow = new QHBoxLayout(filePage);
  fileRow->setContentsMargins(0, 0, 0, 0);
  fileRow->addWidget(LabelFile);
  fileRow->addWidget(EditFile, 1);
  auto* top = new QGridLayout;
  top->addWidget(filePage, 0, 0);
  top->addWidget(LabelResult, 0, 0);
  LabelResult->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ButtonCancel);
  buttons->addSpacing(12);
  buttons->addWidget(ButtonOk);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 14, 18, 12);
  layout->setSpacing(10);
  layout->addLayout(top);
  layout->addWidget(ProgressBarDownload);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(ProgressBarDownload, EditFile);
  setTabOrder(EditFile, ButtonOk);
  setTabOrder(ButtonOk, ButtonCancel);

  connect(ButtonOk, &QPushButton::clicked, this, &TDownloadForm::ButtonOkClick);
  connect(ButtonCancel, &QPushButton::clicked, this, &TDownloadForm::ButtonCancelClick);
}

void TDownloadForm::PrepareRun() {
  ProgressBarDownload->setValue(0);
  LabelFile->parentWidget()->show();
  LabelFile->show();
  EditFile->show();
  EditFile->clear();
  LabelResult->hide();
  ButtonCancel->setEnabled(true);
  ButtonOk->setEnabled(false);
}

void TDownloadForm::RunFinished(bool succeeded, int notConverted) {
  ButtonCancel->setEnabled(false);
  LabelFile->hide();
  EditFile->hide();
  LabelFile->parentWidget()->hide();
  EditFile->clear();
  LabelResult->setText(QString::fromStdString(DownloadResultText(succeeded, notConverted)));
  QPalette palette = LabelResult->palette();
  palette.setColor(QPalette::WindowText, succeeded ? QColor(0, 128, 0) : QColor(255, 0, 0));
  LabelResult->setPalette(palette);
  LabelResult->show();
  ButtonOk->setEnabled(true);
}

void TDownloadForm::ButtonOkClick() {
  accept();
}

void TDownloadForm::ButtonCancelClick() {
  reject();
}

void TDownloadForm::FormClose() {
  if (OnClose) OnClose();
}

void TDownloadForm::done(int result) {
  // The wait for the run serves events; a second close meanwhile must not start another wait.
  if (Closing) return;
  Closing = true;
  FormClose();
  Closing = false;
  QDialog::done(result);
}

void TDownloadForm::keyPressEvent(QKeyEvent* event) {
  // Escape is the Cancel button's key: once the run has ended and Cancel is off, it does nothing.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (ButtonCancel->isEnabled()) ButtonCancel->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
