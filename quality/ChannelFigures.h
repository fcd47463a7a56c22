#pragma once
// The figures of one channel of an event: minimum, maximum, mean, RMS about the mean, the
// saturated samples and the sample count, gathered while the samples stream past.
//
// The samples are the 24-bit counts as the record file holds them, the zeros that pad a
// frame that could not be read included (the caller feeds those zeros too). The sums are
// kept as exact integers (the squares in 128 bits), so the figures of up to 2^32 full-scale
// samples (an event's sample count is a 32-bit field) are as exact as one final rounding
// allows, whatever the offset of the channel.

#include <cstddef>
#include <cstdint>

#include "event/SampleDecoder.h"

// The two ends of the 24-bit range: a sample at either end is saturated.
constexpr int32_t SampleMinimum = SampleDecoder::MinimumSample;
constexpr int32_t SampleMaximum = SampleDecoder::MaximumSample;

struct TChannelFigures {
  int64_t Count = 0;      // samples fed
  int32_t Minimum = 0;    // 0 when Count is 0
  int32_t Maximum = 0;    // 0 when Count is 0
  double Mean = 0;        // 0 when Count is 0
  double Rms = 0;         // population RMS about the mean: sqrt(sum((x - mean)^2) / Count)
  int64_t Saturated = 0;  // samples equal to SampleMinimum or SampleMaximum
  // A dead channel recorded nothing usable: no sample at all, or every sample equal (a flat
  // line, the all-zero padding of an unreadable event among them). Its RMS is then 0.
  bool Dead = true;
  // The largest magnitude, max(|Minimum|, |Maximum|).
  int64_t Peak() const;
};

class TFiguresAccumulator {
 public:
  // Adds a run of samples of this channel, in time order.
  void Add(const int32_t* samples, size_t count);
  // Adds `count` zero samples (padding after a failed read).
  void AddZeros(int64_t count);
  TChannelFigures Figures() const;

 private:
  __extension__ using TWide = __int128;
  int64_t N = 0;
  int64_t Sum = 0;
  TWide SumSquares = 0;
  int32_t Min = SampleMaximum;
  int32_t Max = SampleMinimum;
  int64_t SaturatedCount = 0;
};
