#include "quality/EventDigest.h"

#include <algorithm>

#include "event/SampleDecoder.h"

namespace {

// Frames split per call: the per-channel arrays of 18 channels stay within the L2 cache.
constexpr int64_t ChunkFrames = 4096;

}  // namespace

TEventDigest::TEventDigest(int channels, int64_t samplesPerChannel, int buckets)
    : Figures(static_cast<size_t>(std::max(channels, 0))),
      Envelopes(static_cast<size_t>(std::max(channels, 0)),
                TEnvelope(std::max<int64_t>(samplesPerChannel, 0), buckets)),
      Split(static_cast<size_t>(std::max(channels, 0) * ChunkFrames)) {}

void TEventDigest::AddFrames(const uint8_t* frames, int64_t count) {
  const int channels = Channels();
  if (channels == 0) return;
  std::vector<int32_t*> columns(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c)
    columns[static_cast<size_t>(c)] = Split.data() + c * ChunkFrames;
  const size_t frameBytes = 3 * static_cast<size_t>(channels);
  while (count > 0) {
    const int64_t n = std::min(count, ChunkFrames);
    SampleDecoder::DecodeFrames(frames, n, channels, columns.data());
    for (size_t c = 0; c < static_cast<size_t>(channels); ++c) {
      Figures[c].Add(columns[c], static_cast<size_t>(n));
      Envelopes[c].Add(columns[c], static_cast<size_t>(n));
    }
    frames += static_cast<size_t>(n) * frameBytes;
    count -= n;
    Fed += n;
  }
}

void TEventDigest::AddZeroFrames(int64_t count) {
  if (count <= 0) return;
  for (TFiguresAccumulator& f : Figures) f.AddZeros(count);
  for (TEnvelope& e : Envelopes) e.AddZeros(count);
  Fed += count;
}

void TEventDigest::AddUnreadFrames(int64_t count) {
  if (count <= 0) return;
  for (TFiguresAccumulator& f : Figures) f.AddZeros(count);
  Fed += count;
}
