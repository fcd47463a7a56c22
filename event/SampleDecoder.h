#pragma once
// The samples of an event as the recorder stores them: frames of one 24-bit big-endian two's
// complement value per channel, the channels of a frame one after another.

#include <bit>
#include <cstdint>
#include <cstring>

namespace SampleDecoder {

constexpr int SampleBytes = 3;
// The two ends of the 24-bit range: a sample at either end is saturated (the amplifier or the
// converter could give no more).
constexpr int32_t MinimumSample = -8388608;
constexpr int32_t MaximumSample = 8388607;

// The sample at b.
inline int32_t Decode(const uint8_t* b) {
  const uint32_t raw = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8);
  return static_cast<int32_t>(raw) >> 8;  // sign-extends the sample
}

// The sample at b, read with the byte after it in one load: for loops over frame buffers that
// keep at least one readable byte after their frames.
inline int32_t DecodeWithSlack(const uint8_t* b) {
  uint32_t raw;
  std::memcpy(&raw, b, 4);
  if constexpr (std::endian::native == std::endian::little) {
    raw = (raw >> 24) | ((raw >> 8) & 0xFF00u) | ((raw << 8) & 0xFF0000u) | (raw << 24);
  }
  return static_cast<int32_t>(raw) >> 8;  // drops the extra byte, sign-extends the sample
}

// Decodes `count` frames of `channels` channels: the samples of channel c go to
// channelSamples[c][0] to channelSamples[c][count - 1].
void DecodeFrames(const uint8_t* frames, int64_t count, int channels,
                  int32_t* const* channelSamples);

}  // namespace SampleDecoder
