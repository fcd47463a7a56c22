#include "support/SyntheticFrames.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace testing_support {

std::vector<uint8_t> SyntheticFrames(const TSyntheticEvent& e) {
  const auto has = [](const std::vector<int>& list, int c) {
    return std::find(list.begin(), list.end(), c) != list.end();
  };
  std::vector<uint8_t> bytes(static_cast<size_t>(e.Frames * e.Channels * 3));
  uint32_t state = e.Seed * 2654435761u + 1;
  const auto noise = [&] {
    // The sum of four uniform values: close enough to Gaussian noise.
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
      state = state * 1664525u + 1013904223u;
      sum += static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    }
    return sum;
  };
  const double rate = e.SampleRate > 0 ? e.SampleRate : 1;
  size_t at = 0;
  for (int64_t i = 0; i < e.Frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (int c = 1; c <= e.Channels; ++c) {
      const int component = (c - 1) % 3;  // Z, N, E
      const double offset = 1500.0 * ((c * 37) % 11 - 5);
      double value = offset;
      if (has(e.Flat, c)) {
        value = c % 2 ? 0 : offset;
      } else {
        value += e.Noise * noise();
        const double tp = t - e.ArrivalSeconds;
        const double ts = tp - 6;
        const double pi2 = 2 * std::numbers::pi;
        if (tp > 0) {
          const double p = (component == 0 ? 0.35 : 0.12) * e.Amplitude * std::exp(-tp / 4) *
                           (1 - std::exp(-tp * 8));
          value += p * std::sin(pi2 * (6.0 + 0.3 * c) * tp) * (0.8 + 0.4 * noise());
        }
        if (ts > 0) {
          const double s = (component == 0 ? 0.6 : 1.0) * e.Amplitude * std::exp(-ts / 12) *
                           (1 - std::exp(-ts * 3));
          value += s * (std::sin(pi2 * (2.2 + 0.1 * c) * ts) * 0.7 +
                        std::sin(pi2 * (3.7 + 0.05 * c) * ts + c) * 0.3) *
                   (0.85 + 0.3 * noise());
        }
        if (has(e.Clipping, c)) value *= 40;
      }
      const int32_t sample =
          static_cast<int32_t>(std::clamp(std::round(value), -8388608.0, 8388607.0));
      const uint32_t u = static_cast<uint32_t>(sample);
      bytes[at++] = static_cast<uint8_t>(u >> 16);
      bytes[at++] = static_cast<uint8_t>(u >> 8);
      bytes[at++] = static_cast<uint8_t>(u);
    }
  }
  return bytes;
}

}  // namespace testing_support
