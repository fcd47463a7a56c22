// The window's ingest: the card in hand filed into an SDS archive chosen by the user, the
// summary box, the saved marks, and a second ingest finding everything there.

#include <gtest/gtest.h>

#include <QListWidget>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "UiFixture.h"

using testing_support::ReadWholeFile;
using ui_test::CardWithData;
using ui_test::Child;
using ui_test::TUiTest;

namespace {

class IngestTest : public TUiTest {
 public:
  testing_support::TScopedDataHome Home;  // a ledger of the test's own
  std::string Archive() const { return Root / "archive"; }

  // Presses Ingest card and answers the summary box, which comes after the progress dialog;
  // returns its text.
  std::string IngestAndReadSummary() {
    std::string text;
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, &text] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box || box->objectName() != QStringLiteral("IngestSummary")) return;
      timer->stop();
      timer->deleteLater();
      text = Child<QLabel>(*box, "LabelSummary")->text().toStdString();
      Child<QPushButton>(*box, "ButtonOk")->click();
    });
    timer->start();
    Child<QPushButton>(Form(), "ButtonIngest")->click();
    return text;
  }

  // Three events one after another: the archive takes each one's records.
  static testing_support::TCardBuilder SuccessiveEvents() {
    testing_support::TCardBuilder card = CardWithData();
    for (size_t i = 0; i < card.Events.size(); ++i) {
      card.Events[i].FileStem = "0512103" + std::to_string(i + 1);
    }
    return card;
  }

  int DayFiles() const {
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Archive()))
      files += entry.is_regular_file() && entry.path().filename().string()[0] != '.';
    return files;
  }
};

TEST_F(IngestTest, TheCardGoesIntoTheArchiveOnceAndItsLinesAreMarkedSaved) {
  SuccessiveEvents().WriteTo(CardDir());
  WriteSettings(Root / "out");
  const std::string settings = ReadWholeFile(IniPath());
  ASSERT_TRUE(Start());
  QPushButton* button = Child<QPushButton>(Form(), "ButtonIngest");
  EXPECT_EQ(button->text(), "I&ngest card...");
  EXPECT_TRUE(button->isEnabled());
  std::vector<QString> starts;
  Form().AskIngestArchive = [&](const QString& start) {
    starts.push_back(start);
    return QString::fromStdString(Archive());
  };

  const std::string first = IngestAndReadSummary();
  EXPECT_TRUE(Boxes.Boxes.empty());
  EXPECT_NE(first.find(": 3 events ingested, 0 already in the archive;"), std::string::npos)
      << first;
  EXPECT_NE(first.find("Total: 1 card, 3 events ingested, 0 already in the archive, 0 not saved"),
            std::string::npos)
      << first;
  EXPECT_GT(DayFiles(), 0);
  // Saved in the archive alone: every line is marked and names it.
  QListWidget* list = Child<QListWidget>(Form(), "EventList");
  ASSERT_EQ(list->count(), 3);
  for (int line = 0; line < list->count(); ++line) {
    EXPECT_NE(list->item(line)->toolTip().toStdString().find(Archive()), std::string::npos)
        << line << ": " << list->item(line)->toolTip().toStdString();
  }

  // The archive chosen is offered again, and nothing is filed twice.
  const std::string second = IngestAndReadSummary();
  EXPECT_NE(second.find(": 0 events ingested, 3 already in the archive;"), std::string::npos)
      << second;
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].toStdString(), Archive());

  Program->Finish();
  EXPECT_EQ(ReadWholeFile(IniPath()), settings);
  EXPECT_NE(ReadWholeFile(ProgramDir + "/readtarq-view.ini").find("IngestArchive="),
            std::string::npos);
}

TEST_F(IngestTest, ABadStationSheetStopsBeforeAnythingIsAskedOrWritten) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  testing_support::WriteWholeFile(Root / "bad.csv", "serial,latitude\n12,north\n");
  ASSERT_TRUE(Start());
  TReadTarqFormTestAccess(Form()).Settings().StationSheet = Root / "bad.csv";
  bool asked = false;
  Form().AskIngestArchive = [&](const QString&) {
    asked = true;
    return QString::fromStdString(Archive());
  };
  Child<QPushButton>(Form(), "ButtonIngest")->click();
  EXPECT_FALSE(asked);
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Kind, "error");
  EXPECT_EQ(Boxes.Boxes[0].Text,
            Root / "bad.csv" + " line 2, column latitude: not a number: 'north'");
  EXPECT_FALSE(std::filesystem::exists(Archive()));
}

}  // namespace
