#pragma once
// What an archive holds, channel by channel: the spans of continuous data, the gaps and
// overlaps between consecutive records, and the share of each day covered.
//
// Records are taken in start-time order. A record continues the data when it starts where
// the data so far end, within tolerance; it opens a gap when it starts more than 1.5 sample
// periods after that end (the gap starts at the end of the data before it and lasts until the
// record's start), and it overlaps when it starts more than half a sample period before that
// end (the overlap starts at the record's start and lasts while both cover the same time;
// records met while a stretch sent twice is read, interleaved by start time, extend it).
// The half period allows for start times rounded to the header's resolution. The sample
// period is the earlier record's.

#include <cstdint>
#include <string>
#include <vector>

#include "survey/ArchiveIndex.h"

namespace survey {

struct TTimeSpan {
  int64_t Start = 0;  // microseconds since 1970
  int64_t End = 0;
  friend bool operator==(const TTimeSpan&, const TTimeSpan&) = default;
};

// A gap or an overlap.
struct TDataBreak {
  int64_t Start = 0;
  int64_t Length = 0;  // microseconds
  friend bool operator==(const TDataBreak&, const TDataBreak&) = default;
};

struct TDayCoverage {
  int64_t Day = 0;       // days since 1970
  double Percent = 0;    // of the day's 86 400 s covered by the channel's spans
};

struct TChannelAvailability {
  std::string Id;
  double Rate = 0;  // Hz, of the channel's first record
  int64_t Records = 0;
  std::vector<TTimeSpan> Spans;  // in time order, not touching
  std::vector<TDataBreak> Gaps;
  std::vector<TDataBreak> Overlaps;
  std::vector<TDayCoverage> Days;  // every day of the campaign, in order
};

// The days of the campaign: from the first day any channel has data to the last.
struct TCampaignDays {
  int64_t First = 0;
  int64_t Last = -1;  // First > Last: no data
  int64_t Count() const { return Last - First + 1; }
};

TCampaignDays CampaignDays(const TArchiveIndex& index);
TChannelAvailability ChannelAvailability(const TChannelRecords& channel,
                                         const TCampaignDays& days);
std::vector<TChannelAvailability> ArchiveAvailability(const TArchiveIndex& index);

}  // namespace survey
