// The figures and envelopes of a 10-minute, 18-channel, 250 Hz event (2.7 million samples)
// from its frames in memory, decoding included: what a preview and a report pay per event
// once the frames are read; and the whole preview from the card: the event's frames read off
// a card file, digested and reduced to the columns of a plot (the target: well under 200 ms).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <iostream>

#include "card/TarqCard.h"
#include "quality/CardReport.h"
#include "quality/EventDigest.h"
#include "support/CardBuilder.h"
#include "support/SyntheticFrames.h"
#include "support/TestSupport.h"

namespace {

const std::vector<uint8_t>& TenMinuteEvent() {
  static const std::vector<uint8_t> frames = [] {
    testing_support::TSyntheticEvent event;
    event.Channels = 18;
    event.SampleRate = 250;
    event.Frames = 250 * 600;
    event.Clipping = {4};
    return testing_support::SyntheticFrames(event);
  }();
  return frames;
}

void BM_EventDigest(benchmark::State& state) {
  const std::vector<uint8_t>& frames = TenMinuteEvent();
  const int64_t count = 250 * 600;
  for (auto _ : state) {
    TEventDigest digest(18, count);
    // In pieces, as read off a card.
    const int64_t piece = 16 * 1024;
    for (int64_t at = 0; at < count; at += piece) {
      digest.AddFrames(frames.data() + at * 18 * 3, std::min(piece, count - at));
    }
    benchmark::DoNotOptimize(digest.FiguresOf(17).Rms);
  }
  state.SetItemsProcessed(state.iterations() * count * 18);
  state.SetLabel("2.7 M samples per iteration");
}
BENCHMARK(BM_EventDigest)->Unit(benchmark::kMillisecond);

// Redrawing a resized plot: 18 channels reduced to 1000 columns.
void BM_EnvelopeColumns(benchmark::State& state) {
  const std::vector<uint8_t>& frames = TenMinuteEvent();
  TEventDigest digest(18, 250 * 600);
  digest.AddFrames(frames.data(), 250 * 600);
  for (auto _ : state) {
    for (int c = 0; c < 18; ++c) benchmark::DoNotOptimize(digest.EnvelopeOf(c).Columns(1000));
  }
}
BENCHMARK(BM_EnvelopeColumns)->Unit(benchmark::kMicrosecond);

// The event on a card: the card written once, its entry found by the scan.
struct TPreviewCard {
  testing_support::TTempDir Dir;
  std::string DataFile;
  TEventEntry Entry;
};

const TPreviewCard& CardWithTheEvent() {
  static const TPreviewCard* card = [] {
    auto* made = new TPreviewCard;
    testing_support::TCardBuilder builder;
    testing_support::TBuiltEvent event;
    event.Channels = "18,47";
    event.RateDuration = "250,10";
    event.UseRawSamples = true;
    const std::vector<uint8_t>& frames = TenMinuteEvent();
    event.RawSamples.assign(frames.begin(), frames.end());
    builder.Events.push_back(event);
    made->DataFile = builder.WriteTo(made->Dir.Path());
    TStreamMessages quiet(std::cerr);
    platform::TMappedDriveTable drives;
    TTarqCard scan(quiet, drives);
    scan.Root = made->Dir.Path();
    scan.ProbeCard();
    made->Entry = scan.ScanEvents().at(0);
    return made;
  }();
  return *card;
}

// Card to plot: the frames read off the card file (from the page cache after the first
// iteration, as for a card read a moment ago), the digest, and the columns of a 1000-pixel plot.
void BM_PreviewFromCard(benchmark::State& state) {
  const TPreviewCard& card = CardWithTheEvent();
  for (auto _ : state) {
    const TEventFrames frames = EventFramesOf(card.Entry, card.DataFile);
    TEventDigest digest(frames.Channels, frames.Frames);
    const TEventDigestRead read = ReadEventDigest(frames, digest);
    if (!read.Complete() || read.FramesRead != 250 * 600) state.SkipWithError("not read whole");
    for (int c = 0; c < 18; ++c) benchmark::DoNotOptimize(digest.EnvelopeOf(c).Columns(1000));
  }
  state.SetBytesProcessed(state.iterations() * 250 * 600 * 18 * 3);
}
BENCHMARK(BM_PreviewFromCard)->Unit(benchmark::kMillisecond);

}  // namespace
