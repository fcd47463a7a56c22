// The archive window: reached from the main window, starting at the destination and then at
// the archive opened last; the availability of a generated archive; a click on a channel-day
// shows its day plot and noise; a new click cancels the work of the one before; what cannot be
// read is named in the window.

#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>

#include "UiFixture.h"
#include "support/ArchiveBuilder.h"
#include "survey/SurveyTime.h"
#include "ui/ArchiveCharts.h"
#include "ui/ArchiveView.h"

namespace {

using testing_support::AddSegment;
using testing_support::UtcMicroseconds;
using ui_test::Child;
using ui_test::TUiTest;

constexpr int64_t Hour = 3600 * survey::Microseconds;
constexpr double Rate = 10;

std::vector<int32_t> Wobble(int64_t seconds, int32_t amplitude = 400) {
  std::vector<int32_t> samples(static_cast<size_t>(seconds * static_cast<int64_t>(Rate)));
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int32_t>((i * 7919 + i / 13 * 104729) % 997) - 498 +
                 (i % 50 < 25 ? amplitude : -amplitude);
  }
  return samples;
}

const int64_t Day1 = UtcMicroseconds(2026, 6, 14);
const int64_t Day2 = Day1 + survey::DayMicroseconds;

// HHN: day 1 from 01:00 to 03:00. HHZ: day 1 from 00:00 to 03:00, day 2 from 00:00 to 02:00
// and from 04:00 to 05:00.
void WriteArchive(const std::string& root) {
  AddSegment(root, "XX.STA1.00.HHN", Rate, Day1 + Hour, Wobble(7200));
  AddSegment(root, "XX.STA1.00.HHZ", Rate, Day1, Wobble(3 * 3600));
  AddSegment(root, "XX.STA1.00.HHZ", Rate, Day2, Wobble(2 * 3600));
  AddSegment(root, "XX.STA1.00.HHZ", Rate, Day2 + 4 * Hour, Wobble(3600));
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ArchiveViewTest : public TUiTest {
 public:
  std::string Archive() const { return Root / "archive"; }
  std::string Out() const { return Root / "out"; }

  // A view alone on the archive, shown, its availability read.
  std::unique_ptr<TArchiveView> OpenView(const std::string& root) {
    auto view = std::make_unique<TArchiveView>("");
    view->show();
    view->OpenArchive(QString::fromStdString(root));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !view->LabelStatus->text().startsWith("Reading"); }, 20000));
    return view;
  }
  void Click(TArchiveView& view, int channel, int64_t day) {
    const QRect cell = view.Chart->CellRect(channel, survey::DayOf(day));
    ASSERT_FALSE(cell.isEmpty());
    QTest::mouseClick(view.Chart, Qt::LeftButton, {}, cell.center());
  }
};

// The button's key is checked with the window's others (StationCodesTest).
TEST_F(ArchiveViewTest, TheButtonStartsAtTheDestinationThenAtTheArchiveOpenedLast) {
  WriteArchive(Archive());
  std::filesystem::create_directories(Out());
  WriteSettings(Out());
  ASSERT_TRUE(Start());
  auto* button = Child<QPushButton>(Form(), "ButtonArchive");

  // The directory dialog answered: where it starts, and the archive chosen.
  auto choose = [&](const std::string& chosen) {
    QString start;
    ui_test::WhenModal([&start, chosen](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog) return modal->close();
      start = dialog->directory().absolutePath();
      dialog->setDirectory(QString::fromStdString(chosen));
      QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
      return true;
    });
    button->click();
    return start.toStdString();
  };
  EXPECT_EQ(choose(Archive()), Out());
  ASSERT_NE(Access().ArchiveView(), nullptr);
  EXPECT_TRUE(Access().ArchiveView()->isVisible());
  EXPECT_EQ(Access().ArchiveView()->Root().toStdString(), Archive());
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return Access().ArchiveView()->Chart->Channels().size() == 2; }, 20000));
  // The archive opened last, in this run and in the next.
  EXPECT_EQ(choose(Archive()), Archive());
  Program.reset();
  ASSERT_TRUE(Start());
  button = Child<QPushButton>(Form(), "ButtonArchive");
  EXPECT_EQ(choose(Archive()), Archive());
}

TEST_F(ArchiveViewTest, TheViewFillsFromTheArchiveAndAClickShowsThatChannelDay) {
  WriteArchive(Archive());
  const auto view = OpenView(Archive());
  const std::vector<survey::TChannelAvailability>& channels = view->Chart->Channels();
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].Id, "XX.STA1.00.HHN");
  EXPECT_EQ(channels[1].Id, "XX.STA1.00.HHZ");
  EXPECT_EQ(view->Chart->Days().Count(), 2);
  EXPECT_EQ(channels[1].Gaps.size(), 2u);
  EXPECT_NEAR(channels[1].Days[1].Percent, 12.5, 0.01);
  EXPECT_FALSE(view->Problems->isVisible());
  EXPECT_EQ(view->DayPlot->Plot(), nullptr);

  Click(*view, 1, Day2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->DayPlot->Plot() != nullptr; }, 20000));
  const survey::THelicorder& plot = *view->DayPlot->Plot();
  EXPECT_EQ(plot.Id, "XX.STA1.00.HHZ");
  EXPECT_EQ(plot.Day, survey::DayOf(Day2));
  ASSERT_EQ(plot.Layout.Lines, 24);
  // Hours 00 and 01 have data, 02 and 03 are the gap, 04 has data again.
  auto hourFilled = [&](int line) {
    const auto first = static_cast<size_t>(line * plot.Columns);
    return std::count(plot.Filled.begin() + static_cast<std::ptrdiff_t>(first),
                      plot.Filled.begin() + static_cast<std::ptrdiff_t>(first) + plot.Columns,
                      true);
  };
  EXPECT_EQ(hourFilled(0), plot.Columns);
  EXPECT_EQ(hourFilled(1), plot.Columns);
  EXPECT_EQ(hourFilled(2), 0);
  EXPECT_EQ(hourFilled(4), plot.Columns);
  ASSERT_NE(view->NoisePlot->Noise(), nullptr);
  EXPECT_GT(view->NoisePlot->Noise()->WindowCount, 0);
  EXPECT_FALSE(view->NoisePlot->ModelsDrawn());
  view->grab();

  // With an inventory giving the channel's response the noise is ground acceleration, against
  // the noise models.
  const std::string inventory = Root / "inventory.xml";
  WriteFile(inventory,
            "<?xml version=\"1.0\"?><FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" "
            "schemaVersion=\"1.2\"><Source>test</Source><Created>2026-01-01T00:00:00Z</Created>"
            "<Network code=\"XX\"><Station code=\"STA1\"><Channel code=\"HHZ\" "
            "locationCode=\"00\"><Response><InstrumentSensitivity><Value>6e8</Value><Frequency>1"
            "</Frequency><InputUnits><Name>M/S</Name></InputUnits><OutputUnits><Name>COUNTS"
            "</Name></OutputUnits></InstrumentSensitivity></Response></Channel></Station>"
            "</Network></FDSNStationXML>");
  view->AskInventory = [&] { return QString::fromStdString(inventory); };
  view->ButtonInventory->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->NoisePlot->ModelsDrawn(); }, 20000));
  EXPECT_EQ(view->ChannelDaysShown(), 2);
  view->grab();
}

TEST_F(ArchiveViewTest, ASecondClickCancelsTheWorkOfTheFirst) {
  WriteArchive(Archive());
  const auto view = OpenView(Archive());
  ASSERT_EQ(view->Chart->Channels().size(), 2u);
  // The first channel-day's work is held as it begins until the second click has been made.
  std::promise<void> released;
  std::shared_future<void> release = released.get_future().share();
  std::atomic<int> started{0};
  view->JobStarting = [&started, release] {
    if (started.fetch_add(1) == 0) release.wait();
  };
  Click(*view, 1, Day1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load() == 1; }, 20000));
  Click(*view, 1, Day2);
  released.set_value();

  ASSERT_TRUE(QTest::qWaitFor([&] { return view->CancelledJobs() == 1; }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->DayPlot->Plot() != nullptr; }, 20000));
  EXPECT_EQ(view->DayPlot->Plot()->Day, survey::DayOf(Day2));
  EXPECT_EQ(view->ChannelDaysShown(), 1);
  EXPECT_EQ(started.load(), 2);
}

TEST_F(ArchiveViewTest, WhatCannotBeReadIsNamedAndTheRestShown) {
  WriteArchive(Archive());
  const std::string other = testing_support::DayFilePath(Archive(), "XX.STA1.00.HHE", Day1);
  WriteFile(other, "<html>not a record at all, but long enough to hold a header or two</html>");
  std::string records = testing_support::PackSegment("XX.STA2.00.HHZ", Rate, Day1, Wobble(600));
  records.replace(512 * 2, 512, std::string(512, 'Z'));
  const std::string corrupt = testing_support::DayFilePath(Archive(), "XX.STA2.00.HHZ", Day1);
  WriteFile(corrupt, records);

  const auto view = OpenView(Archive());
  EXPECT_EQ(view->Chart->Channels().size(), 3u);
  EXPECT_TRUE(view->Problems->isVisible());
  const std::string problems = view->Problems->toPlainText().toStdString();
  EXPECT_NE(problems.find(other + ": not a miniSEED file"), std::string::npos) << problems;
  EXPECT_NE(problems.find(corrupt + ": byte 1024"), std::string::npos) << problems;

  // An archive that cannot be read at all: said in the view.
  const auto missing = OpenView(Root / "nowhere");
  EXPECT_TRUE(missing->Chart->Channels().empty());
  EXPECT_NE(missing->Chart->Message().indexOf(QString::fromStdString(Root / "nowhere")), -1)
      << missing->Chart->Message().toStdString();
}

}  // namespace
