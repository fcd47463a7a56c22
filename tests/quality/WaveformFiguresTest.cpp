// The figures and envelopes of channels against brute force over built samples: exact values
// at the ends of the 24-bit range, padding zeros, large offsets, and frames split per channel.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "quality/ChannelFigures.h"
#include "quality/Envelope.h"
#include "quality/EventDigest.h"

namespace {

TChannelFigures FiguresOf(const std::vector<int32_t>& samples, int64_t zeros = 0) {
  TFiguresAccumulator acc;
  acc.Add(samples.data(), samples.size());
  acc.AddZeros(zeros);
  return acc.Figures();
}

TEST(ChannelFigures, ExactOnBuiltSamples) {
  struct TCase {
    const char* Name;
    std::vector<int32_t> Samples;
    int64_t Zeros;
    int32_t Min, Max;
    double Mean, Rms;
    int64_t Saturated;
    bool Dead;
  };
  const TCase cases[] = {
      {"both extremes", {SampleMaximum, SampleMinimum, 0, 0}, 0, SampleMinimum, SampleMaximum,
       -0.25, std::sqrt((8388607.25 * 8388607.25 + 8388607.75 * 8388607.75 + 2 * 0.0625) / 4), 2,
       false},
      {"padding zeros count", {10, 10}, 2, 0, 10, 5, 5, 0, false},
      {"padding lowers the minimum", {7, 9}, 1, 0, 9, 16.0 / 3, std::sqrt(((5.0 / 3) * (5.0 / 3) + (11.0 / 3) * (11.0 / 3) + (16.0 / 3) * (16.0 / 3)) / 3), 0, false},
      {"symmetric", {-3, 3, -3, 3}, 0, -3, 3, 0, 3, 0, false},
      {"flat line is dead", {42, 42, 42}, 0, 42, 42, 42, 0, 0, true},
      {"padding only is dead", {}, 1000, 0, 0, 0, 0, 0, true},
      {"saturated and flat", {SampleMaximum, SampleMaximum}, 0, SampleMaximum, SampleMaximum,
       SampleMaximum, 0, 2, true},
      {"nothing", {}, 0, 0, 0, 0, 0, 0, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TChannelFigures f = FiguresOf(c.Samples, c.Zeros);
    EXPECT_EQ(f.Count, static_cast<int64_t>(c.Samples.size()) + c.Zeros);
    EXPECT_EQ(f.Minimum, c.Min);
    EXPECT_EQ(f.Maximum, c.Max);
    EXPECT_DOUBLE_EQ(f.Mean, c.Mean);
    EXPECT_DOUBLE_EQ(f.Rms, c.Rms);
    EXPECT_EQ(f.Saturated, c.Saturated);
    EXPECT_EQ(f.Dead, c.Dead);
  }
}

// Full-scale squares overflow 64 bits after 2^17 samples; a DC offset near full scale wipes
// out the RMS of a one-pass sum of squares in doubles.
TEST(ChannelFigures, StayExactOverManyLargeSamples) {
  std::vector<int32_t> extremes(3'000'000);
  for (size_t i = 0; i < extremes.size(); ++i) extremes[i] = i % 2 ? SampleMaximum : SampleMinimum;
  TChannelFigures f = FiguresOf(extremes);
  EXPECT_EQ(f.Mean, -0.5);
  EXPECT_EQ(f.Rms, 8388607.5);
  EXPECT_EQ(f.Saturated, 3'000'000);
  EXPECT_EQ(f.Peak(), 8388608);

  std::vector<int32_t> offset(3'000'001);
  for (size_t i = 0; i < offset.size(); ++i) offset[i] = 8388605 + (i % 2 ? 1 : -1);
  offset.back() = 8388605;
  f = FiguresOf(offset);
  EXPECT_EQ(f.Mean, 8388605.0);
  EXPECT_DOUBLE_EQ(f.Rms, std::sqrt(3'000'000.0 / 3'000'001.0));
  EXPECT_EQ(f.Saturated, 0);
}

TEST(ChannelFigures, RunsInPiecesEqualOneRun) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> value(SampleMinimum, SampleMaximum);
  std::vector<int32_t> samples(300'000);
  for (int32_t& s : samples) s = value(random) / 3 + 1'000'000;
  TFiguresAccumulator pieces;
  for (size_t at = 0; at < samples.size();) {
    const size_t n = std::min(samples.size() - at, size_t{1} + random() % 90'000);
    pieces.Add(samples.data() + at, n);
    at += n;
  }
  long double sum = 0;
  for (int32_t s : samples) sum += s;
  const long double mean = sum / samples.size();
  long double squares = 0;
  for (int32_t s : samples) squares += (s - mean) * (s - mean);
  const TChannelFigures f = pieces.Figures();
  EXPECT_DOUBLE_EQ(f.Mean, static_cast<double>(mean));
  EXPECT_DOUBLE_EQ(f.Rms, static_cast<double>(std::sqrt(squares / samples.size())));
  EXPECT_EQ(f.Minimum, *std::min_element(samples.begin(), samples.end()));
  EXPECT_EQ(f.Maximum, *std::max_element(samples.begin(), samples.end()));
}

// Brute force: bucket b holds the samples i with i * B / N == b.
std::vector<TEnvelopeBucket> BruteBuckets(const std::vector<int32_t>& samples, int64_t total,
                                          int64_t buckets) {
  std::vector<TEnvelopeBucket> out(static_cast<size_t>(std::min(buckets, total)));
  for (size_t i = 0; i < samples.size() && static_cast<int64_t>(i) < total; ++i) {
    TEnvelopeBucket& b = out[static_cast<size_t>(static_cast<int64_t>(i) * static_cast<int64_t>(out.size()) / total)];
    b.Min = std::min(b.Min, samples[i]);
    b.Max = std::max(b.Max, samples[i]);
  }
  return out;
}

void ExpectSame(const std::vector<TEnvelopeBucket>& got, const std::vector<TEnvelopeBucket>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].Min, want[i].Min) << "bucket " << i;
    EXPECT_EQ(got[i].Max, want[i].Max) << "bucket " << i;
  }
}

TEST(Envelope, BucketsAndColumnsEqualBruteForce) {
  struct TCase {
    int64_t Total;
    int Buckets;
    size_t Fed;  // samples fed; fewer than Total for a cut-short event, more are ignored
  };
  const TCase cases[] = {{150'000, 4096, 150'000}, {4096, 4096, 4096},  {100, 4096, 100},
                         {1, 4096, 1},             {0, 4096, 10},       {12'345, 7, 12'345},
                         {10'000, 2048, 6'000},    {5'000, 1000, 9'000}};
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> value(-5'000'000, 5'000'000);
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Total << " samples, " << c.Buckets << " buckets, "
                                    << c.Fed << " fed");
    std::vector<int32_t> samples(c.Fed);
    for (int32_t& s : samples) s = value(random);
    TEnvelope envelope(c.Total, c.Buckets);
    for (size_t at = 0; at < samples.size();) {
      const size_t n = std::min(samples.size() - at, size_t{1} + random() % 5'000);
      envelope.Add(samples.data() + at, n);
      at += n;
    }
    const std::vector<TEnvelopeBucket> brute = BruteBuckets(samples, c.Total, c.Buckets);
    ExpectSame(envelope.Buckets(), brute);
    EXPECT_EQ(envelope.SamplesFed(), std::min<int64_t>(c.Total, static_cast<int64_t>(c.Fed)));
    for (int b = 0; b <= envelope.BucketCount() && c.Total > 0; ++b) {
      const int64_t first = envelope.FirstSampleOf(b);
      EXPECT_EQ(first * envelope.BucketCount() / c.Total, b);
      if (first > 0) {
        EXPECT_EQ((first - 1) * envelope.BucketCount() / c.Total, b - 1);
      }
    }

    const int64_t count = envelope.BucketCount();
    for (const int width : {1, 3, 640, static_cast<int>(count), static_cast<int>(count) + 5}) {
      if (width <= 0) continue;
      SCOPED_TRACE(testing::Message() << "width " << width);
      std::vector<TEnvelopeBucket> want(static_cast<size_t>(width));
      for (int col = 0; col < width; ++col) {
        const int64_t first = col * count / width;
        const int64_t last = std::max(first + 1, (col + 1) * count / width);
        for (int64_t b = first; b < last && b < count; ++b) want[static_cast<size_t>(col)].Merge(brute[static_cast<size_t>(b)]);
      }
      ExpectSame(envelope.Columns(width), want);
    }
    if (c.Fed >= static_cast<size_t>(c.Total) && c.Total > 0) {
      const TEnvelopeBucket all = envelope.Columns(1)[0];
      EXPECT_EQ(all.Min, *std::min_element(samples.begin(), samples.begin() + c.Total));
      EXPECT_EQ(all.Max, *std::max_element(samples.begin(), samples.begin() + c.Total));
    }
  }
}

TEST(Envelope, EdgeCases) {
  TEnvelope empty(0);
  EXPECT_EQ(empty.BucketCount(), 0);
  const std::vector<TEnvelopeBucket> columns = empty.Columns(5);
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_TRUE(std::all_of(columns.begin(), columns.end(), [](auto& b) { return b.Empty(); }));
  EXPECT_TRUE(empty.Columns(0).empty());

  // Padding zeros and saturation marks.
  TEnvelope padded(10, 5);
  const int32_t samples[] = {SampleMaximum, 3, -4, SampleMinimum};
  padded.Add(samples, 4);
  padded.AddZeros(100);
  EXPECT_EQ(padded.SamplesFed(), 10);
  const std::vector<TEnvelopeBucket>& b = padded.Buckets();
  EXPECT_TRUE(b[0].Saturated());
  EXPECT_FALSE(b[2].Saturated());
  EXPECT_TRUE(b[1].Saturated());
  EXPECT_EQ(b[1].Min, SampleMinimum);
  EXPECT_EQ(b[1].Max, -4);
  EXPECT_EQ(b[4].Min, 0);
  EXPECT_EQ(b[4].Max, 0);
  EXPECT_FALSE(TEnvelopeBucket{}.Saturated());
}

std::vector<uint8_t> Frame(std::initializer_list<int32_t> values) {
  std::vector<uint8_t> bytes;
  for (const int32_t v : values) {
    const uint32_t u = static_cast<uint32_t>(v);
    bytes.push_back(static_cast<uint8_t>(u >> 16));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
    bytes.push_back(static_cast<uint8_t>(u));
  }
  return bytes;
}

TEST(EventDigest, SplitsFramesPerChannel) {
  // Three channels, 10000 frames in uneven runs (the digest splits in chunks of its own),
  // then 5 frames of padding.
  const int64_t frames = 10'000;
  std::vector<uint8_t> bytes;
  std::vector<std::vector<int32_t>> want(3);
  for (int64_t i = 0; i < frames; ++i) {
    const int32_t a = static_cast<int32_t>(i % 7) - 3;
    const int32_t b = i == 4321 ? SampleMinimum : i == 77 ? SampleMaximum : static_cast<int32_t>(i * 800);
    const int32_t c = -1;
    const std::vector<uint8_t> frame = Frame({a, b, c});
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    want[0].push_back(a);
    want[1].push_back(b);
    want[2].push_back(c);
  }
  TEventDigest digest(3, frames + 5, 512);
  digest.AddFrames(bytes.data(), 4097);
  digest.AddFrames(bytes.data() + 3 * 3 * 4097, frames - 4097);
  digest.AddZeroFrames(5);
  EXPECT_EQ(digest.FramesFed(), frames + 5);
  for (int ch = 0; ch < 3; ++ch) {
    SCOPED_TRACE(ch);
    std::vector<int32_t> samples = want[static_cast<size_t>(ch)];
    samples.insert(samples.end(), 5, 0);
    const TChannelFigures f = digest.FiguresOf(ch);
    const TChannelFigures brute = FiguresOf(samples);
    EXPECT_EQ(f.Count, brute.Count);
    EXPECT_EQ(f.Minimum, brute.Minimum);
    EXPECT_EQ(f.Maximum, brute.Maximum);
    EXPECT_EQ(f.Mean, brute.Mean);
    EXPECT_EQ(f.Rms, brute.Rms);
    EXPECT_EQ(f.Saturated, brute.Saturated);
    ExpectSame(digest.EnvelopeOf(ch).Buckets(), BruteBuckets(samples, frames + 5, 512));
  }
  EXPECT_EQ(digest.FiguresOf(1).Saturated, 2);
  EXPECT_EQ(digest.FiguresOf(2).Minimum, -1);
}

}  // namespace
