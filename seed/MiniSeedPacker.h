#pragma once
// miniSEED 2.4 records of one channel, packed by libmseed as the samples arrive.
//
// Records are big-endian, Steim-2 compressed, of RecordLength bytes (4096 by default, or 512),
// with data quality indicator 'D', a blockette 1000 and sequence numbers counting from 1 over
// the stream. The first record starts at Start; each record's start time is that of its first
// sample (start + n / rate, to the microsecond as libmseed keeps it). A record that holds a
// saturated sample (Saturation) carries data quality flag bit 0 ("amplifier saturation
// detected"); the other records of the stream do not. With ClockLocked every record carries
// I/O and clock flag bit 5 ("clock locked").
//
// A record never spans midnight UTC: the first sample of a new day (and so of a new year)
// begins a new record, whose start time is that sample's own time.
//
// Samples are the recorder's counts: any value in [-2^28, 2^28) (24-bit counts fit with room
// to spare), so that every difference fits Steim-2's 30 bits.
//
//   seed::TMiniSeedPacker packer(stream, [&](const char* record, size_t length) { ... });
//   packer.Add(samples, count);   // as often as needed; records come out as they fill
//   packer.Finish();              // packs the rest in a last, shorter record
//
// Records reach the sink in time order. An exception thrown by the sink stops the packer and
// comes out of the Add or Finish that packed the record. Not for use by two threads at once.
// Distinct packers may run on distinct threads once one record has been packed in the process:
// libmseed reads its packing settings from the environment into globals on first use.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

#include "seed/SeedCodes.h"
#include "seed/SeedTime.h"

struct MSRecord_s;

namespace seed {

inline constexpr int DefaultRecordLength = 4096;
inline constexpr int SmallRecordLength = 512;
// The record lengths the user may choose.
inline constexpr bool IsOfferedRecordLength(int length) {
  return length == DefaultRecordLength || length == SmallRecordLength;
}
inline constexpr int32_t LowestSample = -(1 << 28);
inline constexpr int32_t HighestSample = (1 << 28) - 1;

struct TMiniSeedStream {
  TChannelCodes Codes;
  double SampleRate = 0;                   // Hz, above 0
  TSeedTime Start;                         // the first sample's time, UTC
  int RecordLength = DefaultRecordLength;  // a power of two, 256 to 65536
  // A sample at or below Low, or at or above High, is saturated. Unset: none is.
  struct TSaturation {
    int32_t Low = 0;
    int32_t High = 0;
  };
  std::optional<TSaturation> Saturation;
  bool ClockLocked = false;  // the recorder's clock was locked to GPS time
};

class TMiniSeedPacker {
 public:
  using TRecordSink = std::function<void(const char* record, size_t length)>;

  // Throws ESeedError, before anything is packed, for invalid codes, a rate <= 0 or one that
  // a record cannot hold, a start time that does not exist, or a bad record length. The
  // message names what was refused ("sample rate 0 Hz: it must be above 0").
  TMiniSeedPacker(const TMiniSeedStream& stream, TRecordSink sink);
  ~TMiniSeedPacker();
  TMiniSeedPacker(const TMiniSeedPacker&) = delete;
  TMiniSeedPacker& operator=(const TMiniSeedPacker&) = delete;

  // Adds samples; throws ESeedError for a sample out of range (none of the run is added).
  void Add(const int32_t* samples, size_t count);
  // Packs what is left. Nothing may be added afterwards.
  void Finish();

  int64_t SamplesAdded() const { return Added; }
  int64_t RecordsPacked() const { return Records; }
  // The time of sample `index` of the stream, in microseconds since 1970.
  int64_t SampleTime(int64_t index) const;

 private:
  static void Collect(char* record, int length, void* self);
  void Pack(bool flush);
  void StartSegment(int64_t firstSample);
  int64_t FirstSampleOfNextDay(int64_t sampleIndex) const;

  TRecordSink Sink;
  MSRecord_s* Record = nullptr;
  double Rate = 0;
  int64_t StartTime = 0;         // microseconds since 1970
  int64_t Added = 0;             // samples added
  int64_t Records = 0;           // records given to the sink
  int64_t NextBoundary = 0;      // index of the first sample of the next day
  std::vector<int32_t> Pending;  // samples of the current day not yet packed
  size_t PackedOfPending = 0;    // of Pending, the samples in the records packed so far
  std::optional<TMiniSeedStream::TSaturation> Saturation;
  std::exception_ptr SinkError;
  bool Finished = false;
};

}  // namespace seed
