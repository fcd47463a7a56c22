#pragma once
// What a preview and a quality report need of one event: the figures and the envelope of
// each channel, gathered in one pass over its sample frames.
//
// Frames (one sample per channel, decoded by event/SampleDecoder.h) are fed in time order
// as read from the card. The frames that could not be read count as zeros in the figures, as
// the record file holds them, and stay a gap in the envelopes (AddUnreadFrames), so that a plot
// shows where the card gave out.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quality/ChannelFigures.h"
#include "quality/Envelope.h"

class TEventDigest {
 public:
  // An event of `channels` channels and `samplesPerChannel` frames (both clamped at 0).
  TEventDigest(int channels, int64_t samplesPerChannel, int buckets = TEnvelope::DefaultBuckets);

  // Adds frames (3 * channels bytes each), in time order.
  void AddFrames(const uint8_t* frames, int64_t count);
  // Adds `count` frames of zeros.
  void AddZeroFrames(int64_t count);
  // Adds `count` frames that could not be read: zeros in the figures, nothing in the envelopes.
  void AddUnreadFrames(int64_t count);

  int Channels() const { return static_cast<int>(Figures.size()); }
  int64_t FramesFed() const { return Fed; }
  // Channel c is 0-based.
  TChannelFigures FiguresOf(int c) const { return Figures[static_cast<size_t>(c)].Figures(); }
  const TEnvelope& EnvelopeOf(int c) const { return Envelopes[static_cast<size_t>(c)]; }

 private:
  std::vector<TFiguresAccumulator> Figures;
  std::vector<TEnvelope> Envelopes;
  std::vector<int32_t> Split;  // ChunkFrames samples per channel
  int64_t Fed = 0;
};
