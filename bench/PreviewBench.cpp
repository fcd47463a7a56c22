// The figures and envelopes of a 10-minute, 18-channel, 250 Hz event (2.7 million samples)
// from its frames in memory, decoding included: what a preview and a report pay per event
// once the frames are read (the target: well under 200 ms).

#include <benchmark/benchmark.h>

#include <algorithm>

#include "convert/EventDigest.h"
#include "support/SyntheticFrames.h"

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

}  // namespace
