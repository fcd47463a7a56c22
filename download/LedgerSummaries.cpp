#include "download/LedgerSummaries.h"

#include "event/EventValues.h"

TEventHeaderValues HeaderValuesOf(const seed::TEventSummary& summary) {
  TEventHeaderValues values;
  values.Serial = summary.Serial;
  values.ChannelCount = summary.ChannelCount;
  values.SampleRate = summary.SampleRate;
  values.Start = summary.Start.EpochMicroseconds();
  values.End = summary.End.EpochMicroseconds();
  values.Fix = summary.Fix;
  values.Gain = summary.Gain;
  values.CountsPerVolt = summary.CountsPerVolt;
  return values;
}

seed::TEventSummary SummaryOf(const TEventHeaderValues& values) {
  seed::TEventSummary summary;
  summary.Serial = values.Serial;
  summary.ChannelCount = values.ChannelCount;
  summary.SampleRate = values.SampleRate;
  summary.Start = seed::TSeedTime::FromEpochMicroseconds(values.Start);
  summary.End = seed::TSeedTime::FromEpochMicroseconds(values.End);
  summary.Fix = values.Fix;
  summary.Gain = values.Gain;
  summary.CountsPerVolt = values.CountsPerVolt;
  return summary;
}

namespace {

// Values a download records (StationXmlSummaryOf's checks); a row edited by hand may hold
// others, which describe nothing.
bool Describable(const TEventHeaderValues& v) {
  constexpr int64_t Year3000 = 32'503'680'000 * seed::MicrosecondsPerSecond;
  return v.ChannelCount >= 1 && v.ChannelCount <= MaxChannels && v.SampleRate > 0 && v.Start >= 0 &&
         v.Start <= v.End && v.End < Year3000;
}

}  // namespace

TArchiveSummaries ArchiveSummaries(TLedger& ledger, const std::string& root) {
  TArchiveSummaries result;
  for (const TArchivedEvent& event : ledger.ArchivedEvents(root)) {
    ++result.Events;
    if (event.Values && Describable(*event.Values)) {
      result.Summaries.push_back(SummaryOf(*event.Values));
    } else {
      ++result.WithoutValues;
    }
  }
  return result;
}
