// Several cards into one SDS archive: concurrency, the summary's counts, overlaps, gaps and a
// failing card.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include "download/Ingest.h"
#include "seed/SeedTime.h"
#include "support/CardBuilder.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

constexpr int64_t Second = 1'000'000;

// An event of station `serial`, 3 channels at 125 Hz for a minute, started at hh:mm:ss.mmm of
// 12 May.
TBuiltEvent EventAt(const std::string& serial, const std::string& hhmm, const std::string& ssmmm,
                    const std::string& number) {
  TBuiltEvent event;
  event.Channels = "3," + serial;
  event.FileStem = "0512" + hhmm;
  event.StartSecond = ssmmm;
  event.FileNumber = number;
  return event;
}

struct TCardOnDrive {
  explicit TCardOnDrive(char letter) : Drive(letter) { Card.Root = Drive.Root(); }
  testing_support::TCardDrive Drive;
  testing_support::TScriptedMessages Messages;
  TTarqCard Card{Messages, *Drive.Drives};
};

class Ingest : public ::testing::Test {
 public:
  TIngestSummary Run(const std::vector<TCardBuilder>& built, int jobs,
                     const std::string& archive = "", TSaveRecorder* recorder = nullptr) {
    cards.clear();
    std::vector<TTarqCard*> held;
    std::vector<std::string> names;
    for (size_t i = 0; i < built.size(); ++i) {
      cards.push_back(std::make_unique<TCardOnDrive>(static_cast<char>('e' + i)));
      if (!built[i].Events.empty()) cards.back()->Drive.Write(built[i]);
      held.push_back(&cards.back()->Card);
      names.push_back(std::string("card") + static_cast<char>('A' + i));
    }
    TIngestOptions options;
    options.Archive = archive.empty() ? Archive.Path() : archive;
    options.Jobs = jobs;
    options.Recorder = recorder;
    options.Stop = &Stop;
    return IngestCards(held, names, options, *Progress);
  }

  testing_support::TTempDir Archive;
  std::vector<std::unique_ptr<TCardOnDrive>> cards;
  std::atomic<bool> Stop{false};
  TIngestProgress Quiet;
  TIngestProgress* Progress = &Quiet;
};

int64_t TimeOfDay(int64_t microseconds) { return microseconds % seed::MicrosecondsPerDay; }

TEST_F(Ingest, CardsOfOneStationAtOnceFileEveryEventOnceAndReportTheOverlapAndGaps) {
  // Station 12: card A 10:30 and 10:40, card B 10:40:59.5 (overlapping A's second event by
  // half a second, with other samples) and 11:00; station 13 on card C.
  TCardBuilder a, b, c;
  a.Events = {EventAt("12", "1030", "00000", "001"), EventAt("12", "1040", "00000", "002")};
  b.Events = {EventAt("12", "1040", "59500", "003"), EventAt("12", "1100", "00000", "004")};
  c.Events = {EventAt("13", "1030", "00000", "001")};
  for (int jobs : {1, 3}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    const std::string archive = Archive / ("jobs" + std::to_string(jobs));
    const TIngestSummary first = Run({a, b, c}, jobs, archive);
    ASSERT_TRUE(first.AllSaved());
    ASSERT_EQ(first.Cards.size(), 3u);
    EXPECT_EQ(first.Cards[0].Ingested + first.Cards[1].Ingested + first.Cards[2].Ingested, 5);
    EXPECT_EQ(first.Cards[2].Channels.size(), 3u);
    EXPECT_GT(first.Cards[0].Bytes, 0);

    // The overlap is told for each channel, whichever card came second.
    std::vector<TIngestOverlap> overlaps;
    for (const TCardIngest& card : first.Cards) {
      overlaps.insert(overlaps.end(), card.Overlaps.begin(), card.Overlaps.end());
    }
    ASSERT_EQ(overlaps.size(), 3u);
    for (const TIngestOverlap& overlap : overlaps) {
      EXPECT_EQ(overlap.Channel.substr(0, 6), "XX.012") << overlap.Channel;
      EXPECT_GT(overlap.Seconds, 0);
      EXPECT_LE(overlap.Seconds, 60);
      EXPECT_GE(TimeOfDay(overlap.Start), (10 * 3600 + 40 * 60) * Second);
      EXPECT_LE(TimeOfDay(overlap.Start), (10 * 3600 + 41 * 60) * Second);
    }

    // Gaps of station 12 only: 10:31-10:40 and 10:41:59.5-11:00; none inside the overlap.
    ASSERT_EQ(first.Gaps.size(), 2u);
    EXPECT_EQ(first.Gaps[0].Station, "XX.012");
    EXPECT_EQ(TimeOfDay(first.Gaps[0].Start), (10 * 3600 + 31 * 60) * Second);
    EXPECT_DOUBLE_EQ(first.Gaps[0].Seconds, 9 * 60);
    EXPECT_EQ(TimeOfDay(first.Gaps[1].Start), (10 * 3600 + 41 * 60 + 59) * Second + Second / 2);
    EXPECT_DOUBLE_EQ(first.Gaps[1].Seconds, 18 * 60 + 0.5);

    // Again: everything is in the archive already, nothing is written.
    const TIngestSummary again = Run({a, b, c}, jobs, archive);
    ASSERT_TRUE(again.AllSaved());
    for (const TCardIngest& card : again.Cards) {
      EXPECT_EQ(card.Ingested, 0);
      EXPECT_EQ(card.Skipped, card.Events);
      EXPECT_TRUE(card.Overlaps.empty());
    }
  }
}

TEST_F(Ingest, ACardThatIsNoCardStopsAloneAndTheSummarySaysSo) {
  TCardBuilder good, empty;
  good.Events = {EventAt("12", "1030", "00000", "001")};
  const TIngestSummary summary = Run({empty, good}, 2);
  EXPECT_FALSE(summary.AllSaved());
  EXPECT_FALSE(summary.Cards[0].Error.empty());
  EXPECT_TRUE(summary.Cards[1].Saved());
  EXPECT_EQ(summary.Cards[1].Ingested, 1);
  const std::string text = IngestText(summary);
  EXPECT_NE(text.find("cardA: 0 events ingested"), std::string::npos) << text;
  EXPECT_NE(text.find("  stopped: "), std::string::npos) << text;
}

// Keeps what the runs record.
class TKeptRecords : public TSaveRecorder {
 public:
  std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) override {
    Events.push_back(event);
    return std::nullopt;
  }
  std::vector<TSavedEvent> Events;
};

// An event's records in the archive are its saved copy: recorded with their hashes, also for an
// event filed before records already there (written only at the run's end), and found intact.
TEST_F(Ingest, EveryFiledEventIsRecordedWithItsArchivedRecordsOnceTheyAreOnTheMedium) {
  TCardBuilder later, earlier;
  later.Events = {EventAt("12", "1040", "00000", "001")};
  earlier.Events = {EventAt("12", "1030", "00000", "002"), EventAt("12", "1050", "00000", "003")};
  TKeptRecords kept;
  ASSERT_TRUE(Run({later, earlier}, 1, "", &kept).AllSaved());
  ASSERT_EQ(kept.Events.size(), 3u);
  TDayFileReader reader;
  for (const TSavedEvent& event : kept.Events) {
    SCOPED_TRACE(event.OriginalFileName);
    EXPECT_TRUE(event.Files.empty());
    ASSERT_EQ(event.Channels.size(), 3u);
    for (const TArchivedChannel& channel : event.Channels) {
      EXPECT_EQ(channel.Root, Archive.Path());
      EXPECT_FALSE(channel.RecordStarts.empty());
      EXPECT_EQ(reader.Check(channel).State, TFileState::Intact) << channel.Path();
    }
  }
}

// Records already in the archive, as a run killed before it recorded them leaves them, are the
// event's copy there: a later ingest records them (with those it writes beside them) and the
// summary counts no channel or day file for them.
TEST_F(Ingest, RecordsAlreadyInTheArchiveAreRecordedAsTheEventsCopy) {
  TCardBuilder card;
  card.Events = {EventAt("12", "2359", "30000", "001")};  // over midnight: two day files each
  struct TCase {
    const char* Title;
    bool SecondDayGone;
    size_t Channels;  // counted in the summary
  };
  for (const TCase c : {TCase{"all there", false, 0}, TCase{"the second day gone", true, 3}}) {
    SCOPED_TRACE(c.Title);
    const std::string archive = Archive / (c.SecondDayGone ? "gone" : "all");
    ASSERT_TRUE(Run({card}, 1, archive).AllSaved());
    if (c.SecondDayGone) {
      std::vector<std::string> files;  // the day of the year last
      for (const auto& entry : std::filesystem::recursive_directory_iterator(archive)) {
        if (entry.is_regular_file()) files.push_back(entry.path().string());
      }
      std::string last;
      for (const std::string& file : files) last = std::max(last, file.substr(file.size() - 3));
      for (const std::string& file : files) {
        if (file.ends_with(last)) std::filesystem::remove(file);
      }
    }
    TKeptRecords kept;
    const TIngestSummary again = Run({card}, 1, archive, &kept);
    ASSERT_TRUE(again.AllSaved());
    EXPECT_EQ(again.Cards[0].Channels.size(), c.Channels);
    ASSERT_EQ(kept.Events.size(), 1u);
    ASSERT_EQ(kept.Events[0].Channels.size(), 6u);
    TDayFileReader reader;
    for (const TArchivedChannel& channel : kept.Events[0].Channels) {
      EXPECT_EQ(reader.Check(channel).State, TFileState::Intact) << channel.Path();
    }
  }
}

// A stop asked for while the first event converts: that event and the ones after it are not
// saved, the card says why, and the archive holds nothing of them.
TEST_F(Ingest, AStopLeavesTheEventInHandAndTheRestUnsaved) {
  struct TStopAtOnce : TIngestProgress {
    explicit TStopAtOnce(std::atomic<bool>& stop) : Stop(stop) {}
    void CardProgress(size_t, const std::string&, int) override { Stop = true; }
    std::atomic<bool>& Stop;
  } stopper(Stop);
  Progress = &stopper;
  TCardBuilder card;
  card.Events = {EventAt("12", "1030", "00000", "001"), EventAt("12", "1040", "00000", "002")};
  const TIngestSummary summary = Run({card}, 1);
  ASSERT_FALSE(summary.AllSaved());
  EXPECT_EQ(summary.Cards[0].Error, "stopped by the user");
  EXPECT_EQ(summary.Cards[0].NotSaved.size(), 2u);
  EXPECT_EQ(summary.Cards[0].Ingested, 0);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Archive.Path())) {
    EXPECT_FALSE(entry.is_regular_file() && entry.path().filename().string()[0] != '.')
        << entry.path();
  }
}

TEST(IngestGaps, AJumpOfMoreThanOneAndAHalfSamplePeriodsIsAGap) {
  struct TCase {
    std::string Title;
    std::vector<TEventSpan> Spans;
    size_t Gaps;
  };
  const int64_t t = 1'000 * Second;
  const TCase cases[] = {
      {"back to back", {{"S", t, t + 10 * Second, 100}, {"S", t + 10 * Second, t + 20 * Second, 100}}, 0},
      {"1.4 periods late", {{"S", t, t + Second, 100}, {"S", t + Second + 14'000, t + 2 * Second, 100}}, 0},
      {"1.6 periods late", {{"S", t, t + Second, 100}, {"S", t + Second + 16'000, t + 2 * Second, 100}}, 1},
      {"overlapping, then later", {{"S", t, t + 10 * Second, 100}, {"S", t + 5 * Second, t + 8 * Second, 100}, {"S", t + 10 * Second, t + 11 * Second, 100}}, 0},
      {"two stations apart", {{"A", t, t + Second, 100}, {"B", t + 5 * Second, t + 6 * Second, 100}}, 0},
      {"out of order", {{"S", t + 5 * Second, t + 6 * Second, 100}, {"S", t, t + Second, 100}}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    EXPECT_EQ(GapsBetween(c.Spans).size(), c.Gaps);
  }
}

}  // namespace
