#include "quality/ChannelFigures.h"

#include <algorithm>
#include <cmath>

int64_t TChannelFigures::Peak() const {
  return std::max(std::abs(static_cast<int64_t>(Minimum)), std::abs(static_cast<int64_t>(Maximum)));
}

void TFiguresAccumulator::Add(const int32_t* samples, size_t count) {
  // Squares of 24-bit samples are below 2^46: 2^16 of them sum within 64 bits, so the wide
  // sum is touched once per block.
  constexpr size_t Block = 1 << 16;
  int32_t lo = Min;
  int32_t hi = Max;
  int64_t saturated = 0;
  for (size_t start = 0; start < count; start += Block) {
    const size_t end = std::min(count, start + Block);
    int64_t sum = 0;
    int64_t squares = 0;
    for (size_t i = start; i < end; ++i) {
      const int64_t x = samples[i];
      sum += x;
      squares += x * x;
      lo = std::min(lo, samples[i]);
      hi = std::max(hi, samples[i]);
      saturated += (samples[i] == SampleMinimum) | (samples[i] == SampleMaximum);
    }
    Sum += sum;
    SumSquares += squares;
  }
  Min = lo;
  Max = hi;
  SaturatedCount += saturated;
  N += static_cast<int64_t>(count);
}

void TFiguresAccumulator::AddZeros(int64_t count) {
  if (count <= 0) return;
  N += count;
  Min = std::min(Min, 0);
  Max = std::max(Max, 0);
}

TChannelFigures TFiguresAccumulator::Figures() const {
  TChannelFigures f;
  f.Count = N;
  if (N == 0) return f;
  f.Minimum = Min;
  f.Maximum = Max;
  f.Saturated = SaturatedCount;
  f.Dead = Min == Max;
  f.Mean = static_cast<double>(static_cast<long double>(Sum) / static_cast<long double>(N));
  // N^2 * variance = N * sum(x^2) - sum(x)^2, exact in 128 bits: with N < 2^32 both terms
  // stay below 2^32 * 2^78 = 2^110.
  const TWide n = N;
  const TWide scaled = n * SumSquares - static_cast<TWide>(Sum) * Sum;
  if (scaled <= 0 || f.Dead) return f;
  const long double variance =
      static_cast<long double>(scaled) / (static_cast<long double>(N) * static_cast<long double>(N));
  f.Rms = static_cast<double>(std::sqrt(variance));
  return f;
}
