// The main window's look at a card: the preview follows the line clicked last and draws the
// event's traces from the envelopes of its digest, its visibility is kept beside the settings
// file, Report... writes the report of the selected events, a card going in or out is noticed,
// and a card gone during a preview shows the card error.

#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "UiFixture.h"
#include "quality/CardReport.h"
#include "ui/CardLookout.h"
#include "ui/DriveComboBox.h"
#include "ui/EventLoader.h"
#include "ui/WaveformPreview.h"

namespace {

using namespace ui_test;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// A small event, then one of 6 channels at 100 Hz for 2 minutes, then one cut short.
TCardBuilder PreviewCard() {
  TCardBuilder card;
  card.Events.push_back(SmallEvent("DEB", "3,12", "001"));
  TBuiltEvent six = SmallEvent("DEB", "6,47", "002");
  six.RateDuration = "100,2";
  card.Events.push_back(six);
  TBuiltEvent cut = SmallEvent("DEB", "3,47", "003");
  cut.RateDuration = "100,1";
  cut.UseRawSamples = true;
  cut.RawSamples = std::string(9 * 1500, '\x01');
  cut.OmitTrailer = true;
  card.Events.push_back(cut);
  return card;
}

class WindowPreviewTest : public TUiTest {
 public:
  TCardLookout& Lookout() { return Access().Lookout(); }
  TWaveformPreview& Preview() { return *Lookout().Preview; }
  std::string Out() const { return Root / "out"; }

  // Clicks a line as the user does, with the keyboard modifiers given.
  void Click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QListWidget* list = Child<QListWidget>(Form(), "EventList");
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
  }
  // Waits until the preview shows the event of `line` (1-based) and has painted it.
  bool WaitForLine(int line) {
    const bool shown =
        QTest::qWaitFor([&] { return Preview().Event() && Preview().Event()->Line == line; }, 5000);
    Preview().grab();
    return shown;
  }
};

TEST_F(WindowPreviewTest, SelectingALineDrawsItsTracesAndTheLastClickedLineIsFollowed) {
  const std::string data = PreviewCard().WriteTo(CardDir());
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  Form().show();
  EXPECT_TRUE(Lookout().Pane->isVisible());
  EXPECT_EQ(Preview().TraceCount(), 0);

  Click(1);
  ASSERT_TRUE(WaitForLine(2));
  EXPECT_EQ(Preview().TraceCount(), 6);
  EXPECT_EQ(Preview().Labels(), (QStringList{"1 Z", "2 N", "3 E", "4 Z", "5 N", "6 E"}));
  EXPECT_EQ(Preview().SeedIds().at(5), QStringLiteral("XX.047.01.EHE"));
  // The traces are the digest of the event's frames as they lie on the card.
  const TEventEntry& entry = Access().Card().Entries[1];
  TEventDigest digest(6, 12000);
  ASSERT_TRUE(ReadEventDigest(EventFramesOf(entry, data), digest).Complete());
  ASSERT_GT(Preview().ColumnWidth(), 100);
  ASSERT_EQ(Preview().ColumnsDrawn().size(), 6u);
  for (int c = 0; c < 6; ++c) {
    const auto want = digest.EnvelopeOf(c).Columns(Preview().ColumnWidth());
    const auto& got = Preview().ColumnsDrawn()[static_cast<size_t>(c)];
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].Min, want[i].Min) << c << " " << i;
      ASSERT_EQ(got[i].Max, want[i].Max) << c << " " << i;
    }
    EXPECT_EQ(Preview().Event()->Traces[static_cast<size_t>(c)].Figures.Rms,
              digest.FiguresOf(c).Rms);
  }

  // Several lines selected: the line clicked last is shown, the selection stays.
  Click(0, Qt::ControlModifier);
  ASSERT_TRUE(WaitForLine(1));
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->selectedItems().size(), 2);
  EXPECT_EQ(Preview().TraceCount(), 3);

  // An event cut short: what was read, and the rest flagged as a gap.
  Click(2);
  ASSERT_TRUE(WaitForLine(3));
  EXPECT_EQ(Preview().Event()->FramesRead, 1500);
  EXPECT_LT(Preview().GapColumn(), Preview().ColumnWidth());
  EXPECT_TRUE(Preview().Event()->Flags.join(";").contains("cut short"));

  // Resizing redraws from the envelopes.
  const int before = Preview().ColumnWidth();
  Form().resize(Form().width() + 200, Form().height());
  QApplication::processEvents();
  Preview().grab();
  EXPECT_NE(Preview().ColumnWidth(), before);
  EXPECT_EQ(Preview().ColumnsDrawn()[0].size(), static_cast<size_t>(Preview().ColumnWidth()));

  // A refresh empties the list and the preview.
  Form().ButtonRefreshClick();
  EXPECT_EQ(Preview().TraceCount(), 0);
}

TEST_F(WindowPreviewTest, CorruptEventsPreviewWhatCanBeReadAndAreFlagged) {
  TCardBuilder card;
  TBuiltEvent rateZero = SmallEvent("DEB", "3,12", "001");
  rateZero.RateDuration = "0,5";
  card.Events.push_back(rateZero);
  TBuiltEvent tooMany = SmallEvent("DEB", "30,12", "002");  // no recorder has 30 channels
  tooMany.RateDuration = "10,1";
  card.Events.push_back(tooMany);
  TBuiltEvent garbage = SmallEvent("DEB", "18,12", "003");
  garbage.RateDuration = "10,1";
  garbage.UseRawSamples = true;
  for (int i = 0; i < 600 * 54; ++i) garbage.RawSamples += static_cast<char>((i * 7919) >> 3);
  card.Events.push_back(garbage);
  card.WriteTo(CardDir());
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  ASSERT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);
  const char* flags[] = {"no sample rate", "no channels", ""};
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    Child<QListWidget>(Form(), "EventList")->setCurrentRow(row);
    ASSERT_TRUE(WaitForLine(row + 1));
    EXPECT_TRUE(Preview().Event()->Flags.join(";").contains(QString::fromLatin1(flags[row])));
  }
  EXPECT_EQ(Preview().TraceCount(), 18);
  EXPECT_EQ(Preview().Event()->FramesRead, 600);
  EXPECT_TRUE(Access().Card().CardValid);
}

TEST_F(WindowPreviewTest, VisibilityIsKeptBesideTheSettingsFileWhichKeepsItsSevenLines) {
  PreviewCard().WriteTo(CardDir());
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  Form().show();
  const int wide = Form().width();
  Lookout().ButtonPreview->click();
  EXPECT_FALSE(Lookout().Pane->isVisible());
  EXPECT_LT(Form().width(), wide - 200);
  // Hidden, the pane reads nothing.
  Click(1);
  QTest::qWait(100);
  EXPECT_FALSE(Lookout().Loader->Busy());
  Form().ButtonQuitClick();
  Program.reset();
  const std::string ini = testing_support::ReadWholeFile(IniPath());
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 7);
  EXPECT_NE(testing_support::ReadWholeFile(ProgramDir + "/readtarq-view.ini").find("false"),
            std::string::npos);

  ASSERT_TRUE(Start());
  Form().show();
  EXPECT_FALSE(Lookout().Pane->isVisible());
  EXPECT_FALSE(Lookout().ButtonPreview->isChecked());
  Lookout().ButtonPreview->click();
  EXPECT_TRUE(Lookout().Pane->isVisible());
}

TEST_F(WindowPreviewTest, ReportWritesTheSelectedEventsIntoTheDestination) {
  PreviewCard().WriteTo(CardDir());
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  // Its access key (Alt+P) is the window's only P (all keys: StationCodesTest).
  EXPECT_EQ(Lookout().ButtonReport->text(), QStringLiteral("Re&port..."));

  Lookout().ButtonReportClick();
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Text, "No event selected");

  std::filesystem::create_directories(Out());
  Child<QListWidget>(Form(), "EventList")->item(0)->setSelected(true);
  Child<QListWidget>(Form(), "EventList")->item(2)->setSelected(true);
  QString shown;
  WhenModal([&](QWidget* box) {
    shown = static_cast<QMessageBox*>(box)->text();
    box->close();
  });
  Lookout().ButtonReportClick();
  EXPECT_TRUE(shown.contains(QString::fromStdString(Out() + "/report.html")))
      << shown.toStdString();
  const std::string json = testing_support::ReadWholeFile(Out() + "/report.json");
  EXPECT_NE(json.find("\"05121030.001\""), std::string::npos);
  EXPECT_EQ(json.find("\"05121030.002\""), std::string::npos);
  EXPECT_NE(json.find("\"05121030.003\""), std::string::npos);

  // The codes of the Station codes dialog name the channels; a second report keeps the first.
  EXPECT_NE(json.find("\"XX.012.00."), std::string::npos);
  Access().Settings().Network = "Z3";
  WhenModal([](QWidget* box) { box->close(); });
  Lookout().ButtonReportClick();
  EXPECT_EQ(Lookout().LastReport(), QString::fromStdString(Out() + "/report_a.html"));
  EXPECT_NE(testing_support::ReadWholeFile(Out() + "/report_a.json").find("\"Z3.012.00."),
            std::string::npos);
  // A station sheet that cannot be read: said, and no report.
  Access().Settings().StationSheet = Root / "missing.csv";
  Lookout().ButtonReportClick();
  ASSERT_EQ(Boxes.Boxes.size(), 2u);
  EXPECT_EQ(Boxes.Boxes[1].Kind, "error");
  EXPECT_FALSE(std::filesystem::exists(Out() + "/report_b.json"));
}

TEST_F(WindowPreviewTest, ACardPutInIsShownWhenTheDriveInUseHoldsNone) {
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  EXPECT_FALSE(Access().Card().CardValid);
  // Nothing changed: nothing happens.
  Lookout().MountsChanged();
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), 'e');

  PreviewCard().WriteTo(MapDrive('f', 64'000'000, 1'000'000));
  Lookout().MountsChanged();
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), 'f');
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->currentText().left(2), QStringLiteral("f:"));
  EXPECT_TRUE(Access().Card().CardValid);
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 3);

  // Another card: the one in use stays, in its restore mode; the list shows the new drive.
  Access().Card().RestoreMode = true;
  PreviewCard().WriteTo(MapDrive('g', 64'000'000, 1'000'000));
  Lookout().MountsChanged();
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), 'f');
  EXPECT_TRUE(Access().Card().RestoreMode);
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->count(), 4);

  // The card in use taken out: as a refresh, the drive the settings named and its status.
  Drives->Unmap('f');
  Lookout().MountsChanged();
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->count(), 3);
  EXPECT_EQ(Child<TDriveComboBox>(Form(), "DriveBox")->Drive(), 'e');
  EXPECT_EQ(Form().StatusText(), "Invalid or missing flash card");
  // Nothing was written on any card, and no box was shown.
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(WindowPreviewTest, ACardGoneDuringAPreviewShowsTheCardError) {
  PreviewCard().WriteTo(CardDir());
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  std::filesystem::remove(CardDir() + "/fichbase.dat");
  Child<QListWidget>(Form(), "EventList")->setCurrentRow(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Access().Card().CardValid; }, 5000));
  EXPECT_EQ(Form().StatusText(), "Invalid or missing flash card");
  EXPECT_EQ(Child<QListWidget>(Form(), "EventList")->count(), 0);
  EXPECT_EQ(Preview().TraceCount(), 0);
}

}  // namespace
