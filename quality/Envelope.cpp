#include "quality/Envelope.h"

#include <algorithm>

#include "quality/ChannelFigures.h"

bool TEnvelopeBucket::Saturated() const {
  return !Empty() && (Min == SampleMinimum || Max == SampleMaximum);
}

void TEnvelopeBucket::Merge(const TEnvelopeBucket& other) {
  Min = std::min(Min, other.Min);
  Max = std::max(Max, other.Max);
}

TEnvelope::TEnvelope(int64_t totalSamples, int buckets)
    : Total(std::max<int64_t>(totalSamples, 0)),
      Cells(static_cast<size_t>(std::min<int64_t>(std::max(buckets, 1), Total))) {
  CurrentEnd = FirstSampleOf(1);
}

int64_t TEnvelope::FirstSampleOf(int b) const {
  const int64_t count = BucketCount();
  if (count == 0) return 0;
  // The smallest i with i * count / Total >= b: ceil(b * Total / count). Below 2^12 * 2^32.
  return (static_cast<int64_t>(b) * Total + count - 1) / count;
}

void TEnvelope::Add(const int32_t* samples, size_t count) {
  size_t at = 0;
  while (at < count && Fed < Total) {
    while (Fed >= CurrentEnd) {
      ++Current;
      CurrentEnd = FirstSampleOf(Current + 1);
    }
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count - at),
                                                           CurrentEnd - Fed));
    TEnvelopeBucket& bucket = Cells[static_cast<size_t>(Current)];
    int32_t lo = bucket.Min;
    int32_t hi = bucket.Max;
    for (size_t i = at; i < at + n; ++i) {
      lo = std::min(lo, samples[i]);
      hi = std::max(hi, samples[i]);
    }
    bucket.Min = lo;
    bucket.Max = hi;
    at += n;
    Fed += static_cast<int64_t>(n);
  }
}

void TEnvelope::AddZeros(int64_t count) {
  static constexpr int32_t Zeros[1024] = {};
  while (count > 0 && Fed < Total) {
    const int64_t n = std::min<int64_t>(count, 1024);
    Add(Zeros, static_cast<size_t>(n));
    count -= n;
  }
}

std::vector<TEnvelopeBucket> TEnvelope::Columns(int width) const {
  std::vector<TEnvelopeBucket> columns(static_cast<size_t>(std::max(width, 0)));
  const int64_t b = BucketCount();
  if (b == 0) return columns;
  for (int c = 0; c < width; ++c) {
    const int64_t first = c * b / width;
    const int64_t last = std::max(first + 1, (c + 1) * b / width);
    for (int64_t i = first; i < last; ++i) columns[static_cast<size_t>(c)].Merge(Cells[static_cast<size_t>(i)]);
  }
  return columns;
}
