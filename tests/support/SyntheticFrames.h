#pragma once
// Sample frames that look like a recorded earthquake: background noise on every channel, then
// a P and a later, larger S arrival that die away. Channels can be made to clip at the ends of
// the 24-bit range or to stay flat. Used by the benchmarks and the example report.

#include <cstdint>
#include <vector>

namespace testing_support {

struct TSyntheticEvent {
  int Channels = 3;
  int SampleRate = 250;
  int64_t Frames = 0;
  double ArrivalSeconds = 20;  // P arrival; S follows 6 s later
  double Amplitude = 400'000;  // S peak in counts
  double Noise = 600;          // background noise, counts
  std::vector<int> Clipping;   // 1-based channels whose arrival clips at full scale
  std::vector<int> Flat;       // 1-based channels that hold one value throughout
  uint32_t Seed = 1;
};

// The frames: 3 bytes per channel, big-endian, two's complement.
std::vector<uint8_t> SyntheticFrames(const TSyntheticEvent& event);

}  // namespace testing_support
