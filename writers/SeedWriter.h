#pragma once
// What the miniSEED file and the SDS archive share: one miniSEED record stream per channel
// of the event, packed as the frames arrive. The samples are the card's 24-bit counts (the
// zeros of padding included); the streams start at the event's start (its year inferred as
// for every other kind) and carry the codes of the run's product options. A record holding a
// saturated sample carries the saturation flag; the records of an event recorded with a GPS
// fix carry the clock-locked flag.
//
// Before an event's files are created the run asks Refusal: an event whose records cannot
// exist (a sample rate of 0 or below, a date that does not exist, a serial that makes no
// station code) is refused by the kind alone, which then writes nothing for it.
//
// The miniSEED file and the SDS archive of one run pack the same records, byte for byte: the
// same streams (codes, rate, start, record length and flags, all from the event and the run's
// product options), the same samples, sequence numbers counted over each stream from 1, and
// records cut at midnight alike. So when both are chosen the first packs them once and hands
// each record to the second too (Lead), instead of both encoding them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "writers/EventWriter.h"
#include "seed/MiniSeedPacker.h"

class TSeedWriter : public TEventWriter {
 public:
  using TEventWriter::TEventWriter;

 protected:
  std::string DoRefusal(const TEventSetup& event) override;
  void DoWriteFrames(const uint8_t* frames, int64_t count) override;
  void DoPad(int64_t frames) override;
  void DoEndEvent() override;
  bool DoLead(TEventWriter& other) override;

 protected:
  // A record of channel c (from 0) packed: on the thread of WriteFrames, or of EndEvent.
  virtual void TakeRecord(int channel, const char* record, size_t length) = 0;
  // The channels' streams are finished: every record was taken.
  virtual void StreamsFinished() {}
  void Closed() override;
  // Streams of the event in hand (empty for a refused event, and for a led kind).
  std::vector<std::unique_ptr<seed::TMiniSeedPacker>> Packers;
  // The event in hand has records (the kind did not refuse it).
  bool HasStreams() const { return Open; }

 private:
  // A record of channel c packed by this kind's streams.
  void Packed(int channel, const char* record, size_t length);

  std::vector<std::vector<int32_t>> Samples;  // one channel's decoded frames each
  std::vector<TSeedWriter*> Followers;        // kinds given this kind's records (Lead)
  TSeedWriter* Leader = nullptr;              // the kind whose records this one takes
  bool Open = false;                          // the event in hand has streams (not refused)
};
