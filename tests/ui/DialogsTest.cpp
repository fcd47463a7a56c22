// The four dialogs on their own: directory chooser, comment, progress window, about box.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "UiFixture.h"
#include "platform/FileSystem.h"
#include "ui/APropos.h"
#include "ui/Comment.h"
#include "ui/DirSelForm.h"
#include "ui/DownloadForm.h"
#include "ui/DriveComboBox.h"

using testing_support::TTempDir;
using testing_support::WriteWholeFile;
using ui_test::TUiTest;
using ui_test::WhenModal;

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// ---- Directory chooser ----

class SelectDirFormTest : public TUiTest {
 public:
  SelectDirFormTest() {
    std::filesystem::create_directories(Root / "data/2005/mali");
    std::filesystem::create_directories(Root / "data/2006");
    WriteWholeFile(Root / "data/readme.txt", "x");
  }
  // Shows the chooser modally with `typed` in its name field; `act` runs inside.
  int ShowWith(const std::string& typed, const std::function<void(TSelectDirForm&)>& act) {
    Form.DirNameEdit->setText(Q(typed));
    WhenModal([this, act](QWidget*) { act(Form); });
    return Form.exec();
  }
  TSelectDirForm Form;
};

TEST_F(SelectDirFormTest, AnExistingDirectoryIsShownWithItsFiles) {
  ShowWith(Root / "data/", [&](TSelectDirForm& form) {
    EXPECT_EQ(form.DirectoryListBox->Directory(), Q(Root / "data"));
    // The list moved, so the name field holds the path in the list's own form.
    EXPECT_EQ(form.DirNameEdit->text(), Q(Root / "data"));
    ASSERT_EQ(form.FileListBox1->count(), 1);
    EXPECT_EQ(form.FileListBox1->item(0)->text(), "readme.txt");
    form.CancelButton->click();
  });
}

TEST_F(SelectDirFormTest, AMissingDirectoryGivesTheCurrentDirectory) {
  const int result = ShowWith(Root / "nowhere", [&](TSelectDirForm& form) {
    const QString current = TDirectoryListBox::FullPath(Q(platform::CurrentDirectory()));
    EXPECT_EQ(form.DirectoryListBox->Directory(), current);
    EXPECT_EQ(form.DirNameEdit->text(), current);
    form.CancelButton->click();
  });
  EXPECT_EQ(result, QDialog::Rejected);
}

TEST_F(SelectDirFormTest, OpeningASubdirectoryNamesIt) {
  ShowWith(Root / "data", [&](TSelectDirForm& form) {
    QTreeWidgetItem* current = form.DirectoryListBox->currentItem();
    ASSERT_NE(current, nullptr);
    ASSERT_EQ(current->childCount(), 2);
    EXPECT_EQ(current->child(0)->text(0), "2005");
    emit form.DirectoryListBox->itemActivated(current->child(0), 0);
    EXPECT_EQ(form.DirNameEdit->text(), Q(Root / "data/2005"));
    EXPECT_EQ(form.FileListBox1->count(), 0);
    form.OKButton1->click();
  });
  EXPECT_EQ(Form.DirNameEdit->text(), Q(Root / "data/2005"));
}

TEST_F(SelectDirFormTest, ATypedPathThatDoesNotExistIsReturnedAsTyped) {
  const int result = ShowWith(Root / "data", [&](TSelectDirForm& form) {
    form.DirNameEdit->setText(Q(Root / "data/new one/"));
    QTest::keyClick(form.DirNameEdit, Qt::Key_Return);
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(Form.DirNameEdit->text(), Q(Root / "data/new one/"));
  EXPECT_EQ(Form.DirectoryListBox->Directory(), Q(Root / "data"));
}

TEST_F(SelectDirFormTest, AnotherDriveMovesTheListToItsRoot) {
  ShowWith(Root / "data", [&](TSelectDirForm& form) {
    form.DriveComboBox1->SetDrive('e');
    EXPECT_EQ(form.DirectoryListBox->Directory(), Q(CardDir()));
    EXPECT_EQ(form.DirNameEdit->text(), Q(CardDir()));
    form.CancelButton->click();
  });
}

TEST_F(SelectDirFormTest, TheCloseBoxCancels) {
  const int result = ShowWith(Root / "data", [&](TSelectDirForm& form) { form.close(); });
  EXPECT_EQ(result, QDialog::Rejected);
}

// ---- Comment dialog ----

QString Typed(int count, QChar ch = QLatin1Char('x')) {
  return QString(count, ch);
}

TEST(CommentFormTest, AtStartTheMemoHoldsOneEmptyLine) {
  TCommentForm form;
  EXPECT_EQ(form.CommentLines(), std::vector<std::string>{""});
}

TEST(CommentFormTest, LinesAreWhatTheMemoHolds) {
  TCommentForm form;
  const struct {
    QString Text;
    std::vector<std::string> Lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"Mali 2005", {"Mali 2005"}},
      {"Mali 2005\n", {"Mali 2005"}},
      {"Mali\n\nsite 3", {"Mali", "", "site 3"}},
  };
  for (const auto& c : cases) {
    form.MemoComment->setPlainText(c.Text);
    EXPECT_EQ(form.CommentLines(), c.Lines) << c.Text.toStdString();
  }
}

TEST(CommentFormTest, ClearThenCancelBringsTheCommentBack) {
  TCommentForm form;
  form.MemoComment->setPlainText("first\n");
  WhenModal([&](QWidget*) {
    QTest::keyClicks(form.MemoComment, "typed");
    form.ButtonClear->click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.MemoComment->toPlainText(), "");
    form.ButtonCancel->click();
  });
  form.exec();
  EXPECT_EQ(form.MemoComment->toPlainText(), "first\n");
}

TEST(CommentFormTest, ClearThenOkLeavesNoLine) {
  TCommentForm form;
  WhenModal([&](QWidget*) {
    form.ButtonClear->click();
    form.ButtonOk->click();
  });
  form.exec();
  EXPECT_TRUE(form.CommentLines().empty());
}

TEST(CommentFormTest, EscapeCancelsAndTheCloseBoxKeepsTheEdits) {
  TCommentForm form;
  WhenModal([&](QWidget*) {
    form.MemoComment->setPlainText("Escaped");
    QTest::keyClick(&form, Qt::Key_Escape);
  });
  form.exec();
  EXPECT_EQ(form.CommentLines(), std::vector<std::string>{""});

  WhenModal([&](QWidget*) {
    form.MemoComment->setPlainText("Kept");
    form.close();
  });
  form.exec();
  EXPECT_EQ(form.CommentLines(), std::vector<std::string>{"Kept"});
}

TEST(CommentFormTest, EnterInTheMemoStartsANewLine) {
  TCommentForm form;
  form.MemoComment->clear();
  WhenModal([&](QWidget*) {
    QTest::keyClicks(form.MemoComment, "one");
    QTest::keyClick(form.MemoComment, Qt::Key_Return);
    QTest::keyClicks(form.MemoComment, "two");
    EXPECT_TRUE(form.isVisible());
    form.ButtonOk->click();
  });
  form.exec();
  EXPECT_EQ(form.CommentLines(), (std::vector<std::string>{"one", "two"}));
}

TEST(CommentFormTest, TheMemoRefusesInputBeyond400Characters) {
  TCommentForm form;
  form.MemoComment->clear();
  form.MemoComment->insertPlainText(Typed(390));
  form.MemoComment->insertPlainText(Typed(20, QLatin1Char('y')));
  EXPECT_EQ(form.MemoComment->toPlainText(), Typed(390) + Typed(10, QLatin1Char('y')));
  QTest::keyClick(form.MemoComment, Qt::Key_Z);
  EXPECT_EQ(form.MemoComment->toPlainText().size(), 400);

  // A line break counts as the two characters the header files write for it.
  form.MemoComment->clear();
  form.MemoComment->insertPlainText(Typed(396) + "\n");
  EXPECT_EQ(TCommentForm::CommentLength(form.MemoComment->toPlainText()), 398);
  form.MemoComment->insertPlainText("abc");
  EXPECT_EQ(form.MemoComment->toPlainText(), Typed(396) + "\nab");

  // A paste far too long is cut to fit in one go.
  form.MemoComment->clear();
  form.MemoComment->insertPlainText(Typed(100000));
  EXPECT_EQ(form.MemoComment->toPlainText().size(), 400);

  // The count is of bytes written in ISO 8859-1: "\u00e9" is one, and so is a character
  // beyond it (one "?") even where it takes two UTF-16 units; a pair is never split.
  const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
  form.MemoComment->clear();
  form.MemoComment->insertPlainText(Typed(396, QChar(0xE9)) + smile + smile);
  EXPECT_EQ(TCommentForm::CommentLength(form.MemoComment->toPlainText()), 398);
  form.MemoComment->insertPlainText(smile + smile + smile);
  EXPECT_EQ(form.MemoComment->toPlainText(),
            Typed(396, QChar(0xE9)) + smile + smile + smile + smile);
  EXPECT_EQ(TCommentForm::CommentLength(form.MemoComment->toPlainText()), 400);
}

// ---- Progress window ----

TEST(DownloadFormTest, PreparedAndFinishedStates) {
  TDownloadForm form;
  form.show();
  form.PrepareRun();
  EXPECT_EQ(form.ProgressBarDownload->value(), 0);
  EXPECT_TRUE(form.LabelFile->isVisible());
  EXPECT_TRUE(form.EditFile->isVisible());
  EXPECT_FALSE(form.LabelResult->isVisible());
  EXPECT_TRUE(form.ButtonCancel->isEnabled());
  EXPECT_FALSE(form.ButtonOk->isEnabled());

  form.EditFile->setText("05121030.001");
  form.ProgressBarDownload->setValue(67);
  form.RunFinished(true);
  EXPECT_FALSE(form.LabelFile->isVisible());
  EXPECT_FALSE(form.EditFile->isVisible());
  EXPECT_EQ(form.EditFile->text(), "");
  EXPECT_TRUE(form.LabelResult->isVisible());
  EXPECT_EQ(form.LabelResult->text(), "Download successful");
  EXPECT_EQ(form.LabelResult->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  EXPECT_EQ(form.ProgressBarDownload->value(), 67);
  EXPECT_FALSE(form.ButtonCancel->isEnabled());
  EXPECT_TRUE(form.ButtonOk->isEnabled());

  // A run that failed never reads as a success.
  form.PrepareRun();
  form.RunFinished(false);
  EXPECT_EQ(form.LabelResult->text(), "Download failed");
  EXPECT_EQ(form.LabelResult->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  // Nor does one that left refused events out, though it is not a failure.
  form.PrepareRun();
  form.RunFinished(false, 2);
  EXPECT_EQ(form.LabelResult->text(), "Download finished: 2 event(s) not converted");
  EXPECT_EQ(form.LabelResult->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  form.hide();
}

TEST(DownloadFormTest, EveryWayOfClosingStopsTheRunFirst) {
  TDownloadForm form;
  int stops = 0;
  form.OnClose = [&] { ++stops; };
  const std::function<void()> closers[] = {
      [&] { form.ButtonCancel->click(); },
      [&] { QTest::keyClick(&form, Qt::Key_Escape); },
      [&] { form.close(); },
      [&] {
        form.RunFinished(true);
        QTest::keyClick(&form, Qt::Key_Return);
      },
      [&] {
        form.RunFinished(true);
        form.ButtonOk->click();
      },
  };
  int expected = 0;
  for (const auto& closeIt : closers) {
    form.PrepareRun();
    WhenModal([&](QWidget*) { closeIt(); });
    form.exec();
    EXPECT_EQ(stops, ++expected);
  }
}

TEST(DownloadFormTest, EscapeDoesNothingOnceTheRunHasEnded) {
  TDownloadForm form;
  form.PrepareRun();
  form.RunFinished(true);
  WhenModal([&](QWidget*) {
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    form.close();
  });
  EXPECT_EQ(form.exec(), QDialog::Rejected);
}

TEST(DownloadFormTest, ASecondCloseDuringTheWaitIsIgnored) {
  TDownloadForm form;
  int stops = 0;
  form.OnClose = [&] {
    ++stops;
    form.close();  // the user presses the close box again while the run stops
  };
  form.PrepareRun();
  WhenModal([&](QWidget*) { form.ButtonCancel->click(); });
  form.exec();
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(form.isVisible());
}

// ---- About box ----

TEST(AProposFormTest, CaptionAndTexts) {
  TAProposForm form;
  EXPECT_EQ(form.windowTitle(), "About  ReadTarq");
  EXPECT_EQ(form.ReadTarqStaticText->text(), "ReadTarq");
  EXPECT_EQ(form.ReadTarqStaticText->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form.VersionLabel->text(), "Version");
  for (QLabel* label :
       {form.AuteurLabel, form.CopyrightLabel, form.Label1, form.Label2, form.Label3}) {
    EXPECT_FALSE(label->text().isEmpty());
  }
  WhenModal([&](QWidget*) { form.OkButton->click(); });
  EXPECT_EQ(form.exec(), QDialog::Accepted);
}

}  // namespace
