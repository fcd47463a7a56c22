#pragma once
// The download progress window: the card file name of the event in hand, the percentage of
// samples done, and the result once the run has ended. However it closes, it first stops the
// run and waits until the run has left its loop.

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class TDownloadForm : public QDialog {
  Q_OBJECT

 public:
  explicit TDownloadForm(QWidget* parent = nullptr);

  QLabel* LabelFile;
  QLineEdit* EditFile;
  QLabel* LabelResult;
  QProgressBar* ProgressBarDownload;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  // What closing the window does before it closes: the main window hands the run's stop.
  std::function<void()> OnClose;

  // Before each run: bar at 0, the file name shown, the result hidden, Cancel on, OK off.
  void PrepareRun();
  // The end-of-run step: the file name hidden and emptied, the result shown, Cancel off, OK on.
  // A run that did not convert every selected event says so in red.
  void RunFinished(bool succeeded, int notConverted = 0);

  void ButtonOkClick();
  void ButtonCancelClick();
  void FormClose();

  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Closing = false;
};
