// The real message boxes: titles, buttons and keys, and calls from a worker thread.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "UiFixture.h"
#include "ui/QtMessages.h"

using ui_test::WhenModal;

namespace {

struct TSeenBox {
  QString Title;
  QString Text;
  QStringList Buttons;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// Records the next box, then answers it with a key.
void AnswerNextBox(TSeenBox& seen, Qt::Key key) {
  WhenModal([&seen, key](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen.Title = box->windowTitle();
    seen.Text = box->text();
    seen.Icon = box->icon();
    for (QAbstractButton* button : box->buttons()) seen.Buttons << button->text();
    QTest::keyClick(box, key);
  });
}

TEST(QtMessagesTest, BoxesCarryTheFrameworkTitlesAndButtons) {
  TQtMessages boxes;
  struct TCase {
    const char* Kind;
    Qt::Key Key;
    QString Title;
    QStringList Buttons;
    QMessageBox::Icon Icon;
    bool Answer;
  };
  const TCase cases[] = {
      {"warning", Qt::Key_Return, "Avertissement", {"OK"}, QMessageBox::Warning, false},
      {"warning", Qt::Key_Escape, "Avertissement", {"OK"}, QMessageBox::Warning, false},
      {"error", Qt::Key_Return, "Erreur", {"OK"}, QMessageBox::Critical, false},
      {"confirm", Qt::Key_Return, "Confirmation", {"&Oui", "Annuler"}, QMessageBox::Question, true},
      {"confirm",
       Qt::Key_Escape,
       "Confirmation",
       {"&Oui", "Annuler"},
       QMessageBox::Question,
       false},
      {"application", Qt::Key_Return, "ReadTarq 3.3", {"OK"}, QMessageBox::Critical, false},
      // The warning that asks: Enter refuses, only "&Oui" itself goes ahead.
      {"warning-confirm",
       Qt::Key_Return,
       "Avertissement",
       {"&Oui", "Annuler"},
       QMessageBox::Warning,
       false},
      {"warning-confirm",
       Qt::Key_Escape,
       "Avertissement",
       {"&Oui", "Annuler"},
       QMessageBox::Warning,
       false},
      {"warning-confirm", Qt::Key_O, "Avertissement", {"&Oui", "Annuler"}, QMessageBox::Warning,
       true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Kind) + " " + std::to_string(c.Key));
    TSeenBox seen;
    AnswerNextBox(seen, c.Key);
    bool answer = false;
    const std::string kind = c.Kind;
    if (kind == "warning") boxes.Warning("Flash card is empty");
    if (kind == "error") boxes.Error("Flash card is empty");
    if (kind == "confirm") answer = boxes.Confirm("Flash card is empty");
    if (kind == "application") boxes.ApplicationError("Disque plein.");
    if (kind == "warning-confirm") answer = boxes.WarningConfirm("Erase anyway?");
    EXPECT_EQ(seen.Title, c.Title);
    // The order of the buttons follows the desktop's conventions.
    QStringList expected = c.Buttons;
    expected.sort();
    seen.Buttons.sort();
    EXPECT_EQ(seen.Buttons, expected);
    EXPECT_EQ(seen.Icon, c.Icon);
    EXPECT_EQ(answer, c.Answer);
  }
}

TEST(QtMessagesTest, TheGeneralErrorBoxShowsTheTextOfTheError) {
  TQtMessages boxes;
  SetMessages(&boxes);
  TSeenBox seen;
  AnswerNextBox(seen, Qt::Key_Return);
  ShowApplicationError("Accès au fichier refusé.");
  SetMessages(nullptr);
  EXPECT_EQ(seen.Title, "ReadTarq 3.3");
  EXPECT_EQ(seen.Text, QString::fromUtf8("Accès au fichier refusé."));
}

// A box asked for by another thread shows on the window thread, also while that thread waits
// for the worker and only serves its calls, and the worker gets the answer.
TEST(QtMessagesTest, AWorkerThreadGetsItsAnswerWhileTheWindowThreadWaits) {
  TQtMessages boxes;
  TSeenBox seen;
  AnswerNextBox(seen, Qt::Key_Return);
  std::atomic<bool> done{false};
  std::atomic<bool> answer{false};
  std::atomic<bool> onWindowThread{true};
  std::thread worker([&] {
    onWindowThread = QThread::currentThread() == qApp->thread();
    answer = boxes.Confirm("Create data directory /tmp/x/");
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  EXPECT_FALSE(onWindowThread);
  EXPECT_TRUE(answer);
  EXPECT_EQ(seen.Title, "Confirmation");
  EXPECT_EQ(seen.Text, "Create data directory /tmp/x/");
}

}  // namespace
