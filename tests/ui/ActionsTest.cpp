// The main window's actions: select all, download, erase, restore, initialize, browse,
// comment and about, with their confirmations and messages.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "../cli/CliRun.h"
#include "UiFixture.h"
#include "download/DownloadRun.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"
#include "ui/APropos.h"
#include "ui/Comment.h"
#include "ui/DirSelForm.h"
#include "ui/DownloadForm.h"
#include "ui/WindowDownloadHost.h"

using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;
using ui_test::CardWithData;
using ui_test::Child;
using ui_test::SmallEvent;
using ui_test::TUiTest;
using ui_test::WhenModal;

namespace {

class ActionsTest : public TUiTest {
 public:
  std::string Out() const { return Root / "out"; }

  // Starts on a card with `card` on e: and a destination out/ that exists.
  void StartOn(const TCardBuilder& card, bool createOut = true) {
    card.WriteTo(CardDir());
    if (createOut) std::filesystem::create_directories(Out());
    WriteSettings(Out());
    ASSERT_TRUE(Start());
  }

  std::vector<std::string> BoxTexts(const std::string& kind) const {
    std::vector<std::string> texts;
    for (const auto& box : Boxes.Boxes) {
      if (box.Kind == kind) texts.push_back(box.Text);
    }
    return texts;
  }

  std::vector<bool> Selection() {
    std::vector<bool> selected;
    for (int i = 0; i < Child<QListWidget>(Form(), "EventList")->count(); ++i) {
      selected.push_back(Child<QListWidget>(Form(), "EventList")->item(i)->isSelected());
    }
    return selected;
  }

  // Presses Download and, once the run has ended, closes the progress window with OK.
  void DownloadAndWaitForTheEnd() {
    TDownloadForm* window = Program->DownloadForm.get();
    bool sawEnd = false;
    WhenModal([window, &sawEnd](QWidget* modal) {
      EXPECT_EQ(modal, window);
      auto* poll = new QTimer(window);
      poll->setInterval(2);
      QObject::connect(poll, &QTimer::timeout, [poll, window, &sawEnd] {
        if (!window->ButtonOk->isEnabled()) return;
        poll->stop();
        sawEnd = true;
        EXPECT_FALSE(window->ButtonCancel->isEnabled());
        EXPECT_FALSE(window->EditFile->isVisible());
        EXPECT_TRUE(window->LabelResult->isVisible());
        window->ButtonOk->click();
      });
      poll->start();
    });
    Child<QPushButton>(Form(), "ButtonDownload")->click();
    EXPECT_TRUE(sawEnd);
    EXPECT_FALSE(window->isVisible());
  }
};

// A card of three events of 6000 frames each (100 Hz for a minute).
TCardBuilder ThreeLongerEvents() {
  TCardBuilder card;
  for (int i = 1; i <= 3; ++i) {
    auto event = SmallEvent("DEB", "3,12", "00" + std::to_string(i));
    event.RateDuration = "100,1";
    card.Events.push_back(event);
  }
  card.TailZeros = 3000;
  return card;
}

// ---- Select all ----

TEST_F(ActionsTest, SelectAllSelectsEveryLine) {
  StartOn(CardWithData());
  Child<QPushButton>(Form(), "ButtonSelectAll")->click();
  EXPECT_EQ(Selection(), (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(ActionsTest, SelectAllOnACardWithoutLinesSaysWhy) {
  const struct {
    bool SectorFile;
    bool Blank;
    const char* Kind;
    const char* Text;
  } cases[] = {
      {true, false, "warning", "Flash card is empty"},
      {false, false, "warning", "Flash file is empty"},
      {true, true, "error", "Not a valid flash card"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    std::filesystem::remove_all(CardDir());
    MapDrive(CardLetter, 64'000'000, 32'000'000);
    if (!c.Blank) {
      TCardBuilder card;
      card.Events.push_back(SmallEvent("ERASED"));
      card.SectorFile = c.SectorFile;
      card.TailZeros = 300;
      card.WriteTo(CardDir());
    }
    WriteSettings(Out());
    ASSERT_TRUE(Start());
    Boxes.Boxes.clear();
    Form().ButtonSelectAllClick();  // the button itself is disabled here
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Kind, c.Kind);
    EXPECT_EQ(Boxes.Boxes[0].Text, c.Text);
    Program.reset();
  }
}

// ---- Download ----

TEST_F(ActionsTest, DownloadRefusesWithoutCardOrSelection) {
  StartOn(CardWithData());
  Child<QPushButton>(Form(), "ButtonDownload")->click();
  EXPECT_EQ(BoxTexts("warning"), std::vector<std::string>{"No event selected"});

  Child<QListWidget>(Form(), "EventList")->item(1)->setSelected(true);
  Access().Card().CardValid = false;
  Form().ButtonReadClick();
  EXPECT_EQ(BoxTexts("error"), std::vector<std::string>{"Not a valid flash card"});
  EXPECT_TRUE(FilesIn(Out()).empty());
}

TEST_F(ActionsTest, DownloadConvertsTheSelectedEventsAndDeselectsThem) {
  StartOn(CardWithData());
  Child<QListWidget>(Form(), "EventList")->item(0)->setSelected(true);
  Child<QListWidget>(Form(), "EventList")->item(2)->setSelected(true);
  Program->CommentForm->MemoComment->setPlainText("Site 7\n");
  DownloadAndWaitForTheEnd();
  EXPECT_EQ(Program->DownloadForm->LabelResult->text(), "Download successful");
  // Events of fewer than 100 frames move the bar only at their start: the second at half.
  EXPECT_EQ(Program->DownloadForm->ProgressBarDownload->value(), 50);
  EXPECT_EQ(Selection(), (std::vector<bool>{false, false, false}));
  const std::vector<std::string> files = FilesIn(Out());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(files[0].ends_with(".001"));
  EXPECT_TRUE(files[1].ends_with(".003"));
  // The comment dialog's lines reach the text headers.
  EXPECT_NE(ReadWholeFile(Out() + "/" + files[0]).find("Site 7"), std::string::npos);
  EXPECT_TRUE(Boxes.Boxes.empty());
  // The main window is not refreshed after a download.
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);
}

// The desktop program runs under the user's locale (QApplication sets it from the
// environment); under a decimal-comma one the window and the files keep their decimal point,
// and a download gives the very bytes the command-line tool writes.
TEST_F(ActionsTest, UnderADecimalCommaLocaleTheWindowAndTheFilesMatchTheCommandLineTool) {
  TCardBuilder card = CardWithData();
  card.Signature = "TARQP0410";
  card.Events[1].Marker = "DEB2";
  card.Events[1].LatMinutes = "30.125";
  card.Events[1].Clipped = "0.35";
  card.Events[1].StartSecond = "07345";
  // 2169 bytes used of 2297: 94.43 %.
  card.TailZeros = 238;
  card.WriteTo(CardDir());
  std::filesystem::create_directories(Out());
  WriteSettings(Out(), true, true, true, true);
  {
    testing_support::TCommaDecimalLocale locale;
    ASSERT_TRUE(locale.Active()) << "fr_FR.UTF-8 is missing: scripts/install-deps makes it";
    ASSERT_TRUE(Start());
    EXPECT_EQ(Child<QLineEdit>(Form(), "EditUsedSize")->text().toStdString(), " 2169 (94.4%)");
    Form().ButtonSelectAllClick();
    Program->CommentForm->MemoComment->setPlainText(QString::fromUtf8("S\xC3\xA9isme 7\n"));
    DownloadAndWaitForTheEnd();
    EXPECT_EQ(Program->DownloadForm->LabelResult->text(), "Download successful");
    Program.reset();
  }

  // The command-line tool never sets the locale: it runs under "C".

  const std::string cliOut = Root / "cli";
  const cli_test::TRun run =
      cli_test::RunCaptured({"download", CardDir(), "--to", cliOut, "--record", "--sensor",
                             "--binary", "--sac", "--comment", "S\xC3\xA9isme 7"});
  ASSERT_EQ(run.Code, 0) << run.Err;
  const std::vector<std::string> names = FilesIn(cliOut);
  EXPECT_EQ(names.size(), 3u * 6u);
  EXPECT_EQ(FilesIn(Out()), names);
  for (const std::string& name : names) {
    EXPECT_EQ(ReadWholeFile(Out() + "/" + name), ReadWholeFile(cliOut + "/" + name)) << name;
  }
}

// The run's calls to the windows, the worker held once it has reported the second event
// until the window thread has asked it to stop: the press of Cancel queued when the second
// name shows comes, as a user's would, before that event is converted.
class THeldDownloadHost : public TWindowDownloadHost {
 public:
  THeldDownloadHost(QListWidget* listBox, TDownloadForm* form, TMessages& boxes,
                    const TDownloadRun& convert)
      : TWindowDownloadHost(listBox, form, boxes), Convert(convert) {}
  void ShowFileName(const std::string& name) override {
    TWindowDownloadHost::ShowFileName(name);
    if (++Shown != 2) return;
    while (!Convert.StopPending()) std::this_thread::yield();
  }

 private:
  const TDownloadRun& Convert;
  std::atomic<int> Shown{0};
};

TEST_F(ActionsTest, CancelDuringTheSecondOfThreeEvents) {
  StartOn(ThreeLongerEvents());
  Child<QPushButton>(Form(), "ButtonSelectAll")->click();
  TDownloadForm* window = Program->DownloadForm.get();
  Access().SetDownloadHost(std::make_unique<THeldDownloadHost>(
      Child<QListWidget>(Form(), "EventList"), window, Access().Boxes(), Access().Convert()));
  std::vector<std::string> shownNames;
  QObject::connect(window->EditFile, &QLineEdit::textChanged, window, [&](const QString& name) {
    if (name.isEmpty()) return;
    shownNames.push_back(name.toStdString());
    if (shownNames.size() == 2) {
      QMetaObject::invokeMethod(window->ButtonCancel, &QPushButton::click, Qt::QueuedConnection);
    }
  });
  Child<QPushButton>(Form(), "ButtonDownload")->click();
  QObject::disconnect(window->EditFile, nullptr, window, nullptr);

  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(Access().Convert().Active());
  EXPECT_EQ(shownNames, (std::vector<std::string>{"05121030.001", "05121030.002"}));
  EXPECT_EQ(Selection(), (std::vector<bool>{false, true, true}));
  const std::vector<std::string> files = FilesIn(Out());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0].ends_with(".001"));

  // Download again: exactly the events still to do are converted.
  DownloadAndWaitForTheEnd();
  EXPECT_EQ(Selection(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(FilesIn(Out()).size(), 3u);
}

TEST_F(ActionsTest, AMissingDestinationIsCreatedAfterOui) {
  StartOn(CardWithData(), false);
  const std::string target = Root / "out/2005/mali";
  Child<QLineEdit>(Form(), "EditDirName")->setText(QString::fromStdString(target + "/"));
  Child<QListWidget>(Form(), "EventList")->item(1)->setSelected(true);
  Boxes.Answer(true);
  DownloadAndWaitForTheEnd();
  EXPECT_EQ(BoxTexts("confirm"), std::vector<std::string>{"Create data directory " + target});
  ASSERT_EQ(FilesIn(target).size(), 1u);
  EXPECT_TRUE(FilesIn(target)[0].ends_with(".002"));
}

TEST_F(ActionsTest, ADestinationThatCannotBeCreatedIsReported) {
  StartOn(CardWithData(), false);
  WriteWholeFile(Root / "plainfile", "x");
  const struct {
    std::string Target;
    bool Answer;
    std::vector<std::string> Errors;
  } cases[] = {
      {Root / "plainfile/sub", true, {"Cannot create data directory " + Root / "plainfile/sub"}},
      {Root / "out/new", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Target);
    Boxes.Boxes.clear();
    Child<QLineEdit>(Form(), "EditDirName")->setText(QString::fromStdString(c.Target));
    Child<QListWidget>(Form(), "EventList")->item(0)->setSelected(true);
    Boxes.Answer(c.Answer);
    Child<QPushButton>(Form(), "ButtonDownload")
        ->click();  // no progress window opens: nothing would close it
    EXPECT_EQ(BoxTexts("confirm"), std::vector<std::string>{"Create data directory " + c.Target});
    EXPECT_EQ(BoxTexts("error"), c.Errors);
    EXPECT_FALSE(std::filesystem::exists(c.Target));
    EXPECT_TRUE(Child<QListWidget>(Form(), "EventList")->item(0)->isSelected());
  }
  EXPECT_FALSE(std::filesystem::exists(Root / "out"));
}

TEST_F(ActionsTest, ForceDirectoryCreatesLevelByLevel) {
  EXPECT_TRUE(platform::ForceDirectories(Root / "a/b/c"));
  EXPECT_TRUE(std::filesystem::is_directory(Root / "a/b/c"));
  EXPECT_TRUE(platform::ForceDirectories(Root / "a/b"));
  EXPECT_TRUE(platform::ForceDirectories(Root / "d/e/"));  // a trailing separator
  EXPECT_TRUE(std::filesystem::is_directory(Root / "d/e"));
  EXPECT_FALSE(platform::ForceDirectories(""));
  // Under a file nothing can be created, and climbing up finds nothing to create either.
  WriteWholeFile(Root / "file", "x");
  EXPECT_FALSE(platform::ForceDirectories(Root / "file/a/b"));
  EXPECT_FALSE(std::filesystem::exists(Root / "file/a"));
}

TEST_F(ActionsTest, AnEmptyDestinationIsTheRootAndIsNotOfferedForCreation) {
  StartOn(CardWithData());
  Child<QLineEdit>(Form(), "EditDirName")->clear();
  EXPECT_EQ(Form().ChosenSettings().DataDir, "");
  EXPECT_TRUE(Form().EnsureDataDirectory());
  EXPECT_TRUE(Boxes.Boxes.empty());
}

// ---- Erase, restore, initialize ----

TEST_F(ActionsTest, EraseAfterOuiOnly) {
  StartOn(CardWithData());
  const std::string before = ReadWholeFile(CardDir() + "/fichbase.dat");
  // Nothing was saved: "Erase anyway?" comes first (its own tests below).
  Boxes.Answer(true);
  Child<QPushButton>(Form(), "ButtonErase")->click();  // no answer: "Annuler"
  EXPECT_EQ(BoxTexts("confirm"), std::vector<std::string>{"Erase flash card"});
  EXPECT_EQ(ReadWholeFile(CardDir() + "/fichbase.dat"), before);
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "FLASH CARD WITH DATA");

  Boxes.Answer(true);
  Boxes.Answer(true);
  Child<QPushButton>(Form(), "ButtonErase")->click();
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "ERASED FLASH CARD");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 0);
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonErase")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(Form(), "ButtonRestore")->isEnabled());
  EXPECT_FALSE(Access().Card().RestoreMode);
}

TEST_F(ActionsTest, AWriteProtectedCardIsListedAndDownloadedButNeitherErasedNorInitialized) {
  platform::TFaultPlan plan;
  plan.PathContains = "fichbase";
  plan.WriteAccessErrorCode = platform::IoAccessDenied;
  platform::SetFaultPlan(plan);
  StartOn(CardWithData());
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "FLASH CARD WITH DATA");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonErase")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonInitialize")->isEnabled());
  EXPECT_EQ(Child<QPushButton>(Form(), "ButtonErase")->toolTip(), "The card is write-protected");
  EXPECT_EQ(Child<QPushButton>(Form(), "ButtonInitialize")->toolTip(),
            "The card is write-protected");
  Child<QListWidget>(Form(), "EventList")->item(1)->setSelected(true);
  DownloadAndWaitForTheEnd();
  EXPECT_EQ(Program->DownloadForm->LabelResult->text(), "Download successful");
  EXPECT_EQ(FilesIn(Out()).size(), 1u);

  // Unlocked and read again: the buttons and their usual tool tips are back.
  platform::ClearFaultPlan();
  Child<QPushButton>(Form(), "ButtonRefresh")->click();
  EXPECT_TRUE(Child<QPushButton>(Form(), "ButtonErase")->isEnabled());
  EXPECT_EQ(Child<QPushButton>(Form(), "ButtonErase")->toolTip(),
            "Erase flash card for new recordings");
  EXPECT_EQ(Child<QPushButton>(Form(), "ButtonInitialize")->toolTip(),
            "Prepare flash card in TarqProbe format");
}

TEST_F(ActionsTest, RestoreShowsTheErasedEventsAndLeavesAgain) {
  TCardBuilder card;
  for (int i = 1; i <= 3; ++i)
    card.Events.push_back(SmallEvent("ERASED", "3,12", "00" + std::to_string(i)));
  card.Label = TCardBuilder::NewCardLabel();
  card.TailZeros = 3000;
  StartOn(card);
  QPushButton* restore = Child<QPushButton>(Form(), "ButtonRestore");

  restore->click();  // "Annuler"
  EXPECT_FALSE(restore->isChecked());
  EXPECT_EQ(restore->text(), "Restore");
  EXPECT_FALSE(Access().Card().RestoreMode);
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "ERASED FLASH CARD");

  Boxes.Answer(true);
  restore->click();
  EXPECT_EQ(BoxTexts("confirm"),
            (std::vector<std::string>{"Restore erased flash card", "Restore erased flash card"}));
  EXPECT_TRUE(Access().Card().RestoreMode);
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "RESTORED FLASH CARD");
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->palette().color(QPalette::Text),
            QColor(0, 128, 0));
  EXPECT_TRUE(restore->isEnabled());
  EXPECT_TRUE(restore->isChecked());
  EXPECT_EQ(restore->text(), "Restored");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);
  EXPECT_TRUE(Child<QPushButton>(Form(), "ButtonDownload")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonErase")->isEnabled());

  // The erased events download like live ones.
  Child<QListWidget>(Form(), "EventList")->item(2)->setSelected(true);
  DownloadAndWaitForTheEnd();
  ASSERT_EQ(FilesIn(Out()).size(), 1u);

  restore->click();
  EXPECT_FALSE(Access().Card().RestoreMode);
  EXPECT_FALSE(restore->isChecked());
  EXPECT_EQ(restore->text(), "Restore");
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "ERASED FLASH CARD");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 0);
}

TEST_F(ActionsTest, RestoreOfAFlashFileAsksAboutTheFile) {
  TCardBuilder card;
  card.Events.push_back(SmallEvent("ERASED"));
  card.SectorFile = false;
  card.TailZeros = 300;
  StartOn(card);
  Boxes.Answer(true);
  Child<QPushButton>(Form(), "ButtonRestore")->click();
  EXPECT_EQ(BoxTexts("confirm"), std::vector<std::string>{"Restore erased flash file"});
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "RESTORED FLASH FILE");
}

TEST_F(ActionsTest, RestoreWithoutAValidCard) {
  StartOn(CardWithData());
  Access().Card().CardValid = false;
  Child<QPushButton>(Form(), "ButtonRestore")->setEnabled(true);
  Child<QPushButton>(Form(), "ButtonRestore")->click();
  EXPECT_EQ(BoxTexts("error"), std::vector<std::string>{"Not a valid flash card"});
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonRestore")->isChecked());
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonRestore")->isEnabled());
  EXPECT_EQ(Child<QPushButton>(Form(), "ButtonRestore")->text(), "Restore");
}

TEST_F(ActionsTest, InitializeABlankDrive) {
  platform::TMappedDriveTable::TMapping blank{CardLetter, CardDir()};
  blank.Capacity = 1'002'048;
  Drives->Map(blank);
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  ASSERT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "FLASH CARD NOT INITIALIZED");
  ASSERT_TRUE(Child<QPushButton>(Form(), "ButtonInitialize")->isEnabled());

  Child<QPushButton>(Form(), "ButtonInitialize")->click();  // "Annuler"
  EXPECT_TRUE(FilesIn(CardDir()).empty());

  Boxes.Answer(true);
  Child<QPushButton>(Form(), "ButtonInitialize")->click();
  EXPECT_EQ(BoxTexts("confirm"),
            (std::vector<std::string>{"Initialize flash card", "Initialize flash card"}));
  EXPECT_EQ(FilesIn(CardDir()), (std::vector<std::string>{"fichbase.dat", "secttarq.hex"}));
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "EMPTY FLASH CARD");
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditUsedSize")->text(), " 0 (0.0%)");
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditTotalSize")->text(), " 999 999");
  EXPECT_FALSE(Child<QPushButton>(Form(), "ButtonInitialize")->isEnabled());
}

TEST_F(ActionsTest, AnInputOutputErrorEndsTheHandlerWithTheGeneralErrorBox) {
  TCardBuilder card = CardWithData();
  card.SectorBytes = "SHORT";  // the label read fails
  card.WriteTo(CardDir());
  WriteSettings(Out());
  ASSERT_TRUE(Start());  // the refresh at start-up fails and is reported; the program goes on
  ASSERT_EQ(BoxTexts("error").size(), 1u);
  EXPECT_EQ(BoxTexts("error")[0], "Lecture au-delà de la fin de fichier.");
  Child<QPushButton>(Form(), "ButtonRefresh")->click();
  EXPECT_EQ(BoxTexts("error").size(), 2u);
}

// ---- Browse, comment, about ----

TEST_F(ActionsTest, BrowseLabelsTheChooserAndTakesItsDirectory) {
  StartOn(CardWithData());
  std::filesystem::create_directories(Root / "chosen");
  const struct {
    std::string Chosen;
    bool Ok;
    std::string DataDir, Field;
  } cases[] = {
      {Root / "chosen/", true, Root / "chosen", Root / "chosen"},
      {Root / "elsewhere", false, Root / "chosen", Root / "chosen"},
      {"/", true, "", "/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Chosen);
    WhenModal([&](QWidget* modal) {
      auto* chooser = Program->SelectDirForm.get();
      EXPECT_EQ(modal, chooser);
      EXPECT_EQ(chooser->windowTitle(), "Select data directory");
      EXPECT_EQ(chooser->DirNameLabel->text(), "Name of directory:");
      EXPECT_EQ(chooser->DirsLabel->text(), "Directories:");
      EXPECT_EQ(chooser->FilesLabel->text(), "&Files : (*.*)");
      EXPECT_EQ(chooser->DriveLabel->text(), "&Drives :");
      EXPECT_EQ(chooser->CancelButton->text(), "Cancel");
      chooser->DirNameEdit->setText(QString::fromStdString(c.Chosen));
      (c.Ok ? chooser->OKButton1 : chooser->CancelButton)->click();
    });
    Child<QPushButton>(Form(), "ButtonBrowse")->click();
    EXPECT_EQ(Form().ChosenSettings().DataDir, c.DataDir);
    EXPECT_EQ(Child<QLineEdit>(Form(), "EditDirName")->text().toStdString(), c.Field);
  }
}

TEST_F(ActionsTest, TheChooserStartsFromTheDestinationField) {
  StartOn(CardWithData());
  WhenModal([&](QWidget*) {
    EXPECT_EQ(Program->SelectDirForm->DirectoryListBox->Directory().toStdString(), Out());
    Program->SelectDirForm->CancelButton->click();
  });
  Child<QPushButton>(Form(), "ButtonBrowse")->click();
}

TEST_F(ActionsTest, CommentAndAboutShowTheirDialogs) {
  StartOn(CardWithData());
  WhenModal([&](QWidget* modal) {
    EXPECT_EQ(modal, Program->CommentForm.get());
    Program->CommentForm->MemoComment->setPlainText("Mali\n");
    Program->CommentForm->ButtonOk->click();
  });
  Child<QPushButton>(Form(), "ButtonComment")->click();
  EXPECT_EQ(Program->CommentForm->CommentLines(), std::vector<std::string>{"Mali"});

  WhenModal([&](QWidget* modal) {
    EXPECT_EQ(modal, Program->AProposForm.get());
    EXPECT_EQ(Program->AProposForm->VersionLabel->text(), "Version 3.3");
    QTest::keyClick(modal, Qt::Key_Return);
  });
  Child<QPushButton>(Form(), "ButtonAbout")->click();
  EXPECT_FALSE(Program->AProposForm->isVisible());
}

// ---- The download ledger ----

TEST_F(ActionsTest, SavedEventsAreMarkedAndEraseWarnsOfTheOthersFirst) {
  StartOn(CardWithData());
  Child<QListWidget>(Form(), "EventList")->item(0)->setSelected(true);
  Child<QListWidget>(Form(), "EventList")->item(1)->setSelected(true);
  DownloadAndWaitForTheEnd();
  EXPECT_TRUE(Boxes.Boxes.empty());
  // The lines of the saved events name where they went.
  for (int line : {0, 1}) {
    EXPECT_NE(
        Child<QListWidget>(Form(), "EventList")->item(line)->toolTip().toStdString().find(Out()),
        std::string::npos)
        << line;
    EXPECT_NE(Child<QListWidget>(Form(), "EventList")->item(line)->foreground(),
              Child<QListWidget>(Form(), "EventList")->item(2)->foreground());
  }
  EXPECT_TRUE(Child<QListWidget>(Form(), "EventList")->item(2)->toolTip().isEmpty());

  const std::string before = ReadWholeFile(CardDir() + "/fichbase.dat");
  Child<QPushButton>(Form(), "ButtonErase")->click();  // no answer: "Annuler", the default
  EXPECT_EQ(BoxTexts("warning-confirm"),
            std::vector<std::string>{
                "1 event of the card has no saved copy:\n\n05121030.003\n\nErase anyway?"});
  EXPECT_TRUE(BoxTexts("confirm").empty());
  // "Erase anyway": the usual confirmation follows.
  Boxes.Answer(true);
  Child<QPushButton>(Form(), "ButtonErase")->click();
  EXPECT_EQ(BoxTexts("confirm"), std::vector<std::string>{"Erase flash card"});
  EXPECT_EQ(ReadWholeFile(CardDir() + "/fichbase.dat"), before);

  // Every event saved: the erase asks as it always did.
  Child<QListWidget>(Form(), "EventList")->item(2)->setSelected(true);
  DownloadAndWaitForTheEnd();
  Boxes.Boxes.clear();
  Boxes.Answer(true);
  Child<QPushButton>(Form(), "ButtonErase")->click();
  EXPECT_TRUE(BoxTexts("warning-confirm").empty());
  EXPECT_EQ(BoxTexts("confirm"), std::vector<std::string>{"Erase flash card"});
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "ERASED FLASH CARD");
}

TEST_F(ActionsTest, WithoutALedgerDownloadsWorkAndEraseAsksAsIfNothingWereSaved) {
  // The data home is a file: no ledger can be made there, whoever runs the test.
  WriteWholeFile(Root / "data-home", "");
  testing_support::TScopedDataHome home(Root / "data-home");
  StartOn(CardWithData());
  ASSERT_EQ(BoxTexts("warning").size(), 1u);
  EXPECT_NE(BoxTexts("warning")[0].find("The download ledger is off"), std::string::npos);
  Child<QListWidget>(Form(), "EventList")->item(0)->setSelected(true);
  DownloadAndWaitForTheEnd();
  EXPECT_EQ(Program->DownloadForm->LabelResult->text(), "Download successful");
  EXPECT_EQ(FilesIn(Out()).size(), 1u);
  EXPECT_EQ(Boxes.Boxes.size(), 1u);  // warned once only

  Child<QPushButton>(Form(), "ButtonErase")->click();
  ASSERT_EQ(BoxTexts("warning-confirm").size(), 1u);
  EXPECT_TRUE(BoxTexts("warning-confirm")[0].starts_with(
      "The download ledger is off: no event is known to be saved.\n\n3 events of the card "
      "have no saved copy:\n\n05121030.001\n"))
      << BoxTexts("warning-confirm")[0];
  EXPECT_EQ(Child<QLineEdit>(Form(), "EditStatus")->text(), "FLASH CARD WITH DATA");
}

}  // namespace
