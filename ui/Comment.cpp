#include "ui/Comment.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "base/TextFields.h"

TCommentForm::TCommentForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CommentForm"));
  setWindowTitle(QStringLiteral("Comment"));
  setModal(true);

  MemoComment = new QPlainTextEdit;
  QFont memoFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  memoFont.setBold(true);
  MemoComment->setFont(memoFont);
  MemoComment->setLineWrapMode(QPlainTextEdit::NoWrap);
  MemoComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoComment->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoComment->setTabChangesFocus(true);
  MemoComment->setPlainText(QStringLiteral("\n"));
  MemoComment->moveCursor(QTextCursor::Start);

  ButtonClear = new QPushButton(QStringLiteral("&Clear"));
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
  ButtonOk = new QPushButton(QStringLiteral("OK"));
  ButtonClear->setAutoDefault(false);
  ButtonCancel->setAutoDefault(false);
  ButtonOk->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ButtonClear);
  buttons->addSpacing(16);
  buttons->addWidget(ButtonCancel);
  buttons->addSpacing(16);
  buttons->addWidget(ButtonOk);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 14);
  layout->addWidget(MemoComment, 1);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  const int unit = fontMetrics().horizontalAdvance(QStringLiteral("M"));
  resize(unit * 34, unit * 22);

  setTabOrder(ButtonOk, ButtonCancel);
  setTabOrder(ButtonCancel, ButtonClear);
  setTabOrder(ButtonClear, MemoComment);

  connect(ButtonOk, &QPushButton::clicked, this, &TCommentForm::ButtonOkClick);
  connect(ButtonCancel, &QPushButton::clicked, this, &TCommentForm::ButtonCancelClick);
  connect(ButtonClear, &QPushButton::clicked, this, &TCommentForm::ButtonClearClick);
  connect(MemoComment->document(), &QTextDocument::contentsChange, this,
          &TCommentForm::LimitLength);
}

int TCommentForm::CommentLength(const QString& text) {
  // As many bytes as the headers write: one per character (ISO 8859-1, "?" for the others),
  // two per line break.
  return static_cast<int>(WUtil::Utf8ToLatin1(text.toStdString()).size() +
                          static_cast<size_t>(text.count(QLatin1Char('\n'))));
}

std::vector<std::string> TCommentForm::CommentLines() const {
  std::vector<std::string> lines;
  const QString text = MemoComment->toPlainText();
  if (text.isEmpty()) return lines;
  QStringList parts = text.split(QLatin1Char('\n'));
  // A final line break ends the last line; it does not start another.
  if (text.endsWith(QLatin1Char('\n'))) parts.removeLast();
  for (const QString& part : parts) lines.push_back(part.toStdString());
  return lines;
}

void TCommentForm::LimitLength(int position, int /*charsRemoved*/, int charsAdded) {
  if (Limiting || charsAdded <= 0) return;
  const QString text = MemoComment->toPlainText();
  int excess = CommentLength(text) - MaxCommentLength;
  if (excess <= 0) return;
  // Take back the end of what was just added, as much as the text is too long.
  const int end = std::min<int>(position + charsAdded, static_cast<int>(text.size()));
  int start = end;
  while (start > position && excess > 0) {
    --start;
    // A surrogate pair is one character, written as one "?".
    if (text.at(start).isLowSurrogate() && start > position &&
        text.at(start - 1).isHighSurrogate()) {
      --start;
    }
    excess -= text.at(start) == QLatin1Char('\n') ? 2 : 1;
  }
  Limiting = true;
  QTextCursor cursor(MemoComment->document());
  cursor.setPosition(start);
  cursor.setPosition(end, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  Limiting = false;
}

void TCommentForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TCommentForm::FormShow() {
  SavedComment = MemoComment->toPlainText();
  MemoComment->setFocus();
}

void TCommentForm::ButtonOkClick() {
  accept();
}

void TCommentForm::ButtonCancelClick() {
  MemoComment->setPlainText(SavedComment);
  reject();
}

void TCommentForm::ButtonClearClick() {
  MemoComment->clear();
}

void TCommentForm::keyPressEvent(QKeyEvent* event) {
  // Escape presses Cancel, which puts the comment back; the close box keeps the edits.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    ButtonCancel->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
