// Reading an event's frames off a card file into its digest: whole, cut short, cancelled, on a
// card that cannot be written and on a card that is gone; and the SEED codes of channels.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "quality/CardReport.h"
#include "quality/EventDigestRead.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// Event 2 of a card: 4 channels at 50 Hz for 2 minutes (6000 frames) behind a small event.
TCardBuilder TwoEventCard() {
  TCardBuilder card;
  card.Events.push_back(TBuiltEvent{});
  TBuiltEvent second;
  second.Channels = "4,47";
  second.RateDuration = "50,2";
  card.Events.push_back(second);
  return card;
}

TEventFrames SecondEvent(const TCardBuilder& card, const std::string& path) {
  const int64_t header = static_cast<int64_t>(card.Events[1].HeaderBytes().size());
  return {path, (card.EventOffset(1) + header) / 3, 4, 6000};
}

// The digest of the frames as the card builder generates them, `read` frames of them, then
// zeros when `pad`.
TEventDigest Expected(int64_t read, bool pad) {
  TEventDigest digest(4, 6000);
  std::vector<uint8_t> frame(12);
  for (int64_t k = 0; k < read; ++k) {
    for (int c = 0; c < 4; ++c) {
      const std::string bytes =
          testing_support::SampleBytes(testing_support::GeneratedSample(k, c));
      std::copy(bytes.begin(), bytes.end(), frame.begin() + 3 * c);
    }
    digest.AddFrames(frame.data(), 1);
  }
  if (pad) digest.AddZeroFrames(6000 - read);
  return digest;
}

// The figures as the record file holds the event (zeros after the frames read), the envelopes
// of the frames read only.
void ExpectDigestOfFramesRead(const TEventDigest& got, int64_t read) {
  const TEventDigest padded = Expected(read, true);
  const TEventDigest want = Expected(read, false);
  ASSERT_EQ(got.Channels(), want.Channels());
  for (int c = 0; c < got.Channels(); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(got.EnvelopeOf(c).SamplesFed(), read);
    const TChannelFigures g = got.FiguresOf(c);
    const TChannelFigures w = padded.FiguresOf(c);
    EXPECT_EQ(g.Count, w.Count);
    EXPECT_EQ(g.Minimum, w.Minimum);
    EXPECT_EQ(g.Maximum, w.Maximum);
    EXPECT_DOUBLE_EQ(g.Rms, w.Rms);
    EXPECT_EQ(g.Saturated, w.Saturated);
    const auto gc = got.EnvelopeOf(c).Columns(300);
    const auto wc = want.EnvelopeOf(c).Columns(300);
    for (size_t i = 0; i < gc.size(); ++i) {
      EXPECT_EQ(gc[i].Min, wc[i].Min) << i;
      EXPECT_EQ(gc[i].Max, wc[i].Max) << i;
    }
  }
}

TEST(EventDigestRead, WholeAndCutShortEvents) {
  struct TCase {
    const char* Name;
    int64_t CutBytes;  // bytes removed from the end of the data file
    int64_t FramesRead;
  };
  // The trailer is 9 bytes: cutting it leaves every frame; 9 + 13 bytes cut the last two
  // frames (the second one partly).
  const TCase cases[] = {{"whole", 0, 6000},
                         {"no trailer", 9, 6000},
                         {"two frames short", 9 + 13, 5998},
                         {"only the header", 9 + 6000 * 12, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    testing_support::TTempDir dir;
    const TCardBuilder card = TwoEventCard();
    const std::string path = card.WriteTo(dir.Path());
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - c.CutBytes);
    TEventDigest digest(4, 6000);
    const TEventDigestRead read = ReadEventDigest(SecondEvent(card, path), digest);
    EXPECT_EQ(read.FramesRead, c.FramesRead);
    EXPECT_EQ(read.Error, 0);
    EXPECT_FALSE(read.Cancelled);
    EXPECT_EQ(digest.FramesFed(), 6000);
    ExpectDigestOfFramesRead(digest, c.FramesRead);
  }
}

TEST(EventDigestRead, ReadOnlyCardCancelAndMissingCard) {
  testing_support::TTempDir dir;
  const TCardBuilder card = TwoEventCard();
  const std::string path = card.WriteTo(dir.Path());
  const std::string before = testing_support::ReadWholeFile(path);

  // A card that cannot be written is read all the same, and left as it was.
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  {
    TEventDigest digest(4, 6000);
    const TEventDigestRead read = ReadEventDigest(SecondEvent(card, path), digest);
    EXPECT_TRUE(read.Complete());
    EXPECT_EQ(read.FramesRead, 6000);
  }
  EXPECT_EQ(testing_support::ReadWholeFile(path), before);

  // Cancelled before the first block: nothing fed, no padding either.
  {
    std::atomic<bool> cancel{true};
    TEventDigest digest(4, 6000);
    const TEventDigestRead read = ReadEventDigest(SecondEvent(card, path), digest, &cancel);
    EXPECT_TRUE(read.Cancelled);
    EXPECT_EQ(digest.FramesFed(), 0);
  }

  // The card gone: an error, and the event as the record file would hold it (zeros).
  {
    TEventDigest digest(4, 6000);
    const TEventDigestRead read = ReadEventDigest(SecondEvent(card, dir / "gone.dat"), digest);
    EXPECT_NE(read.Error, 0);
    EXPECT_EQ(read.FramesRead, 0);
    EXPECT_EQ(digest.FramesFed(), 6000);
    EXPECT_TRUE(digest.FiguresOf(0).Dead);
  }
}

TEST(ChannelSeedId, DefaultSheetAndNone) {
  seed::TStationSheet sheet =
      seed::TStationSheet::Parse("serial,station,network\n47,BRK01,Z3\n", "s");
  const seed::TCodeOptions withSheet{"", &sheet};
  const seed::TCodeOptions network{"FR", nullptr};
  struct TCase {
    const seed::TCodeOptions* Codes;
    int64_t Serial;
    int Channel;
    int Rate;
    const char* Id;
  };
  const seed::TCodeOptions none;
  const TCase cases[] = {
      {&none, 47, 1, 100, "XX.047.00.EHZ"},
      {&none, 1042, 5, 250, "XX.1042.01.DHN"},
      {&none, 7, 18, 1000, "XX.007.05.GHE"},
      {&network, 7, 3, 50, "FR.007.00.SHE"},
      {&withSheet, 47, 4, 125, "Z3.BRK01.01.EHZ"},
      {&withSheet, 48, 1, 125, "XX.048.00.EHZ"},
      {&none, 47, 1, 0, ""},
      {&none, -5, 1, 100, ""},
      {&none, 123456, 1, 100, ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ChannelSeedId(*c.Codes, c.Serial, c.Rate, c.Channel), c.Id)
        << c.Serial << " " << c.Channel << " " << c.Rate;
  }
}

}  // namespace
