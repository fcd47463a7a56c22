#include <functional>

#include "card/CardFixture.h"

using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

class TRecordingView : public TDirectoryView {
 public:
  void BeginUpdate() override { ++Begins; }
  void SetCount(const std::string& text) override { Counts.push_back(text); }
  void AddLine(const std::string& line) override { Lines.push_back(line); }
  void EndUpdate() override { ++Ends; }
  int Begins = 0;
  int Ends = 0;
  std::vector<std::string> Counts;
  std::vector<std::string> Lines;
};

class CardDirectoryTest : public TCardFixture {
 public:
  // What the main window does on a refresh: probe, scan unless invalid or new, sizes, status.
  TCardStatus Refresh() {
    View = TRecordingView{};
    Card.ProbeCard();
    if (Card.CardValid && !Card.NewCard) Card.ScanDirectory(View);
    if (Card.CardValid) Sizes = Card.CardSizes();
    return Card.CardStatus();
  }
  TRecordingView View;
  std::pair<int64_t, int64_t> Sizes{-1, -1};
};

TCardBuilder ThreeEvents() {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  card.Events = {SmallEvent("DEB"), SmallEvent("DEB2", "6,13"), SmallEvent("DEB", "3,14")};
  card.Events[1].FileNumber = "002";
  card.Events[2].FileNumber = "003";
  return card;
}

TCardBuilder Erased(TCardBuilder card) {
  card.Label = TCardBuilder::NewCardLabel();
  for (TBuiltEvent& event : card.Events) event.Marker = event.IsFormat2() ? "ERASED2" : "ERASED";
  return card;
}

TEST_F(CardDirectoryTest, StatusOfEveryKindOfCard) {
  using TColour = TStatusColour;
  struct TCase {
    const char* Name;
    std::function<void(CardDirectoryTest&)> Prepare;
    std::string Text;
    TColour Colour;
    size_t Lines;
  };
  auto card = [](TCardBuilder built, int64_t tailZeros = 0, bool sector = true,
                 bool restore = false) {
    return [=](CardDirectoryTest& t) {
      TCardBuilder c = built;
      c.TailZeros = tailZeros;
      c.SectorFile = sector;
      t.Write(c);
      t.Card.RestoreMode = restore;
    };
  };
  TCardBuilder newCard;
  newCard.Label = TCardBuilder::NewCardLabel();
  newCard.TailZeros = 3000;
  const TCase cases[] = {
      {"with data", card(ThreeEvents(), 300), "Flash card with data", TColour::Green, 3},
      {"full", card(ThreeEvents()), "Flash card is full", TColour::Green, 3},
      {"tail shorter than a header", card(ThreeEvents(), 105), "Flash card is full", TColour::Green,
       3},
      {"tail of one header read", card(ThreeEvents(), 108), "Flash card is full", TColour::Green,
       3},
      {"tail longer than a header read", card(ThreeEvents(), 111), "Flash card with data",
       TColour::Green, 3},
      {"erased", card(Erased(ThreeEvents()), 300), "Erased flash card", TColour::WindowText, 0},
      {"restored", card(Erased(ThreeEvents()), 300, true, true), "Restored flash card",
       TColour::Green, 3},
      {"live card in restore reading", card(ThreeEvents(), 300, true, true), "Erased flash card",
       TColour::WindowText, 0},
      {"restored and full", card(Erased(ThreeEvents()), 0, true, true), "Flash card is full",
       TColour::Green, 3},
      {"empty", card(newCard), "Empty flash card", TColour::WindowText, 0},
      {"file with data", card(ThreeEvents(), 300, false), "Flash file with data", TColour::Green,
       3},
      {"file full", card(ThreeEvents(), 0, false), "Flash file is full", TColour::Green, 3},
      {"file erased", card(Erased(ThreeEvents()), 300, false), "Erased flash file",
       TColour::WindowText, 0},
      {"file restored", card(Erased(ThreeEvents()), 300, false, true), "Restored flash file",
       TColour::Green, 3},
      {"new label without sector file", card(newCard, 0, false), "Erased flash file",
       TColour::WindowText, 0},
      {"blank drive", [](CardDirectoryTest& t) { t.MapDrive(1'000'000, 1'000'000); },
       "Flash card not initialized", TColour::Red, 0},
      {"drive with a file on it",
       [](CardDirectoryTest& t) {
         platform::TMappedDriveTable::TMapping mapping{Letter, t.Dir.Path()};
         mapping.Capacity = 1'000'000;
         t.Drives->Map(mapping);
         WriteWholeFile(t.Dir / "notes.txt", "x");
       },
       "Invalid or missing flash card", TColour::Red, 0},
      {"drive whose size query fails", [](CardDirectoryTest& t) { t.MapDrive(-1, -1); },
       "Invalid or missing flash card", TColour::Red, 0},
      {"sector file without data file",
       [](CardDirectoryTest& t) {
         TCardBuilder c;
         t.Write(c);
         std::remove(t.DataPath().c_str());
         t.MapDrive(1'000'000, 1'000'000);
       },
       "Invalid or missing flash card", TColour::Red, 0},
      {"data file that cannot be opened for writing",
       [](CardDirectoryTest& t) {
         t.Write(ThreeEvents());
         platform::TFaultPlan plan;
         plan.PathContains = "fichbase.dat";
         plan.OpenErrorCode = platform::IoAccessDenied;
         platform::SetFaultPlan(plan);
       },
       "Invalid or missing flash card", TColour::Red, 0},
      {"bad signature",
       [](CardDirectoryTest& t) {
         TCardBuilder c = ThreeEvents();
         c.Signature = "TARQPRXYZ";
         t.Write(c);
       },
       "Invalid or missing flash card", TColour::Red, 0},
      {"first header cannot be skipped",
       [](CardDirectoryTest& t) {
         TCardBuilder c = ThreeEvents();
         c.Events[0].RateDuration = "99999,999";
         c.Events[0].Frames = 1;
         c.TailZeros = 300;
         t.Write(c);
       },
       "Erased flash card", TColour::WindowText, 0},
      {"drive not present", [](CardDirectoryTest& t) { t.Card.Root = t.Drives->RootOf('q'); },
       "Invalid or missing flash card", TColour::Red, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    platform::ClearFaultPlan();
    for (const std::string& name : testing_support::FilesIn(Dir.Path())) {
      std::remove((Dir / name).c_str());
    }
    Card.Root = Drive.Root();
    Card.RestoreMode = false;
    MapDrive(64'000'000, 32'000'000);
    c.Prepare(*this);
    const TCardStatus status = Refresh();
    EXPECT_EQ(status.Text, c.Text);
    EXPECT_EQ(status.Colour, c.Colour);
    EXPECT_EQ(View.Lines.size(), c.Lines);
    EXPECT_FALSE(Card.DataFile.IsOpen());
  }
}

TEST_F(CardDirectoryTest, ProbeTakesTheVersionAndTodaysDate) {
  Write(ThreeEvents());
  Card.ProbeCard();
  EXPECT_EQ(Card.EpromVersion, 410);
  EXPECT_EQ(Card.ProbeDate.Year, 2005);
  EXPECT_EQ(Card.ProbeDate.Month, 6);
  EXPECT_EQ(Card.ProbeDate.Day, 20);
}

TEST_F(CardDirectoryTest, ScanListsOneLinePerEventAndCountsThem) {
  TCardBuilder card = ThreeEvents();
  card.TailZeros = 300;
  Write(card);
  Refresh();
  EXPECT_EQ(View.Begins, 1);
  EXPECT_EQ(View.Ends, 1);
  EXPECT_EQ(View.Counts, (std::vector<std::string>{"1", "2", "3"}));
  ASSERT_EQ(View.Lines.size(), 3u);
  EXPECT_EQ(View.Lines[1],
            "05121030.002     1 Hz     1 mn   Gain:   1   Station: 13   Channels: 6");
  EXPECT_EQ(Card.EventCount, 3);
  EXPECT_FALSE(Card.NoEvents);
  const int64_t end = card.DataFileSize() - 300;
  EXPECT_EQ(Card.UsedRecords * 3, end + 108);
  EXPECT_EQ(Sizes, std::make_pair(end + 108, card.DataFileSize()));
  EXPECT_FALSE(Card.CardFull);
}

TEST_F(CardDirectoryTest, ScanKeepsEachEventsHeaderAndWhereItsFramesAre) {
  TCardBuilder card = ThreeEvents();
  card.Events[2].Frames = 10;  // cut short: the file ends after its tenth frame
  card.Events[2].OmitTrailer = true;
  Write(card);
  const TCardSummary summary = Card.ReadSummary(&View);
  ASSERT_EQ(Card.Entries.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TEventEntry& entry = Card.Entries[i];
    EXPECT_EQ(entry.Line, static_cast<int32_t>(i + 1));
    EXPECT_EQ(entry.HeaderOffset, card.EventOffset(i));
    EXPECT_EQ(entry.DataOffset,
              card.EventOffset(i) + static_cast<int64_t>(card.Events[i].HeaderBytes().size()));
    EXPECT_EQ(EventLine(entry), View.Lines[i]);
  }
  EXPECT_EQ(Card.Entries[1].Header.ChannelCount, 6);
  EXPECT_EQ(Card.Entries[1].Header.Marker, "DEB2");
  EXPECT_EQ(Card.Entries[1].Header.HeaderImage[108], '4');  // field 13 of the format-2 header

  // Frames as stored, cut at the end of the event and at the end of the file.
  struct TCase {
    size_t Event;
    int64_t First, Count, Read;
  };
  for (const TCase& c :
       {TCase{1, 0, 2, 2}, TCase{1, 57, 5, 3}, TCase{0, 60, 1, 0}, TCase{2, 4, 20, 6}}) {
    SCOPED_TRACE(std::to_string(c.Event) + ": " + std::to_string(c.First));
    const TEventEntry& entry = Card.Entries[c.Event];
    std::vector<uint8_t> frames(static_cast<size_t>(c.Count * entry.FrameBytes()), 0xEE);
    ASSERT_EQ(Card.ReadEventFrames(entry, c.First, c.Count, frames.data()), c.Read);
    std::string expected;
    for (int64_t k = c.First; k < c.First + c.Read; ++k) {
      for (int ch = 0; ch < entry.Header.ChannelCount; ++ch) {
        expected += testing_support::SampleBytes(testing_support::GeneratedSample(k, ch));
      }
    }
    EXPECT_EQ(
        std::string(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(expected.size())),
        expected);
    EXPECT_FALSE(Card.DataFile.IsOpen());
  }

  // The summary is what the window's infos and the tool's status show.
  EXPECT_TRUE(summary.Scanned);
  EXPECT_TRUE(summary.Valid);
  EXPECT_EQ(summary.Status.Text, "Flash card is full");
  EXPECT_EQ(summary.CountText(), "3");
  EXPECT_EQ(summary.UsedBytes, card.DataFileSize());
  EXPECT_EQ(summary.TotalBytes, card.DataFileSize());
  EXPECT_EQ(summary.EpromVersion, 410);

  Card.Root.clear();
  const TCardSummary none = Card.ReadSummary();
  EXPECT_FALSE(none.Scanned);
  EXPECT_EQ(none.Status.Text, "Invalid or missing flash card");
  EXPECT_TRUE(Card.Entries.empty());
}

TEST_F(CardDirectoryTest, EventLineColumns) {
  const struct {
    std::string Channels, RateDuration, Gain, Name, Line;
  } cases[] = {
      {"3,12", "125,60", "1", "05121030.001",
       "05121030.001   125 Hz    60 mn   Gain:   1   Station: 12   Channels: 3"},
      {"12,1234", "1000,1", "16", "05121030.001",
       "05121030.001   1000 Hz     1 mn   Gain:  16   Station:1234   Channels:12"},
      {"3,5", "60", "12345", "05121030.001",
       "05121030.001     0 Hz    60 mn   Gain:12345   Station:  5   Channels: 3"},
      {"-1,-2", "-5,1", "-3", "05121030.001",
       "05121030.001    -5 Hz     1 mn   Gain:  -3   Station: -2   Channels:-1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Line);
    Card.Event.ChannelCount = 0;
    TCardBuilder card;
    TBuiltEvent event;
    event.Channels = c.Channels;
    event.RateDuration = c.RateDuration;
    event.Gain = c.Gain;
    event.SparseSamples = true;
    event.ChannelCount = 1;
    event.Frames = 0;
    card.Events = {event};
    Write(card);
    ASSERT_TRUE(Card.OpenDataFile());
    TCardWalkAccess::ReadSignature(Card);
    TCardWalkAccess::ReadEventHeader(Card, false);
    Card.CloseDataFile();
    EXPECT_EQ(Card.EventLine(), c.Line);
  }
  EXPECT_EQ(
      std::string("05121030.001   125 Hz    60 mn   Gain:   1   Station: 12   Channels: 3").size(),
      70u);
}

TEST_F(CardDirectoryTest, CountShowsItsFirstFourDigits) {
  TCardBuilder card;
  TBuiltEvent event = SmallEvent();
  event.RateDuration = "0,1";
  card.Events.assign(10000, event);
  Write(card);
  Refresh();
  ASSERT_EQ(View.Counts.size(), 10000u);
  EXPECT_EQ(View.Counts[9998], "9999");
  EXPECT_EQ(View.Counts[9999], "1000");
  EXPECT_EQ(Card.EventCount, 10000);
  EXPECT_EQ(EventCountText(123456), "1234");
}

TEST_F(CardDirectoryTest, HeaderCutAfterItsMarkerListsNothingButIsNotEmpty) {
  TCardBuilder card;
  card.Events = {SmallEvent()};
  WriteWholeFile(DataPath(), card.DataFileBytes().substr(0, 9 + 108 + 4));
  WriteWholeFile(SectorPath(), card.SectorFileBytes());
  const TCardStatus status = Refresh();
  EXPECT_TRUE(View.Lines.empty());
  EXPECT_FALSE(Card.NoEvents);
  EXPECT_EQ(status.Text, "Flash card is full");
  EXPECT_EQ(Sizes, std::make_pair(int64_t{120}, int64_t{120}));
}

TEST_F(CardDirectoryTest, LastEventCutInItsSamplesUsesTheWholeFile) {
  TCardBuilder card;
  TBuiltEvent cut = SmallEvent();
  cut.UseRawSamples = true;
  cut.RawSamples = std::string(30, '\2');
  cut.OmitTrailer = true;
  card.Events = {SmallEvent(), cut};
  Write(card);
  EXPECT_EQ(Refresh().Text, "Flash card is full");
  EXPECT_EQ(View.Lines.size(), 2u);
  EXPECT_EQ(Sizes.first, Sizes.second);
}

TEST_F(CardDirectoryTest, NewCardIsNotScannedAndUsesNothing) {
  Write(ThreeEvents());
  Refresh();
  TCardBuilder fresh;
  fresh.Label = TCardBuilder::NewCardLabel();
  fresh.TailZeros = 999;
  Write(fresh);
  EXPECT_EQ(Refresh().Text, "Empty flash card");
  EXPECT_EQ(View.Begins, 0);
  EXPECT_EQ(Sizes, std::make_pair(int64_t{0}, int64_t{1008}));
}

TEST_F(CardDirectoryTest, SizeTexts) {
  EXPECT_EQ(UsedSizeText(1'250'000, 10'000'000), " 1 250 000 (12.5%)");
  EXPECT_EQ(UsedSizeText(0, 0), " 0 (0%)");
  EXPECT_EQ(UsedSizeText(57, 57), " 57 (100%)");
  EXPECT_EQ(UsedSizeText(1, 3), " 1 (33.3%)");
  EXPECT_EQ(UsedSizeText(0, 100), " 0 (0.0%)");
  EXPECT_EQ(UsedSizeText(9999, 10000), " 9999 (100.0%)");
  EXPECT_EQ(UsedSizeText(3'000'000'000, 3'000'000'000), " 3 000 000 000 (100%)");
  EXPECT_EQ(TotalSizeText(10'000'000), " 10 000 000");
  EXPECT_EQ(EpromVersionText(0), "");
  EXPECT_EQ(EpromVersionText(-1), "");
  EXPECT_EQ(EpromVersionText(410), "0410");
  EXPECT_EQ(EpromVersionText(28), "0028");
  EXPECT_EQ(EpromVersionText(2345), "2345");
}

TEST_F(CardDirectoryTest, ShortSectorFileRaisesReadBeyondEndAndLeavesNothingOpen) {
  TCardBuilder card = ThreeEvents();
  card.SectorBytes = std::string("CARTE FLASH NEUVE       0000", 28);
  Write(card);
  try {
    Card.ProbeCard();
    FAIL() << "no error";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.Code(), platform::IoReadBeyondEnd);
    EXPECT_EQ(platform::IoErrorText(e.Code()), "Lecture au-delà de la fin de fichier.");
  }
  EXPECT_FALSE(Card.DataFile.IsOpen());
}

TEST_F(CardDirectoryTest, ReadingNeverWritesTheCard) {
  for (const TCardBuilder& card : {ThreeEvents(), Erased(ThreeEvents())}) {
    Write(card);
    const std::string data = ReadWholeFile(DataPath());
    const std::string sector = ReadWholeFile(SectorPath());
    for (bool restore : {false, true}) {
      Card.RestoreMode = restore;
      Refresh();
    }
    EXPECT_EQ(ReadWholeFile(DataPath()), data);
    EXPECT_EQ(ReadWholeFile(SectorPath()), sector);
  }
}

TEST_F(CardDirectoryTest, FailingReadsEndTheListQuietly) {
  TCardBuilder card = ThreeEvents();
  card.TailZeros = 300;
  Write(card);
  platform::TFaultPlan plan;
  plan.PathContains = "fichbase.dat";
  // Signature, the first header, its trailer, then part of the second header.
  plan.ReadBytesLeft = 9 + 117 + 9 + 20;
  platform::SetFaultPlan(plan);
  Card.ProbeCard();
  platform::SetFaultPlan(plan);
  TRecordingView view;
  Card.ScanDirectory(view);
  EXPECT_EQ(view.Lines.size(), 1u);
  EXPECT_FALSE(Card.DataFile.IsOpen());
}

TEST_F(CardDirectoryTest, FailingSeekRaisesAndClosesTheDataFile) {
  Write(ThreeEvents());
  platform::TFaultPlan plan;
  plan.PathContains = "fichbase.dat";
  plan.SeeksLeft = 2;  // the signature and the first skip
  platform::SetFaultPlan(plan);
  TRecordingView view;
  EXPECT_THROW(Card.ScanDirectory(view), platform::EInOutError);
  EXPECT_FALSE(Card.DataFile.IsOpen());
  EXPECT_EQ(view.Ends, 1);
  EXPECT_EQ(view.Lines.size(), 2u);
}

}  // namespace
