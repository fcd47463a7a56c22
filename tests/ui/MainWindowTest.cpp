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
#include <iterator>
#include <utility>
#include <vector>

#include "UiFixture.h"
#include "settings/SettingsFile.h"
#include "ui/DriveComboBox.h"
#include "ui/ReadTarq.h"
#include "writers/OutputKinds.h"

using testing_support::ReadWholeFile;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;
using ui_test::CardWithData;
using ui_test::Child;
using ui_test::SmallEvent;
using ui_test::TUiTest;

namespace {

class MainWindowTest : public TUiTest {};

std::string Text(const QLineEdit* field) {
  return field->text().toStdString();
}

QColor StatusColour(const TReadTarqForm& form) {
  return Child<QLineEdit>(form, "EditStatus")->palette().color(QPalette::Text);
}

QColor WindowText(const TReadTarqForm& form) {
  return form.palette().color(QPalette::WindowText);
}

// ---- Start-up and shutdown ----

TEST_F(MainWindowTest, WithoutSettingsFileTheCurrentDriveIsProbedAndQuitWritesTheFile) {
  WriteWholeFile(DriveDir('c') + "/other.txt", "not a card");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), 'c');
  EXPECT_EQ(Access().StartDrive(), 'c');
  EXPECT_EQ(Access().SettingsDrive(), 'c');
  EXPECT_EQ(Form().ChosenSettings().FlashUnit, 'c');
  // A fresh start never downloads into the program's directory.
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditDirName")), DefaultDataDirectory());
  EXPECT_TRUE(Child<QCheckBox>(Form(), "CheckBoxRecord")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(Form(), "CheckBoxSensor")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(Form(), "CheckBoxBinary")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(Form(), "CheckBoxSac")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(Form(), "CheckBoxSerial")->isChecked());
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "INVALID OR MISSING FLASH CARD");
  EXPECT_FALSE(Form().isVisible());
  EXPECT_FALSE(std::filesystem::exists(IniPath()));

  Child<QCheckBox>(Form(), "CheckBoxSac")->click();
  Child<QLineEdit>(Form(), "EditDirName")->setText(QString::fromStdString(Root / "seismo/"));
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
                           "ButtonRestore",
                           "ButtonInitialize",
                           "EditStatus",
                           "EditFiles",
                           "EditUsedSize",
                           "EditTotalSize",
                           "EditEprom",
                           "ButtonSelectAll",
                           "ButtonDownload",
                           "CheckBoxRecord",
                           "CheckBoxSensor",
                           "CheckBoxBinary",
                           "CheckBoxSac",
                           "CheckBoxMseed",
                           "CheckBoxSds",
                           "CheckBoxSerial",
                           "ButtonComment",
                           "EventList",
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
  EXPECT_EQ(Form().findChild<QListWidget*>(QStringLiteral("EventList"))->count(), 3);
  EXPECT_EQ(Access().Card().Root, CardDir() + "/");
  EXPECT_EQ(Access().Card().Entries.size(), 3u);
}

TEST_F(MainWindowTest, TheSettingsFileChoosesDriveDestinationAndOutputKinds) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out", false, true, true, false, false);
  ASSERT_TRUE(Start());
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), CardLetter);
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->currentText().left(2), "e:");
  EXPECT_EQ(Access().SettingsDrive(), CardLetter);
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditDirName")), Root / "out");
  EXPECT_EQ(Form().ChosenSettings().DataDir, Root / "out");
  EXPECT_FALSE(Child<QCheckBox>(Form(), "CheckBoxRecord")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(Form(), "CheckBoxSensor")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(Form(), "CheckBoxBinary")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(Form(), "CheckBoxSac")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(Form(), "CheckBoxSerial")->isChecked());
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "FLASH CARD WITH DATA");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditFiles")), "3");
  EXPECT_TRUE(Child<QPushButton>(Form(), "ButtonDownload")->isEnabled());
}

TEST_F(MainWindowTest, ASettingsDriveThatIsNotPresentStaysTheCardDrive) {
  WriteSettings(Root / "out", true, false, false, false, true, 'x');
  ASSERT_TRUE(Start());
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), 'x');
  EXPECT_EQ(Form().ChosenSettings().FlashUnit, 'x');
  EXPECT_EQ(Access().SettingsDrive(), 'x');
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->currentText().left(2), "c:");
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "INVALID OR MISSING FLASH CARD");
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
    Child<QPushButton>(Form(), "ButtonQuit")->click();
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
  EXPECT_EQ(Text(Child<QLineEdit>(form, "EditStatus")), c.Status);
  const QColor colours[] = {WindowText(form), QColor(0, 128, 0), QColor(255, 0, 0)};
  EXPECT_EQ(StatusColour(form), colours[c.Colour]);
  EXPECT_EQ(Child<QPushButton>(form, "ButtonSelectAll")->isEnabled(), c.SelectAll);
  EXPECT_EQ(Child<QPushButton>(form, "ButtonDownload")->isEnabled(), c.Read);
  EXPECT_EQ(Child<QPushButton>(form, "ButtonErase")->isEnabled(), c.Erase);
  EXPECT_EQ(Child<QPushButton>(form, "ButtonRestore")->isEnabled(), c.Restore);
  EXPECT_FALSE(Child<QPushButton>(form, "ButtonRestore")->isChecked());
  EXPECT_EQ(Child<QPushButton>(form, "ButtonRestore")->text(), "Restore");
  EXPECT_EQ(Child<QPushButton>(form, "ButtonInitialize")->isEnabled(), c.Initialize);
  EXPECT_EQ(Child<QListWidget>(form, "EventList")->count(), c.Lines);
  // These are never disabled.
  for (QWidget* always : std::initializer_list<QWidget*>{
           Child<QPushButton>(form, "ButtonRefresh"), Child<QPushButton>(form, "ButtonBrowse"),
           Child<QPushButton>(form, "ButtonComment"), Child<QPushButton>(form, "ButtonAbout"),
           Child<QPushButton>(form, "ButtonQuit"), Child<TDriveComboBox>(form, "DriveBox"),
           Child<QCheckBox>(form, "CheckBoxRecord"), Child<QCheckBox>(form, "CheckBoxSensor"),
           Child<QCheckBox>(form, "CheckBoxBinary"), Child<QCheckBox>(form, "CheckBoxSac"),
           Child<QCheckBox>(form, "CheckBoxSerial"), Child<QLineEdit>(form, "EditDirName")}) {
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
  EXPECT_TRUE(Child<QLineEdit>(Form(), "EditStatus")->isReadOnly());
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
    EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditUsedSize")), c.Used);
    EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditTotalSize")), c.Total);
    EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditEprom")), c.Eprom);
    EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditFiles")), "3");
    Program.reset();
  }
}

TEST_F(MainWindowTest, ANewCardShowsNothingUsedWhateverTheCardBeforeIt) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  ASSERT_TRUE(Start());
  ASSERT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);

  TCardBuilder fresh;
  fresh.Label = TCardBuilder::NewCardLabel();
  fresh.TailZeros = 1191;
  fresh.WriteTo(DriveDir('c'));
  Child<TDriveComboBox>(Form(), "DriveBox")->setCurrentIndex(0);  // the user picks c:
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "EMPTY FLASH CARD");
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditUsedSize")), " 0 (0.0%)");
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditTotalSize")), " 1200");
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditFiles")), "");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 0);
}

// ---- Output kinds ----

TEST_F(MainWindowTest, OutputKindsReEvaluateDownloadAndEraseFollowsAtTheNextRefresh) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out", false, false, false, false);
  ASSERT_TRUE(Start());
  TReadTarqForm& form = Form();
  EXPECT_FALSE(Child<QPushButton>(form, "ButtonDownload")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(form, "ButtonErase")->isEnabled());

  Child<QCheckBox>(form, "CheckBoxBinary")->click();
  EXPECT_TRUE(IsChosen(form.ChosenSettings(), OutputKindNamed("binary")));
  EXPECT_TRUE(Child<QPushButton>(form, "ButtonDownload")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(form, "ButtonErase")->isEnabled());
  Child<QPushButton>(form, "ButtonRefresh")->click();
  EXPECT_TRUE(Child<QPushButton>(form, "ButtonErase")->isEnabled());

  Child<QCheckBox>(form, "CheckBoxSac")->click();
  Child<QCheckBox>(form, "CheckBoxBinary")->click();
  EXPECT_TRUE(Child<QPushButton>(form, "ButtonDownload")->isEnabled());
  Child<QCheckBox>(form, "CheckBoxSac")->click();
  EXPECT_FALSE(Child<QPushButton>(form, "ButtonDownload")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "ButtonErase")->isEnabled());
  Child<QPushButton>(form, "ButtonRefresh")->click();
  EXPECT_FALSE(Child<QPushButton>(form, "ButtonErase")->isEnabled());

  // Each box stores its own choice and nothing else.
  const std::pair<const char*, const char*> boxes[] = {
      {"CheckBoxRecord", "record"}, {"CheckBoxSensor", "sensor"}, {"CheckBoxBinary", "binary"},
      {"CheckBoxSac", "sac"},       {"CheckBoxMseed", "mseed"},   {"CheckBoxSds", "sds"},
      {"CheckBoxSerial", nullptr},
  };
  auto choice = [&form](const char* kind) {
    const TSettings& settings = form.ChosenSettings();
    return kind ? IsChosen(settings, OutputKindNamed(kind)) : settings.SerialNr;
  };
  for (const auto& [box, kind] : boxes) {
    SCOPED_TRACE(box);
    std::vector<bool> before;
    for (const auto& other : boxes) before.push_back(choice(other.second));
    Child<QCheckBox>(form, box)->click();
    for (size_t i = 0; i < std::size(boxes); ++i)
      EXPECT_EQ(choice(boxes[i].second), before[i] != (boxes[i].second == kind));
  }
  // The serial box has no say in Download.
  Child<QPushButton>(form, "ButtonRefresh")->click();
  const bool read = Child<QPushButton>(form, "ButtonDownload")->isEnabled();
  Child<QCheckBox>(form, "CheckBoxSerial")->click();
  EXPECT_EQ(Child<QPushButton>(form, "ButtonDownload")->isEnabled(), read);
}

TEST_F(MainWindowTest, TheDestinationFieldStoresTheDirectory) {
  ASSERT_TRUE(Start());
  const struct {
    std::string Typed, DataDir;
  } cases[] = {
      {"/data/seismo/", "/data/seismo"}, {"/data/seismo", "/data/seismo"}, {"", ""}, {"/", ""}};
  for (const auto& c : cases) {
    Child<QLineEdit>(Form(), "EditDirName")->setText(QString::fromStdString(c.Typed));
    EXPECT_EQ(Form().ChosenSettings().DataDir, c.DataDir) << c.Typed;
  }
}

// ---- The drive list ----

TEST_F(MainWindowTest, AnotherDriveIsProbedAndLeavesRestoreMode) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out", true, false, false, false, true, 'c');
  ASSERT_TRUE(Start());
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "INVALID OR MISSING FLASH CARD");
  Access().Card().RestoreMode = true;
  Child<TDriveComboBox>(Form(), "DriveBox")
      ->setCurrentIndex(
          Child<TDriveComboBox>(Form(), "DriveBox")->findText("e:", Qt::MatchStartsWith));
  EXPECT_EQ(Form().ChosenSettings().FlashUnit, 'e');
  EXPECT_FALSE(Access().Card().RestoreMode);
  EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "FLASH CARD WITH DATA");
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
    EXPECT_EQ(Access().SettingsDrive(), c.SettingsUnit);
    Child<TDriveComboBox>(Form(), "DriveBox")
        ->setCurrentIndex(
            Child<TDriveComboBox>(Form(), "DriveBox")->findText("g:", Qt::MatchStartsWith));
    ASSERT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "FLASH CARD WITH DATA");

    Drives->Unmap('g');
    if (!c.SettingsDriveStays) Drives->Unmap('e');
    Child<QPushButton>(Form(), "ButtonRefresh")->click();
    EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), c.Expected);
    EXPECT_EQ(Form().ChosenSettings().FlashUnit, c.Expected);
    EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->currentText().at(0).toLatin1(),
              c.Expected);
    EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->findText("g:", Qt::MatchStartsWith), -1);
    EXPECT_TRUE(Access().HiddenDriveListExists());
    EXPECT_EQ(Text(Child<QLineEdit>(Form(), "EditStatus")), "INVALID OR MISSING FLASH CARD");
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
      {Child<TDriveComboBox>(f, "DriveBox"), "Unit where original TarqProbe data are located"},
      {Child<QPushButton>(f, "ButtonErase"), "Erase flash card for new recordings"},
      {Child<QPushButton>(f, "ButtonRefresh"), "Refresh flash card and files infos"},
      {Child<QPushButton>(f, "ButtonRestore"), "Retrieve data from an erased flash card"},
      {Child<QPushButton>(f, "ButtonInitialize"), "Prepare flash card in TarqProbe format"},
      {Child<QLineEdit>(f, "EditStatus"), "Flash card status"},
      {Child<QLineEdit>(f, "EditFiles"), "Number of files on flash card"},
      {Child<QLineEdit>(f, "EditUsedSize"), "Total size of files recorded on flash card"},
      {Child<QLineEdit>(f, "EditTotalSize"), "Flash card size"},
      {Child<QLineEdit>(f, "EditEprom"), "TarqProbe acquisition software version"},
      {Child<QPushButton>(f, "ButtonSelectAll"), "Select all files listed in the window"},
      {Child<QPushButton>(f, "ButtonDownload"), "Download selected files to destination directory"},
      {Child<QCheckBox>(f, "CheckBoxRecord"), "One single file per record containing all channels"},
      {Child<QCheckBox>(f, "CheckBoxSensor"), "One file per sensor containing three channels"},
      {Child<QCheckBox>(f, "CheckBoxBinary"), "One binary file per record containing all channels"},
      {Child<QCheckBox>(f, "CheckBoxSac"), "One SAC file per channel"},
      {Child<QCheckBox>(f, "CheckBoxSerial"), "Include serial number in filename"},
      {Child<QPushButton>(f, "ButtonComment"), "Add comment into file headers"},
      {Child<QListWidget>(f, "EventList"), "Infos on files recorded on flash card"},
      {Child<QLineEdit>(f, "EditDirName"), "Directory where selected files are to be downloaded"},
      {Child<QPushButton>(f, "ButtonBrowse"), "Change destination directory"},
      {Child<QPushButton>(f, "ButtonAbout"), "About ReadTarq"},
  };
  for (const auto& [widget, hint] : hints) EXPECT_EQ(widget->toolTip(), hint);
  const std::pair<QAbstractButton*, const char*> captions[] = {
      {Child<QPushButton>(f, "ButtonErase"), "&Erase"},
      {Child<QPushButton>(f, "ButtonRefresh"), "R&efresh"},
      {Child<QPushButton>(f, "ButtonInitialize"), "&Initialize"},
      {Child<QPushButton>(f, "ButtonSelectAll"), "&Select all"},
      {Child<QPushButton>(f, "ButtonDownload"), "&Download"},
      {Child<QCheckBox>(f, "CheckBoxRecord"), "Record file"},
      {Child<QCheckBox>(f, "CheckBoxSensor"), "Sensor files"},
      {Child<QCheckBox>(f, "CheckBoxBinary"), "Binary file"},
      {Child<QCheckBox>(f, "CheckBoxSac"), "SAC files"},
      {Child<QCheckBox>(f, "CheckBoxSerial"), "Serial number"},
      {Child<QPushButton>(f, "ButtonComment"), "&Comment"},
      {Child<QPushButton>(f, "ButtonBrowse"), "&Browse..."},
      {Child<QPushButton>(f, "ButtonAbout"), "&About..."},
      {Child<QPushButton>(f, "ButtonQuit"), "&Quit"},
  };
  for (const auto& [button, caption] : captions) EXPECT_EQ(button->text(), caption);
  EXPECT_TRUE(Child<QPushButton>(f, "ButtonDownload")->font().bold());
  EXPECT_TRUE(Child<QPushButton>(f, "ButtonQuit")->font().bold());
  EXPECT_FALSE(Child<QPushButton>(f, "ButtonSelectAll")->font().bold());
  EXPECT_TRUE(Child<QPushButton>(f, "ButtonRestore")->isCheckable());
  EXPECT_EQ(Child<QListWidget>(f, "EventList")->selectionMode(),
            QAbstractItemView::ExtendedSelection);
  for (QGroupBox* group :
       {Child<QGroupBox>(f, "GroupBoxCard"), Child<QGroupBox>(f, "GroupBoxCardInfos"),
        Child<QGroupBox>(f, "GroupBoxFiles")}) {
    EXPECT_TRUE(group->font().bold() && group->font().italic());
    EXPECT_EQ(group->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    EXPECT_FALSE(Child<QLabel>(f, "LabelFiles")->font().italic());
  }
}

}  // namespace
