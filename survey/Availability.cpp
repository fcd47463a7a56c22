#include "survey/Availability.h"

#include <algorithm>
#include <cmath>

#include "survey/SurveyTime.h"

namespace survey {

namespace {

std::vector<TDayCoverage> DayCoverage(const std::vector<TTimeSpan>& spans,
                                      const TCampaignDays& days) {
  std::vector<TDayCoverage> coverage;
  for (int64_t day = days.First; day <= days.Last; ++day) coverage.push_back({day, 0});
  for (const TTimeSpan& span : spans) {
    for (int64_t day = std::max(DayOf(span.Start), days.First);
         day <= std::min(DayOf(span.End - 1), days.Last); ++day) {
      const int64_t covered = std::min(span.End, DayStart(day + 1)) -
                              std::max(span.Start, DayStart(day));
      coverage[static_cast<size_t>(day - days.First)].Percent +=
          100.0 * static_cast<double>(covered) / static_cast<double>(DayMicroseconds);
    }
  }
  for (TDayCoverage& day : coverage) day.Percent = std::min(day.Percent, 100.0);
  return coverage;
}

// The time `record` covers twice, from its start to the end of the data before it; records
// interleaved with those data (a stretch sent twice) extend the overlap they continue.
void AddOverlap(std::vector<TDataBreak>& overlaps, const TRecordEntry& record, int64_t dataEnd,
                double period) {
  const int64_t end = std::min(dataEnd, record.End);
  if (!overlaps.empty()) {
    TDataBreak& last = overlaps.back();
    const int64_t lastEnd = last.Start + last.Length;
    if (static_cast<double>(record.Start - lastEnd) <= 0.5 * period) {
      last.Length = std::max(lastEnd, end) - last.Start;
      return;
    }
  }
  overlaps.push_back({record.Start, end - record.Start});
}

}  // namespace

TCampaignDays CampaignDays(const TArchiveIndex& index) {
  TCampaignDays days{0, -1};
  bool any = false;
  for (const TChannelRecords& channel : index.Channels) {
    for (const TRecordEntry& record : channel.Records) {
      const int64_t first = DayOf(record.Start);
      const int64_t last = DayOf(std::max(record.Start, record.End - 1));
      days.First = any ? std::min(days.First, first) : first;
      days.Last = any ? std::max(days.Last, last) : last;
      any = true;
    }
  }
  return days;
}

TChannelAvailability ChannelAvailability(const TChannelRecords& channel,
                                         const TCampaignDays& days) {
  TChannelAvailability result;
  result.Id = channel.Id;
  result.Records = static_cast<int64_t>(channel.Records.size());
  if (channel.Records.empty()) return result;
  result.Rate = channel.Records.front().Rate;
  TTimeSpan span{channel.Records.front().Start, channel.Records.front().End};
  double period = 1e6 / channel.Records.front().Rate;
  for (size_t i = 1; i < channel.Records.size(); ++i) {
    const TRecordEntry& record = channel.Records[i];
    const double jump = static_cast<double>(record.Start - span.End);
    if (jump > 1.5 * period) {
      result.Gaps.push_back({span.End, record.Start - span.End});
      result.Spans.push_back(span);
      span = {record.Start, record.End};
    } else {
      if (jump < -0.5 * period) AddOverlap(result.Overlaps, record, span.End, period);
      span.End = std::max(span.End, record.End);
    }
    period = 1e6 / record.Rate;
  }
  result.Spans.push_back(span);
  result.Days = DayCoverage(result.Spans, days);
  return result;
}

std::vector<TChannelAvailability> ArchiveAvailability(const TArchiveIndex& index) {
  const TCampaignDays days = CampaignDays(index);
  std::vector<TChannelAvailability> channels;
  for (const TChannelRecords& channel : index.Channels) {
    channels.push_back(ChannelAvailability(channel, days));
  }
  return channels;
}

}  // namespace survey
