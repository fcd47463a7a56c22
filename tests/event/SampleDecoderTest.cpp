// The shared sample decoder: 24-bit big-endian two's complement, channels interleaved.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "event/SampleDecoder.h"

namespace {

TEST(SampleDecoder, ValuesAtTheEdgesOfTheRange) {
  struct TCase {
    std::array<uint8_t, 3> Bytes;
    int32_t Value;
  };
  const TCase cases[] = {
      {{0x00, 0x00, 0x00}, 0},        {{0x00, 0x00, 0x01}, 1},
      {{0x7F, 0xFF, 0xFF}, 8388607},  {{0x80, 0x00, 0x00}, -8388608},
      {{0xFF, 0xFF, 0xFF}, -1},       {{0x01, 0x02, 0x03}, 0x010203},
      {{0xFE, 0xDC, 0xBA}, -0x012346},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(SampleDecoder::Decode(c.Bytes.data()), c.Value);
    // The byte after the sample, whatever it holds, does not count.
    for (uint8_t after : {uint8_t{0x00}, uint8_t{0xFF}}) {
      const uint8_t slack[4] = {c.Bytes[0], c.Bytes[1], c.Bytes[2], after};
      EXPECT_EQ(SampleDecoder::DecodeWithSlack(slack), c.Value);
    }
  }
}

TEST(SampleDecoder, FramesGoToTheirChannels) {
  // Two frames of three channels: channel c of frame k holds 16 k + c, negated on channel 1.
  const std::vector<uint8_t> frames = {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x02,
                                       0x00, 0x00, 0x10, 0xFF, 0xFF, 0xEF, 0x00, 0x00, 0x12};
  std::array<std::vector<int32_t>, 3> channels;
  std::array<int32_t*, 3> to{};
  for (size_t c = 0; c < 3; ++c) {
    channels[c].assign(2, 99);
    to[c] = channels[c].data();
  }
  SampleDecoder::DecodeFrames(frames.data(), 2, 3, to.data());
  EXPECT_EQ(channels[0], (std::vector<int32_t>{0, 16}));
  EXPECT_EQ(channels[1], (std::vector<int32_t>{-1, -17}));
  EXPECT_EQ(channels[2], (std::vector<int32_t>{2, 18}));
}

}  // namespace
