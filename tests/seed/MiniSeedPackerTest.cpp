// miniSEED records packed by libmseed, read back by libmseed and by mseed2sac.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "support/MiniSeedReadBack.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SeedError.h"
#include "support/TestSupport.h"

namespace {

using seed::TMiniSeedPacker;
using seed::TMiniSeedStream;
using seed::TSeedTime;

// 24-bit counts: a sine with noise, full-scale jumps (differences of 2^24 - 1) and a flat run
// of zeros, as after a failed read.
std::vector<int32_t> Signal(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 300);
  std::vector<int32_t> samples(count);
  for (size_t i = 0; i < count; ++i) {
    samples[i] =
        static_cast<int32_t>(2e6 * std::sin(static_cast<double>(i) * 0.031) + noise(random));
  }
  for (size_t i = count / 3; i < count / 3 + 40 && i < count; ++i) {
    samples[i] = i % 2 ? (1 << 23) - 1 : -(1 << 23);
  }
  for (size_t i = count / 2; i < count / 2 + 5000 && i < count; ++i) samples[i] = 0;
  return samples;
}

struct TPacked {
  std::string Bytes;
  std::vector<size_t> RecordSizes;
};

// Packs the samples in runs of uneven sizes.
TPacked Pack(const TMiniSeedStream& stream, const std::vector<int32_t>& samples) {
  TPacked packed;
  TMiniSeedPacker packer(stream, [&](const char* record, size_t length) {
    packed.Bytes.append(record, length);
    packed.RecordSizes.push_back(length);
  });
  const size_t runs[] = {1, 7, 1000, 4093, 150000, 3};
  size_t at = 0;
  for (size_t r = 0; at < samples.size(); ++r) {
    const size_t run = std::min(runs[r % std::size(runs)], samples.size() - at);
    packer.Add(samples.data() + at, run);
    at += run;
  }
  packer.Finish();
  EXPECT_EQ(packer.SamplesAdded(), static_cast<int64_t>(samples.size()));
  EXPECT_EQ(packer.RecordsPacked(), static_cast<int64_t>(packed.RecordSizes.size()));
  return packed;
}

TMiniSeedStream Stream(double rate, TSeedTime start) {
  TMiniSeedStream stream;
  stream.Codes = {"XX", "023", "00", "DHZ"};
  stream.SampleRate = rate;
  stream.Start = start;
  return stream;
}

// Checks every record against the stream and the samples; returns the records.
std::vector<TReadRecord> CheckRecords(const TMiniSeedStream& stream, const TPacked& packed,
                                      const std::vector<int32_t>& samples) {
  const std::vector<TReadRecord> records = ReadRecords(packed.Bytes);
  const int64_t start = stream.Start.EpochMicroseconds();
  size_t index = 0;
  for (size_t r = 0; r < records.size(); ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    const TReadRecord& record = records[r];
    EXPECT_EQ(packed.RecordSizes[r], static_cast<size_t>(stream.RecordLength));
    EXPECT_EQ(record.Length, stream.RecordLength);
    EXPECT_EQ(record.Network, stream.Codes.Network);
    EXPECT_EQ(record.Station, stream.Codes.Station);
    EXPECT_EQ(record.Location, stream.Codes.Location);
    EXPECT_EQ(record.Channel, stream.Codes.Channel);
    EXPECT_EQ(record.Quality, 'D');
    EXPECT_EQ(record.Encoding, DE_STEIM2);
    EXPECT_TRUE(record.BigEndian);
    EXPECT_EQ(record.Rate, stream.SampleRate);
    EXPECT_EQ(record.Sequence, static_cast<int>(r) + 1);
    // Saturation is flagged on the records that hold a saturated sample, and on no other.
    const auto saturated = [&](int32_t sample) {
      return sample <= stream.Saturation->Low || sample >= stream.Saturation->High;
    };
    const bool holdsSaturated =
        stream.Saturation &&
        std::any_of(record.Samples.begin(), record.Samples.end(), saturated);
    EXPECT_EQ(record.QualityFlags, holdsSaturated ? 0x01 : 0x00);
    EXPECT_EQ(record.IoFlags, stream.ClockLocked ? 0x20 : 0x00);
    // Start time of the record's first sample, to the 100 us a record header holds.
    const int64_t expected =
        start + std::llround(static_cast<double>(index) * 1e6 / stream.SampleRate);
    EXPECT_LE(std::llabs(record.Start - expected), 100) << record.Start << " " << expected;
    if (index + record.Samples.size() > samples.size()) {
      ADD_FAILURE() << "more samples than were packed";
      break;
    }
    const bool same = std::equal(record.Samples.begin(), record.Samples.end(),
                                 samples.begin() + static_cast<ptrdiff_t>(index));
    EXPECT_TRUE(same);
    index += record.Samples.size();
  }
  EXPECT_EQ(index, samples.size());
  return records;
}

TEST(MiniSeedPacker, EveryRecordReadsBackWithItsCodesTimeRateFlagsAndSamples) {
  struct TCase {
    int RecordLength;
    bool Saturation;
    double Rate;
  };
  const TCase cases[] = {{4096, false, 250}, {512, true, 250}, {4096, true, 1000}, {512, false, 3}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.RecordLength) + (c.Saturation ? " saturated " : " ") +
                 std::to_string(c.Rate));
    TMiniSeedStream stream =
        Stream(c.Rate, TSeedTime::FromMilliseconds(2026, 6, 14, 10, 23, 47, 123));
    stream.RecordLength = c.RecordLength;
    if (c.Saturation) {
      // The signal's full-scale jumps are saturated; its sine is not.
      stream.Saturation = TMiniSeedStream::TSaturation{-(1 << 23), (1 << 23) - 1};
      stream.ClockLocked = true;
    }
    const std::vector<int32_t> samples = Signal(200'000, 7);
    const TPacked packed = Pack(stream, samples);
    const std::vector<TReadRecord> records = CheckRecords(stream, packed, samples);
    ASSERT_FALSE(records.empty());
    const auto flagged = std::count_if(records.begin(), records.end(),
                                       [](const TReadRecord& r) { return r.QualityFlags != 0; });
    if (c.Saturation) {
      EXPECT_GE(flagged, 1);
      EXPECT_LE(flagged, 2);  // the 40 jumps lie in one record, or across two
    } else {
      EXPECT_EQ(flagged, 0);
    }
    EXPECT_EQ(records.front().Start, stream.Start.EpochMicroseconds());
    // Big-endian fixed header: the year 2026 at byte 20.
    EXPECT_EQ(static_cast<uint8_t>(packed.Bytes[20]), 2026 >> 8);
    EXPECT_EQ(static_cast<uint8_t>(packed.Bytes[21]), 2026 & 0xFF);
  }
}

TEST(MiniSeedPacker, ARecordNeverSpansMidnightNorTheNewYear) {
  struct TCase {
    const char* Title;
    double Rate;
    TSeedTime Start;
    size_t Samples;
    int64_t FirstOfNewDay;  // sample index
    TSeedTime NewDayStart;
  };
  const TCase cases[] = {
      {"midnight", 100, TSeedTime::FromMilliseconds(2026, 6, 14, 23, 59, 30, 500), 6000, 2950,
       TSeedTime::FromMilliseconds(2026, 6, 15, 0, 0, 0, 0)},
      {"new year", 3, TSeedTime::FromMilliseconds(2025, 12, 31, 23, 59, 50, 200), 100, 30,
       TSeedTime::FromMilliseconds(2026, 1, 1, 0, 0, 0, 200)},
      {"two midnights", 1, TSeedTime::FromMilliseconds(2024, 2, 28, 23, 0, 0, 0), 3600 + 86400 + 10,
       3600, TSeedTime::FromMilliseconds(2024, 2, 29, 0, 0, 0, 0)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    const TMiniSeedStream stream = Stream(c.Rate, c.Start);
    const std::vector<int32_t> samples = Signal(c.Samples, 3);
    const TPacked packed = Pack(stream, samples);
    const std::vector<TReadRecord> records = CheckRecords(stream, packed, samples);
    size_t index = 0;
    bool splitFound = false;
    for (const TReadRecord& record : records) {
      const int64_t last =
          record.Start +
          std::llround(static_cast<double>(record.Samples.size() - 1) * 1e6 / c.Rate);
      EXPECT_EQ(record.Start / seed::MicrosecondsPerDay, last / seed::MicrosecondsPerDay)
          << "record from " << TSeedTime::FromEpochMicroseconds(record.Start).Text();
      if (static_cast<int64_t>(index) == c.FirstOfNewDay) {
        splitFound = true;
        EXPECT_EQ(record.Start, c.NewDayStart.EpochMicroseconds());
      }
      index += record.Samples.size();
    }
    EXPECT_TRUE(splitFound);
  }
}

TEST(MiniSeedPacker, AnImpossibleStreamIsRefusedBeforeAnyRecord) {
  struct TCase {
    const char* Title;
    double Rate;
    TSeedTime Start;
    int RecordLength;
    const char* Network;
    const char* Error;
  };
  const TSeedTime good = TSeedTime::FromMilliseconds(2026, 6, 14, 10, 23, 47, 123);
  const TCase cases[] = {
      {"zero rate", 0, good, 4096, "XX", "sample rate 0 Hz: it must be above 0"},
      {"negative rate", -250, good, 4096, "XX", "sample rate -250 Hz: it must be above 0"},
      {"month 13", 250, TSeedTime::FromMilliseconds(2026, 13, 1, 0, 0, 0, 0), 4096, "XX",
       "start time 2026-13-01 00:00:00.000 does not exist"},
      {"29 February 2026", 250, TSeedTime::FromMilliseconds(2026, 2, 29, 0, 0, 0, 0), 4096, "XX",
       "start time 2026-02-29 00:00:00.000 does not exist"},
      {"hour 24", 250, TSeedTime::FromMilliseconds(2026, 6, 14, 24, 0, 0, 0), 4096, "XX",
       "start time 2026-06-14 24:00:00.000 does not exist"},
      {"record length", 250, good, 1000, "XX",
       "record length 1000: it must be a power of two from 256 to 65536"},
      {"network", 250, good, 4096, "XXX", "network code 'XXX': it must have 1 or 2 characters"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    TMiniSeedStream stream = Stream(c.Rate, c.Start);
    stream.RecordLength = c.RecordLength;
    stream.Codes.Network = c.Network;
    try {
      TMiniSeedPacker packer(stream,
                             [](const char*, size_t) { ADD_FAILURE() << "record written"; });
      ADD_FAILURE() << "accepted";
    } catch (const seed::ESeedError& error) {
      EXPECT_STREQ(error.what(), c.Error);
    }
  }
  TMiniSeedPacker packer(Stream(250, good), [](const char*, size_t) {});
  const int32_t tooLarge[] = {0, 1 << 28};
  EXPECT_THROW(packer.Add(tooLarge, 2), seed::ESeedError);
  EXPECT_EQ(packer.SamplesAdded(), 0);
}

TEST(MiniSeedPacker, AFailingSinkStopsThePacking) {
  int calls = 0;
  TMiniSeedPacker packer(Stream(250, TSeedTime::FromMilliseconds(2026, 6, 14, 0, 0, 0, 0)),
                         [&](const char*, size_t) {
                           ++calls;
                           throw std::runtime_error("disk full");
                         });
  const std::vector<int32_t> samples = Signal(300'000, 1);
  EXPECT_THROW(packer.Add(samples.data(), samples.size()), std::runtime_error);
  EXPECT_EQ(calls, 1);
  EXPECT_THROW(packer.Add(samples.data(), 1), std::logic_error);
}

TEST(MiniSeedPacker, Mseed2sacReadsTheSamplesBack) {
  if (std::system("command -v mseed2sac >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "mseed2sac is not installed";
  }
  testing_support::TTempDir dir;
  const TMiniSeedStream stream =
      Stream(250, TSeedTime::FromMilliseconds(2026, 6, 14, 10, 23, 47, 123));
  const std::vector<int32_t> samples = Signal(100'000, 11);
  testing_support::WriteWholeFile(dir / "event.mseed", Pack(stream, samples).Bytes);
  const std::string command =
      "cd '" + dir.Path() + "' && mseed2sac -f 3 event.mseed >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string sacName;
  for (const std::string& name : testing_support::FilesIn(dir.Path())) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".SAC") sacName = name;
  }
  ASSERT_EQ(sacName.rfind("XX.023.00.DHZ.D.2026.165.102347", 0), 0u) << sacName;
  const std::string sac = testing_support::ReadWholeFile(dir / sacName);
  ASSERT_EQ(sac.size(), 632 + 4 * samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    float value;
    std::memcpy(&value, sac.data() + 632 + 4 * i, 4);  // little-endian, as this machine
    ASSERT_EQ(value, static_cast<float>(samples[i])) << "sample " << i;
  }
}

}  // namespace
