#pragma once
// The samples of one channel over a time window, decoded from the archive's records by
// libmseed: records of version 2 as they are, records of version 3 with their payload put in a
// version 2 frame (the encodings are the same), since the installed libmseed reads version 2
// only.
//
// Consecutive records whose samples follow on within half a sample period make one run;
// samples that repeat time already covered (an overlap) are dropped, and a gap or a change of
// rate starts a new run.

#include <cstdint>
#include <vector>

#include "survey/ArchiveIndex.h"

namespace survey {

struct TSampleRun {
  int64_t Start = 0;  // the first sample's time, microseconds since 1970
  double Rate = 0;    // Hz
  std::vector<double> Samples;
  // The time just after the last sample.
  int64_t End() const;
  // The time of sample i.
  int64_t TimeOf(int64_t i) const;
};

struct TChannelSamples {
  std::vector<TSampleRun> Runs;  // in time order
  std::vector<TArchiveProblem> Problems;  // records that could not be decoded
  int64_t SampleCount() const;
};

// The samples with times in [from, to).
TChannelSamples ReadChannelSamples(const TArchiveIndex& index, const TChannelRecords& channel,
                                   int64_t from, int64_t to);

// Decodes one record (all its bytes) into `samples` (appended). Returns an empty text, or why
// the record cannot be decoded.
std::string DecodeRecord(const unsigned char* record, size_t length, std::vector<double>& samples);

}  // namespace survey
