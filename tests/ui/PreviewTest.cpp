// The waveform preview, the event loader and the mount watcher on their own: what the preview
// draws is checked through the columns it reduced the envelopes to, the loader against a
// digest of the same frames, the watcher against a mount table in a file.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "quality/EventDigest.h"
#include "support/CardBuilder.h"
#include "support/SyntheticFrames.h"
#include "support/TestSupport.h"
#include "ui/EventLoader.h"
#include "ui/MountWatcher.h"
#include "ui/WaveformPreview.h"

namespace {

std::shared_ptr<TPreviewEvent> SyntheticPreview(int channels, int64_t frames, int64_t framesRead,
                                                std::vector<int> clipping = {}) {
  testing_support::TSyntheticEvent shape;
  shape.Channels = channels;
  shape.SampleRate = 100;
  shape.Frames = frames;
  shape.ArrivalSeconds = 5;
  shape.Clipping = std::move(clipping);
  const std::vector<uint8_t> bytes = testing_support::SyntheticFrames(shape);
  TEventDigest digest(channels, frames);
  digest.AddFrames(bytes.data(), framesRead);
  digest.AddUnreadFrames(frames - framesRead);
  return std::make_shared<TPreviewEvent>(PreviewOfDigest(digest, 3, QStringLiteral("05121030.001"),
                                                         {2026, 5, 12, 10, 30, 7, 250'000}, 100, 47,
                                                         framesRead));
}

// Paints the widget at a size and returns it for inspection.
void PaintAt(TWaveformPreview& preview, int width, int height) {
  preview.resize(width, height);
  preview.grab();
}

void ExpectColumnsOfEnvelopes(const TWaveformPreview& preview) {
  const TPreviewEvent& event = *preview.Event();
  ASSERT_EQ(preview.ColumnsDrawn().size(), event.Traces.size());
  for (size_t c = 0; c < event.Traces.size(); ++c) {
    const auto want = event.Traces[c].Envelope.Columns(preview.ColumnWidth());
    const auto& got = preview.ColumnsDrawn()[c];
    ASSERT_EQ(got.size(), want.size()) << c;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].Min, want[i].Min) << c << " " << i;
      ASSERT_EQ(got[i].Max, want[i].Max) << c << " " << i;
    }
  }
}

TEST(WaveformPreview, DrawsEveryChannelFromItsEnvelopeAtEachWidth) {
  TWaveformPreview preview;
  preview.ShowMessage(QStringLiteral("Select an event"));
  PaintAt(preview, 600, 500);
  EXPECT_EQ(preview.TraceCount(), 0);
  EXPECT_TRUE(preview.ColumnsDrawn().empty());

  preview.SetEvent(SyntheticPreview(6, 3000, 3000, {2}));
  PaintAt(preview, 600, 500);
  EXPECT_EQ(preview.TraceCount(), 6);
  EXPECT_EQ(preview.Labels(), (QStringList{"1 Z", "2 N", "3 E", "4 Z", "5 N", "6 E"}));
  EXPECT_EQ(preview.SeedIds().at(3), QStringLiteral("XX.047.01.EHZ"));
  EXPECT_TRUE(preview.Message().isEmpty());
  const int wide = preview.ColumnWidth();
  EXPECT_GT(wide, 200);
  EXPECT_LT(wide, 600);
  ExpectColumnsOfEnvelopes(preview);
  EXPECT_EQ(preview.GapColumn(), wide);
  EXPECT_TRUE(preview.Event()->Flags.contains(QStringLiteral("1 saturated")));

  // Narrower: the columns are reduced again from the same envelopes.
  PaintAt(preview, 420, 300);
  EXPECT_EQ(preview.ColumnWidth(), wide - 180);
  ExpectColumnsOfEnvelopes(preview);

  // Wider than the envelope's buckets: one column per bucket under it, none lost.
  PaintAt(preview, 4600, 300);
  EXPECT_GT(preview.ColumnWidth(), 3000);
  ExpectColumnsOfEnvelopes(preview);
}

TEST(WaveformPreview, AnEventCutShortEndsInAGapAndIsFlagged) {
  TWaveformPreview preview;
  preview.SetEvent(SyntheticPreview(3, 4000, 1000));
  PaintAt(preview, 600, 300);
  const int width = preview.ColumnWidth();
  const int gap = preview.GapColumn();
  // A quarter was read: the gap starts about a quarter of the way in.
  EXPECT_NEAR(gap, width / 4, 2);
  for (const auto& columns : preview.ColumnsDrawn()) {
    EXPECT_FALSE(columns[static_cast<size_t>(gap - 1)].Empty());
    for (int c = gap; c < width; ++c) EXPECT_TRUE(columns[static_cast<size_t>(c)].Empty()) << c;
  }
  EXPECT_TRUE(preview.Event()->Flags.contains(QStringLiteral("cut short: 75.0 % not read")));

  // No channels, no rate: nothing to draw, nothing that breaks.
  TEventDigest empty(0, 0);
  preview.SetEvent(
      std::make_shared<TPreviewEvent>(PreviewOfDigest(empty, 1, QStringLiteral("x"), {}, 0, 0, 0)));
  PaintAt(preview, 300, 200);
  EXPECT_EQ(preview.TraceCount(), 0);
  EXPECT_TRUE(preview.Event()->Flags.contains(QStringLiteral("no sample rate")));
}

TEST(EventLoader, ReadsTheEventAskedForLast) {
  testing_support::TTempDir dir;
  testing_support::TCardBuilder card;
  for (const char* channels : {"3,47", "6,48"}) {
    testing_support::TBuiltEvent event;
    event.Channels = channels;
    event.RateDuration = "100,10";  // 60000 frames
    card.Events.push_back(event);
  }
  const std::string path = card.WriteTo(dir.Path());
  auto request = [&](size_t i) {
    TPreviewRequest r;
    r.Line = static_cast<int>(i) + 1;
    const int channels = i == 0 ? 3 : 6;
    r.Frames = {
        path, (card.EventOffset(i) + static_cast<int64_t>(card.Events[i].HeaderBytes().size())) / 3,
        channels, 60000};
    r.SampleRate = 100;
    r.StationSerial = i == 0 ? 47 : 48;
    return r;
  };

  TEventLoader loader;
  QSignalSpy loaded(&loader, &TEventLoader::Loaded);
  loader.Load(request(0));
  loader.Load(request(1));
  EXPECT_TRUE(loader.Busy());
  ASSERT_TRUE(loaded.wait(5000));
  QTest::qWait(50);
  ASSERT_EQ(loaded.count(), 1);  // the first request was overtaken
  EXPECT_EQ(loaded[0][0].toInt(), 2);
  EXPECT_EQ(loaded[0][2].toInt(), 0);
  EXPECT_FALSE(loader.Busy());
  const auto event = loaded[0][1].value<std::shared_ptr<const TPreviewEvent>>();
  ASSERT_EQ(event->Traces.size(), 6u);
  EXPECT_EQ(event->FramesRead, 60000);
  EXPECT_EQ(event->Traces[5].SeedId, QStringLiteral("XX.048.01.EHE"));
  EXPECT_EQ(event->Traces[0].Figures.Count, 60000);

  // The card taken out: the preview says so and the error comes with it.
  loaded.clear();
  std::filesystem::remove(path);
  loader.Load(request(0));
  ASSERT_TRUE(loaded.wait(5000));
  EXPECT_NE(loaded[0][2].toInt(), 0);

  // Cancelled: nothing is announced.
  loaded.clear();
  loader.Load(request(0));
  loader.Cancel();
  EXPECT_FALSE(loader.Busy());
  QTest::qWait(200);
  EXPECT_EQ(loaded.count(), 0);
}

TEST(MountWatcher, AnnouncesEachChangeOfTheTableOnce) {
  testing_support::TTempDir dir;
  const std::string table = dir / "mountinfo";
  testing_support::WriteWholeFile(table, "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  TMountWatcher watcher(nullptr, QString::fromStdString(table));
  QSignalSpy changed(&watcher, &TMountWatcher::MountsChanged);
  EXPECT_FALSE(watcher.Check());

  testing_support::WriteWholeFile(
      table,
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n40 22 8:17 / /media/card rw - vfat /dev/sdb1 rw\n");
  EXPECT_TRUE(watcher.Check());
  EXPECT_FALSE(watcher.Check());
  EXPECT_EQ(changed.count(), 1);

  // The timer finds the card taken out without being asked.
  testing_support::WriteWholeFile(table, "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  EXPECT_TRUE(changed.wait(TMountWatcher::PollMilliseconds + 1500));
  EXPECT_EQ(changed.count(), 2);

  // The system's own table is watched through the kernel's notification.
  TMountWatcher system;
  EXPECT_TRUE(system.Notified());
  EXPECT_FALSE(system.Check());
}

}  // namespace

Q_DECLARE_METATYPE(std::shared_ptr<const TPreviewEvent>)
