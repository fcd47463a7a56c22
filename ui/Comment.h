#pragma once
// The comment dialog: up to 400 characters that the text headers of the output files carry.
// The comment lasts until the program ends; it is not kept in the settings file.

#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;

class TCommentForm : public QDialog {
  Q_OBJECT

 public:
  explicit TCommentForm(QWidget* parent = nullptr);

  static constexpr int MaxCommentLength = 400;

  QPlainTextEdit* MemoComment;
  QPushButton* ButtonClear;
  QPushButton* ButtonCancel;
  QPushButton* ButtonOk;

  // The memo's lines. Every line ends with a line break, as the header files write them, so
  // the memo's first text, a lone line break, is one empty line, and an empty memo no line.
  std::vector<std::string> CommentLines() const;
  // The memo's length in the bytes the headers write (ISO 8859-1): a line break is a CR LF
  // pair.
  static int CommentLength(const QString& text);

  void FormShow();
  void ButtonOkClick();
  void ButtonCancelClick();
  void ButtonClearClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void LimitLength(int position, int charsRemoved, int charsAdded);

  QString SavedComment;
  bool Limiting = false;
};
