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

 protected:
  // A record of channel c (from 0) packed: on the thread of WriteFrames, or of EndEvent.
  virtual void TakeRecord(int channel, const char* record, size_t length) = 0;
  // The channels' streams are finished: every record was taken.
  virtual void StreamsFinished() {}
  void Closed() override;
  // Streams of the event in hand (empty for a refused event).
  std::vector<std::unique_ptr<seed::TMiniSeedPacker>> Packers;

 private:
  std::vector<std::vector<int32_t>> Samples;  // one channel's decoded frames each
};
