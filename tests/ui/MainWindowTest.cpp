// The main window: start-up and shutdown, the displays after a refresh, the drive list, the
// output kinds and the destination field.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "UiFixture.h"
#include "ui/DriveComboBox.h"
#include "ui/ReadTarq.h"

using testing_support::ReadWholeFile;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;
using ui_test::CardWithData;
using ui_test::SmallEvent;
using ui_test::TUiTest;

namespace {

class MainWindowTest : public TUiTest {};

std::string Text(const QLineEdit* field) {
  return field->text().toStdString();
}

QColor StatusColour(const TReadTarqForm& form) {
  return form.EditStatus->palette().color(QPalette::Text);
}

QColor WindowText(const TReadTarqForm& form) {
  return form.palette().color(QPalette::WindowText);
}

// ---- Start-up and shutdown ----

TEST_F(MainWindowTest, WithoutSettingsFileTheCurrentDriveIsProbedAndQuitWritesTheFile) {
  WriteWholeFile(DriveDir('c') + "/other.txt", "not a card");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Form().DriveBox->Drive(), 'c');
  EXPECT_EQ(Form().StartDrive, 'c');
  EXPECT_EQ(Form().SettingsDrive, 'c');
  EXPECT_EQ(Form().Settings.FlashUnit, 'c');
  EXPECT_EQ(Text(Form().EditDirName), ProgramDir);
  EXPECT_TRUE(Form().CheckBoxAllChannels->isChecked());
  EXPECT_FALSE(Form().CheckBoxThreeChannels->isChecked());
  EXPECT_FALSE(Form().CheckBoxBinFile->isChecked());
  EXPECT_FALSE(Form().CheckBoxSacFiles->isChecked());
  EXPECT_TRUE(Form().CheckBoxSerial->isChecked());
  EXPECT_EQ(Text(Form().EditStatus), "INVALID OR MISSING FLASH CARD");
  EXPECT_FALSE(Form().isVisible());
  EXPECT_FALSE(std::filesystem::exists(IniPath()));

  Form().CheckBoxSacFiles->click();
  Form().EditDirName->setText(QString::fromStdString(Root / "seismo/"));
  Program->Finish();
  EXPECT_EQ(ReadWholeFile(IniPath()),
            "FlashUnit   := c;\r\nDataDir     := " + Root / "seismo" +
                ";\r\nRecordFile  := TRUE;\r\nSensorFiles := FALSE;\r\nBinaryFile  := FALSE;\r\n"
                "SacFiles    := TRUE;\r\nSerialNr    := TRUE;\r\n");
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(MainWindowTest, ControlsAreFoundByTheirNamesAndShowTheCardOfTheChosenDrive) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  ASSERT_TRUE(Start());
  for (const char* name : {"DriveBox",
                           "ButtonErase",
                           "ButtonRefresh",
                           "SpeedButtonRestore",
                           "InitializeButton",
                           "EditStatus",
                           "EditFiles",
                           "EditUsedSize",
                           "EditTotalSize",
                           "EditEprom",
                           "ButtonSelectAll",
                           "ButtonRead",
                           "CheckBoxAllChannels",
                           "CheckBoxThreeChannels",
                           "CheckBoxBinFile",
                           "CheckBoxSacFiles",
                           "CheckBoxSerial",
                           "ButtonComment",
                           "ListBox",
                           "EditDirName",
                           "ButtonBrowse",
                           "ButtonAbout",
                           "ButtonQuit"}) {
    EXPECT_EQ(Form().findChildren<QWidget*>(QString::fromLatin1(name)).size(), 1) << name;
  }
  auto text = [this](const char* name) {
    return Form().findChild<QLineEdit*>(QString::fromLatin1(name))->text().toStdString();
  };
  EXPECT_EQ(text("EditStatus"), "FLASH CARD WITH DATA");
  EXPECT_EQ(text("EditFiles"), "3");
  EXPECT_EQ(text("EditTotalSize"), " 5007");  // signature, three 666-byte events, 3,000 free
  EXPECT_EQ(Form().findChild<QListWidget*>(QStringLiteral("ListBox"))->count(), 3);
  EXPECT_EQ(Form().Card.Root, CardDir() + "/");
  EXPECT_EQ(Form().Card.Entries.size(), 3u);
}

TEST_F(MainWindowTest, TheSettingsFileChoosesDriveDestinationAndOutputKinds) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out", false, true, true, false, false);
  ASSERT_TRUE(Start());
  EXPECT_EQ(Form().DriveBox->Drive(), CardLetter);
  EXPECT_EQ(Form().DriveBox->currentText().left(2), "e:");
  EXPECT_EQ(Form().SettingsDrive, CardLetter);
  EXPECT_EQ(Text(Form().EditDirName), Root / "out");
  EXPECT_EQ(Form().Settings.DataDir, Root / "out");
  EXPECT_FALSE(Form().CheckBoxAllChannels->isChecked());
  EXPECT_TRUE(Form().CheckBoxThreeChannels->isChecked());
  EXPECT_TRUE(Form().CheckBoxBinFile->isChecked());
  EXPECT_FALSE(Form().CheckBoxSacFiles->isChecked());
  EXPECT_FALSE(Form().CheckBoxSerial->isChecked());
  EXPECT_EQ(Text(Form().EditStatus), "FLASH CARD WITH DATA");
  EXPECT_EQ(Form().ListBox->count(), 3);
  EXPECT_EQ(Text(Form().EditFiles), "3");
  EXPECT_TRUE(Form().ButtonRead->isEnabled());
}

TEST_F(MainWindowTest, ASettingsDriveThatIsNotPresentStaysTheCardDrive) {
  WriteSettings(Root / "out", true, false, false, false, true, 'x');
  ASSERT_TRUE(Start());
  EXPECT_EQ(Form().DriveBox->Drive(), 'x');
  EXPECT_EQ(Form().Settings.FlashUnit, 'x');
  EXPECT_EQ(Form().SettingsDrive, 'x');
  EXPECT_EQ(Form().DriveBox->currentText().left(2), "c:");
  EXPECT_EQ(Text(Form().EditStatus), "INVALID OR MISSING FLASH CARD");
}

TEST_F(MainWindowTest, ABadSettingsLineEndsTheProgramBeforeAnyWindowShows) {
  const std::string content = "FlashUnit := e;\r\nDataDir := /tmp;\r\nRecordFile := yes;\r\n";
  WriteWholeFile(IniPath(), content);
  EXPECT_FALSE(Start());
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Kind, "error");
  EXPECT_EQ(Boxes.Boxes[0].Text,
            "Erreur de lecture du fichier READTARQ.INI, ligne 3, il manque \"true\" ou \"false\"");
  EXPECT_EQ(Program->ReadTarqForm, nullptr);
  EXPECT_EQ(Program->SelectDirForm, nullptr);
  Program.reset();
  EXPECT_EQ(ReadWholeFile(IniPath()), content);

  // The whole program ends with exit code 0 at once, without entering its message loop.
  EXPECT_EQ(RunReadTarq(ExePath()), 0);
  EXPECT_EQ(Boxes.Boxes.size(), 2u);
  for (QWidget* window : QApplication::topLevelWidgets()) EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(ReadWholeFile(IniPath()), content);
}

TEST_F(MainWindowTest, TheWindowsAreCreatedAndQuitEndsTheMessageLoop) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  ASSERT_TRUE(Start());
  EXPECT_NE(Program->SelectDirForm, nullptr);
  EXPECT_NE(Program->DownloadForm, nullptr);
  EXPECT_NE(Program->AProposForm, nullptr);
  EXPECT_NE(Program->CommentForm, nullptr);
  EXPECT_EQ(Form().windowTitle(), "ReadTarq");
  QTimer::singleShot(0, [this] {
    EXPECT_TRUE(Form().isVisible());
    Form().ButtonQuit->click();
  });
  EXPECT_EQ(Program->Run(), 0);
  EXPECT_NE(ReadWholeFile(IniPath()).find("FlashUnit   := e;"), std::string::npos);
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenIsReportedAtExit) {
  ASSERT_TRUE(Start());
  platform::TFaultPlan plan;
  plan.PathContains = "READTARQ.INI";
  plan.CreateErrorCode = platform::IoAccessDenied;
  platform::SetFaultPlan(plan);
  Program->Finish();
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Kind, "warning");
  EXPECT_NE(Boxes.Boxes[0].Text.find(IniPath()), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(IniPath()));
}

// ---- The displays after a refresh ----

struct TDisplayCase {
  const char* Name;
  std::function<void(TUiTest&)> Prepare;
  const char* Status;
  int Colour;  // 0 window text, 1 green, 2 red
  bool SelectAll, Read, Erase, Restore, Initialize;
  int Lines;
};

void PrintTo(const TDisplayCase& display, std::ostream* out) {
  *out << display.Name;
}

class DisplayTest : public MainWindowTest, public ::testing::WithParamInterface<TDisplayCase> {};

TEST_P(DisplayTest, StatusAndButtons) {
  const TDisplayCase& c = GetParam();
  WriteSettings(Root / "out");
  c.Prepare(*this);
  ASSERT_TRUE(Start());
  TReadTarqForm& form = Form();
  EXPECT_EQ(Text(form.EditStatus), c.Status);
  const QColor colours[] = {WindowText(form), QColor(0, 128, 0), QColor(255, 0, 0)};
  EXPECT_EQ(StatusColour(form), colours[c.Colour]);
  EXPECT_EQ(form.ButtonSelectAll->isEnabled(), c.SelectAll);
  EXPECT_EQ(form.ButtonRead->isEnabled(), c.Read);
  EXPECT_EQ(form.ButtonErase->isEnabled(), c.Erase);
  EXPECT_EQ(form.SpeedButtonRestore->isEnabled(), c.Restore);
  EXPECT_FALSE(form.SpeedButtonRestore->isChecked());
  EXPECT_EQ(form.SpeedButtonRestore->text(), "Restore");
  EXPECT_EQ(form.InitializeButton->isEnabled(), c.Initialize);
  EXPECT_EQ(form.ListBox->count(), c.Lines);
  // These are never disabled.
  for (QWidget* always : std::initializer_list<QWidget*>{
           form.ButtonRefresh, form.ButtonBrowse, form.ButtonComment, form.ButtonAbout,
           form.ButtonQuit, form.DriveBox, form.CheckBoxAllChannels, form.CheckBoxThreeChannels,
           form.CheckBoxBinFile, form.CheckBoxSacFiles, form.CheckBoxSerial, form.EditDirName}) {
    EXPECT_TRUE(always->isEnabled());
  }
}

TCardBuilder ErasedCard() {
  TCardBuilder card;
  for (int i = 1; i <= 3; ++i)
    card.Events.push_back(SmallEvent("ERASED", "3,12", "00" + std::to_string(i)));
  card.Label = TCardBuilder::NewCardLabel();
  card.TailZeros = 3000;
  return card;
}

const TDisplayCase DisplayCases[] = {
    {"Invalid", [](TUiTest& t) { WriteWholeFile(t.CardDir() + "/photo.jpg", "x"); },
     "INVALID OR MISSING FLASH CARD", 2, false, false, false, false, false, 0},
    {"SectorFileWithoutDataFile",
     [](TUiTest& t) {
       t.MapDrive(TUiTest::CardLetter, 64'000'000, 64'000'000);
       WriteWholeFile(t.CardDir() + "/secttarq.hex", std::string(2048, '\0'));
     },
     "INVALID OR MISSING FLASH CARD", 2, false, false, false, false, false, 0},
    {"Blank", [](TUiTest& t) { t.MapDrive(TUiTest::CardLetter, 64'000'000, 64'000'000); },
     "FLASH CARD NOT INITIALIZED", 2, false, false, false, false, true, 0},
    {"New",
     [](TUiTest& t) {
       TCardBuilder card;
       card.Label = TCardBuilder::NewCardLabel();
       card.TailZeros = 3000;
       card.WriteTo(t.CardDir());
     },
     "EMPTY FLASH CARD", 0, false, false, false, false, false, 0},
    {"Erased", [](TUiTest& t) { ErasedCard().WriteTo(t.CardDir()); }, "ERASED FLASH CARD", 0, false,
     false, false, true, false, 0},
    {"ErasedFlashFile",
     [](TUiTest& t) {
       TCardBuilder card = ErasedCard();
       card.SectorFile = false;
       card.WriteTo(t.CardDir());
     },
     "ERASED FLASH FILE", 0, false, false, false, true, false, 0},
    {"Full",
     [](TUiTest& t) {
       TCardBuilder card = CardWithData();
       card.TailZeros = 0;
       card.WriteTo(t.CardDir());
     },
     "FLASH CARD IS FULL", 1, true, true, true, false, false, 3},
    {"WithData", [](TUiTest& t) { CardWithData().WriteTo(t.CardDir()); }, "FLASH CARD WITH DATA", 1,
     true, true, true, false, false, 3},
    {"FlashFileWithData",
     [](TUiTest& t) {
       TCardBuilder card = CardWithData();
       card.SectorFile = false;
       card.WriteTo(t.CardDir());
     },
     "FLASH FILE WITH DATA", 1, true, true, false, false, false, 3},
};

INSTANTIATE_TEST_SUITE_P(Displays, DisplayTest, ::testing::ValuesIn(DisplayCases),
                         [](const auto& param) { return std::string(param.param.Name); });

TEST_F(MainWindowTest, TheStatusFieldKeepsTheCardUnitsTextAndShowsItInCapitals) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Form().StatusText(), "Flash card with data");
  EXPECT_EQ(Form().StatusColour(), TStatusColour::Green);
  EXPECT_TRUE(Form().EditStatus->isReadOnly());
}

TEST_F(MainWindowTest, SizesCountsAndVersion) {
  struct TCase {
    const char* Signature;
    int64_t TailZeros;
    std::string Used, Total, Eprom;
  };
  // Three events of 666 bytes after the 9-byte signature end at byte 2007; the scan reads
  // 108 bytes further, so 2115 bytes count as used.
  const TCase cases[] = {
      {"TARQPROBE", 3000, " 2115 (42.2%)", " 5007", ""},
      {"TARQP 508", 3000, " 2115 (42.2%)", " 5007", "0508"},
      {"TARQ 0410", 0, " 2007 (100%)", " 2007", "0410"},
      {"TARQP  28", 2'000'000'001, " 2115 (0.0%)", " 2 000 002 008", "0028"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Signature);
    TCardBuilder card = CardWithData();
    card.Signature = c.Signature;
    card.TailZeros = c.TailZeros;
    card.WriteTo(CardDir());
    WriteSettings(Root / "out");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Text(Form().EditUsedSize), c.Used);
    EXPECT_EQ(Text(Form().EditTotalSize), c.Total);
    EXPECT_EQ(Text(Form().EditEprom), c.Eprom);
    EXPECT_EQ(Text(Form().EditFiles), "3");
    Program.reset();
  }
}

TEST_F(MainWindowTest, ANewCardShowsNothingUsedWhateverTheCardBeforeIt) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  ASSERT_TRUE(Start());
  ASSERT_EQ(Form().ListBox->count(), 3);

  TCardBuilder fresh;
  fresh.Label = TCardBuilder::NewCardLabel();
  fresh.TailZeros = 1191;
  fresh.WriteTo(DriveDir('c'));
  Form().DriveBox->setCurrentIndex(0);  // the user picks c:
  EXPECT_EQ(Text(Form().EditStatus), "EMPTY FLASH CARD");
  EXPECT_EQ(Text(Form().EditUsedSize), " 0 (0.0%)");
  EXPECT_EQ(Text(Form().EditTotalSize), " 1200");
  EXPECT_EQ(Text(Form().EditFiles), "");
  EXPECT_EQ(Form().ListBox->count(), 0);
}

// ---- Output kinds ----

TEST_F(MainWindowTest, OutputKindsReEvaluateDownloadAndEraseFollowsAtTheNextRefresh) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out", false, false, false, false);
  ASSERT_TRUE(Start());
  TReadTarqForm& form = Form();
  EXPECT_FALSE(form.ButtonRead->isEnabled());
  EXPECT_FALSE(form.ButtonErase->isEnabled());

  form.CheckBoxBinFile->click();
  EXPECT_TRUE(form.Settings.BinaryFile);
  EXPECT_TRUE(form.ButtonRead->isEnabled());
  EXPECT_FALSE(form.ButtonErase->isEnabled());
  form.ButtonRefresh->click();
  EXPECT_TRUE(form.ButtonErase->isEnabled());

  form.CheckBoxSacFiles->click();
  form.CheckBoxBinFile->click();
  EXPECT_TRUE(form.ButtonRead->isEnabled());
  form.CheckBoxSacFiles->click();
  EXPECT_FALSE(form.ButtonRead->isEnabled());
  EXPECT_TRUE(form.ButtonErase->isEnabled());
  form.ButtonRefresh->click();
  EXPECT_FALSE(form.ButtonErase->isEnabled());

  // Each box stores its own field and nothing else.
  const std::pair<QCheckBox*, bool TSettings::*> boxes[] = {
      {form.CheckBoxAllChannels, &TSettings::RecordFile},
      {form.CheckBoxThreeChannels, &TSettings::SensorFiles},
      {form.CheckBoxBinFile, &TSettings::BinaryFile},
      {form.CheckBoxSacFiles, &TSettings::SacFiles},
      {form.CheckBoxSerial, &TSettings::SerialNr},
  };
  for (const auto& [box, field] : boxes) {
    const TSettings before = form.Settings;
    box->click();
    EXPECT_EQ(form.Settings.*field, !(before.*field));
    int changed = 0;
    for (const auto& other : boxes)
      changed += (form.Settings.*other.second != before.*other.second);
    EXPECT_EQ(changed, 1);
  }
  // The serial box has no say in Download.
  form.ButtonRefresh->click();
  const bool read = form.ButtonRead->isEnabled();
  form.CheckBoxSerial->click();
  EXPECT_EQ(form.ButtonRead->isEnabled(), read);
}

TEST_F(MainWindowTest, TheDestinationFieldStoresTheDirectory) {
  ASSERT_TRUE(Start());
  const struct {
    std::string Typed, DataDir;
  } cases[] = {
      {"/data/seismo/", "/data/seismo"}, {"/data/seismo", "/data/seismo"}, {"", ""}, {"/", ""}};
  for (const auto& c : cases) {
    Form().EditDirName->setText(QString::fromStdString(c.Typed));
    EXPECT_EQ(Form().Settings.DataDir, c.DataDir) << c.Typed;
  }
}

// ---- The drive list ----

TEST_F(MainWindowTest, AnotherDriveIsProbedAndLeavesRestoreMode) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out", true, false, false, false, true, 'c');
  ASSERT_TRUE(Start());
  EXPECT_EQ(Text(Form().EditStatus), "INVALID OR MISSING FLASH CARD");
  Form().Card.RestoreMode = true;
  Form().DriveBox->setCurrentIndex(Form().DriveBox->findText("e:", Qt::MatchStartsWith));
  EXPECT_EQ(Form().Settings.FlashUnit, 'e');
  EXPECT_FALSE(Form().Card.RestoreMode);
  EXPECT_EQ(Text(Form().EditStatus), "FLASH CARD WITH DATA");
}

TEST_F(MainWindowTest, RefreshAfterTheCardDriveVanished) {
  // The settings drive when it is listed, else the start drive; a settings drive in upper
  // case is never found by that search.
  const struct {
    char SettingsUnit;
    bool SettingsDriveStays;
    char Expected;
  } cases[] = {{'e', true, 'e'}, {'E', true, 'c'}, {'e', false, 'c'}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.SettingsUnit) + (c.SettingsDriveStays ? " stays" : " goes"));
    MapDrive('e', 64'000'000, 32'000'000);
    MapDrive('g', 64'000'000, 32'000'000);
    CardWithData().WriteTo(DriveDir('g'));
    WriteSettings(Root / "out", true, false, false, false, true, c.SettingsUnit);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Form().SettingsDrive, c.SettingsUnit);
    Form().DriveBox->setCurrentIndex(Form().DriveBox->findText("g:", Qt::MatchStartsWith));
    ASSERT_EQ(Text(Form().EditStatus), "FLASH CARD WITH DATA");

    Drives->Unmap('g');
    if (!c.SettingsDriveStays) Drives->Unmap('e');
    Form().ButtonRefresh->click();
    EXPECT_EQ(Form().DriveBox->Drive(), c.Expected);
    EXPECT_EQ(Form().Settings.FlashUnit, c.Expected);
    EXPECT_EQ(Form().DriveBox->currentText().at(0).toLatin1(), c.Expected);
    EXPECT_EQ(Form().DriveBox->findText("g:", Qt::MatchStartsWith), -1);
    EXPECT_TRUE(Form().HiddenDriveListExists);
    EXPECT_EQ(Text(Form().EditStatus), "INVALID OR MISSING FLASH CARD");
    Program.reset();
  }
}

TEST_F(MainWindowTest, FindDriveInListComparesTheLetterExactly) {
  ASSERT_TRUE(Start());
  EXPECT_TRUE(Form().FindDriveInList('c'));
  EXPECT_TRUE(Form().FindDriveInList('e'));
  EXPECT_FALSE(Form().FindDriveInList('E'));
  EXPECT_FALSE(Form().FindDriveInList('f'));
}

TEST_F(MainWindowTest, ControlsCarryTheirCaptionsAndHints) {
  ASSERT_TRUE(Start());
  TReadTarqForm& f = Form();
  const std::pair<QWidget*, const char*> hints[] = {
      {f.DriveBox, "Unit where original TarqProbe data are located"},
      {f.ButtonErase, "Erase flash card for new recordings"},
      {f.ButtonRefresh, "Refresh flash card and files infos"},
      {f.SpeedButtonRestore, "Retrieve data from an erased flash card"},
      {f.InitializeButton, "Prepare flash card in TarqProbe format"},
      {f.EditStatus, "Flash card status"},
      {f.EditFiles, "Number of files on flash card"},
      {f.EditUsedSize, "Total size of files recorded on flash card"},
      {f.EditTotalSize, "Flash card size"},
      {f.EditEprom, "TarqProbe acquisition software version"},
      {f.ButtonSelectAll, "Select all files listed in the window"},
      {f.ButtonRead, "Download selected files to destination directory"},
      {f.CheckBoxAllChannels, "One single file per record containing all channels"},
      {f.CheckBoxThreeChannels, "One file per sensor containing three channels"},
      {f.CheckBoxBinFile, "One binary file per record containing all channels"},
      {f.CheckBoxSacFiles, "One SAC file per channel"},
      {f.CheckBoxSerial, "Include serial number in filename"},
      {f.ButtonComment, "Add comment into file headers"},
      {f.ListBox, "Infos on files recorded on flash card"},
      {f.EditDirName, "Directory where selected files are to be downloaded"},
      {f.ButtonBrowse, "Change destination directory"},
      {f.ButtonAbout, "About ReadTarq"},
  };
  for (const auto& [widget, hint] : hints) EXPECT_EQ(widget->toolTip(), hint);
  const std::pair<QAbstractButton*, const char*> captions[] = {
      {f.ButtonErase, "&Erase"},
      {f.ButtonRefresh, "R&efresh"},
      {f.InitializeButton, "&Initialize"},
      {f.ButtonSelectAll, "&Select all"},
      {f.ButtonRead, "&Download"},
      {f.CheckBoxAllChannels, "Record file"},
      {f.CheckBoxThreeChannels, "Sensor files"},
      {f.CheckBoxBinFile, "Binary file"},
      {f.CheckBoxSacFiles, "SAC files"},
      {f.CheckBoxSerial, "Serial number"},
      {f.ButtonComment, "&Comment"},
      {f.ButtonBrowse, "&Browse..."},
      {f.ButtonAbout, "&About..."},
      {f.ButtonQuit, "&Quit"},
  };
  for (const auto& [button, caption] : captions) EXPECT_EQ(button->text(), caption);
  EXPECT_TRUE(f.ButtonRead->font().bold());
  EXPECT_TRUE(f.ButtonQuit->font().bold());
  EXPECT_FALSE(f.ButtonSelectAll->font().bold());
  EXPECT_TRUE(f.SpeedButtonRestore->isCheckable());
  EXPECT_EQ(f.ListBox->selectionMode(), QAbstractItemView::ExtendedSelection);
  for (QGroupBox* group : {f.GroupBoxFlash, f.GroupFlashCard, f.GroupBoxFiles}) {
    EXPECT_TRUE(group->font().bold() && group->font().italic());
    EXPECT_EQ(group->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    EXPECT_FALSE(f.LabelFiles->font().italic());
  }
}

}  // namespace
