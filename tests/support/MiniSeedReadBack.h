#pragma once
// miniSEED records read back by libmseed, with their samples decoded, for the tests.

#include <libmseed.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

struct TReadRecord {
  std::string Network, Station, Location, Channel;
  char Quality = 0;
  int64_t Start = 0;  // microseconds since 1970
  double Rate = 0;
  int Sequence = 0;
  int Length = 0;
  int Encoding = -1;  // from blockette 1000
  bool BigEndian = false;
  uint8_t QualityFlags = 0;
  uint8_t IoFlags = 0;  // I/O and clock flags
  std::vector<int32_t> Samples;
};

inline std::vector<TReadRecord> ReadRecords(const std::string& bytes) {
  std::vector<TReadRecord> records;
  std::vector<char> copy(bytes.begin(), bytes.end());
  MSRecord* msr = nullptr;
  size_t at = 0;
  while (at < copy.size()) {
    const int length = ms_detect(copy.data() + at, static_cast<int>(copy.size() - at));
    EXPECT_GT(length, 0) << "no record at byte " << at;
    if (length <= 0) break;
    const int parsed = msr_parse(copy.data() + at, length, &msr, length, 1, 0);
    EXPECT_EQ(parsed, MS_NOERROR) << "record at byte " << at;
    if (parsed != MS_NOERROR) break;
    TReadRecord record;
    record.Network = msr->network;
    record.Station = msr->station;
    record.Location = msr->location;
    record.Channel = msr->channel;
    record.Quality = msr->dataquality;
    record.Start = msr->starttime;
    record.Rate = msr->samprate;
    record.Sequence = msr->sequence_number;
    record.Length = msr->reclen;
    record.Encoding = msr->Blkt1000 ? msr->Blkt1000->encoding : -1;
    record.BigEndian = msr->Blkt1000 && msr->Blkt1000->byteorder == 1;
    record.QualityFlags = msr->fsdh->dq_flags;
    record.IoFlags = msr->fsdh->io_flags;
    EXPECT_EQ(msr->sampletype, 'i');
    const auto* samples = static_cast<const int32_t*>(msr->datasamples);
    record.Samples.assign(samples, samples + msr->numsamples);
    records.push_back(std::move(record));
    at += static_cast<size_t>(length);
  }
  msr_free(&msr);
  return records;
}
