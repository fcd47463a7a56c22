#include "event/SampleDecoder.h"

namespace SampleDecoder {

void DecodeFrames(const uint8_t* frames, int64_t count, int channels,
                  int32_t* const* channelSamples) {
  const int64_t frameBytes = int64_t{SampleBytes} * channels;
  for (int c = 0; c < channels; ++c) {
    const uint8_t* from = frames + SampleBytes * c;
    int32_t* to = channelSamples[c];
    for (int64_t i = 0; i < count; ++i, from += frameBytes) to[i] = Decode(from);
  }
}

}  // namespace SampleDecoder
