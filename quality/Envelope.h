#pragma once
// The min/max envelope of one channel: the samples of an event split into a fixed number of
// buckets, each keeping its smallest and largest sample. It is filled once while the samples
// stream past and is small enough to keep, so that a plot of any width up to the bucket count
// is drawn from it again (a resized window, a report) without reading the card.

#include <cstddef>
#include <cstdint>
#include <vector>

struct TEnvelopeBucket {
  // An empty bucket (no sample fed, as after a cut-short event) has Min > Max.
  int32_t Min = INT32_MAX;
  int32_t Max = INT32_MIN;
  bool Empty() const { return Min > Max; }
  // A saturated sample is an extreme of the 24-bit range, so it is the bucket's min or max.
  bool Saturated() const;
  void Merge(const TEnvelopeBucket& other);
};

class TEnvelope {
 public:
  // Fine enough to draw a window or a report up to this many pixels wide.
  static constexpr int DefaultBuckets = 4096;

  TEnvelope() = default;
  // An envelope over `totalSamples` samples (the event's samples per channel) in
  // min(buckets, totalSamples) buckets: with fewer samples than buckets, one bucket per sample.
  explicit TEnvelope(int64_t totalSamples, int buckets = DefaultBuckets);

  // Adds the next samples in time order; samples past totalSamples are ignored.
  void Add(const int32_t* samples, size_t count);
  // Adds `count` zero samples (padding after a failed read).
  void AddZeros(int64_t count);

  int64_t TotalSamples() const { return Total; }
  int64_t SamplesFed() const { return Fed; }
  int BucketCount() const { return static_cast<int>(Cells.size()); }
  const std::vector<TEnvelopeBucket>& Buckets() const { return Cells; }
  // The first sample of bucket b (b = BucketCount() gives TotalSamples()). Bucket b holds the
  // samples i with i * BucketCount() / TotalSamples() == b (integer division).
  int64_t FirstSampleOf(int b) const;

  // The envelope reduced to `width` pixel columns. Column c merges the buckets
  // [c * B / width, (c + 1) * B / width) of the B buckets; when width > B, each column shows
  // the bucket under it. Always `width` columns (none for width <= 0); all empty when the
  // envelope holds no sample.
  std::vector<TEnvelopeBucket> Columns(int width) const;

 private:
  int64_t Total = 0;
  int64_t Fed = 0;
  std::vector<TEnvelopeBucket> Cells;
  int Current = 0;           // bucket of the next sample
  int64_t CurrentEnd = 0;    // first sample of the bucket after Current
};
