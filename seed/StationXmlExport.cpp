#include "seed/StationXmlExport.h"

#include <algorithm>
#include <chrono>

#include "event/EventValues.h"
#include "seed/SeedError.h"
#include "seed/StationInventory.h"

seed::TSeedTime SeedTimeNow() {
  const auto now =
      std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
  return seed::TSeedTime::FromEpochMicroseconds(now.time_since_epoch().count());
}

std::optional<seed::TEventSummary> StationXmlSummaryOf(const TEventHeader& e, int32_t epromVersion,
                                                       const TProbeDate& probeDate) {
  seed::TEventSummary summary;
  summary.Serial = e.StationSerial;
  summary.ChannelCount = e.ChannelCount;
  summary.SampleRate = e.SampleRate;
  const TEventValues values = EventValuesOf(e, epromVersion, probeDate);
  summary.Start = values.Start;
  summary.Fix = seed::GpsFixOf(e);
  summary.Gain = e.Gain;
  summary.CountsPerVolt = values.ConversionFactor;
  if (e.SampleRate <= 0 || e.ChannelCount < 1 || e.ChannelCount > MaxChannels ||
      !summary.Start.IsValid()) {
    return std::nullopt;
  }
  const int64_t samples = std::max<int32_t>(e.SamplesPerChannel, 0);
  summary.End = seed::TSeedTime::FromEpochMicroseconds(
      summary.Start.EpochMicroseconds() + samples * seed::MicrosecondsPerSecond / e.SampleRate);
  return summary;
}

std::vector<seed::TEventSummary> StationXmlSummaries(TTarqCard& card,
                                                     const std::vector<int>& events,
                                                     std::vector<std::string>& warnings) {
  std::vector<seed::TEventSummary> summaries;
  if (events.empty() || !card.OpenDataFile()) return summaries;
  try {
    for (const TEventEntry& entry : card.WalkEvents(events.back() + 1, nullptr)) {
      if (!std::binary_search(events.begin(), events.end(), entry.Line - 1)) continue;
      const TEventHeader& e = entry.Header;
      if (std::optional<seed::TEventSummary> summary =
              StationXmlSummaryOf(e, card.EpromVersion, card.ProbeDate)) {
        summaries.push_back(*summary);
      } else {
        warnings.push_back(e.OriginalFileName +
                           " left out: it has no valid start, rate or channels");
      }
    }
  } catch (...) {
    card.CloseDataFile();
    throw;
  }
  card.CloseDataFile();
  return summaries;
}

TStationXmlExport StationXmlOf(const std::vector<seed::TEventSummary>& summaries,
                               const TProductOptions& products, const std::string& source,
                               const seed::TSeedTime& created) {
  TStationXmlExport result;
  if (summaries.empty()) return result;
  const seed::TCodeOptions codes{products.Network, products.Sheet.get()};
  seed::TInventory inventory = seed::BuildInventory(summaries, codes);
  result.Warnings.insert(result.Warnings.end(), inventory.Warnings.begin(),
                         inventory.Warnings.end());
  result.Text = seed::StationXmlText(inventory.Networks, source, created);
  return result;
}

TStationXmlExport ExportStationXml(TTarqCard& card, const std::vector<int>& events,
                                   const TProductOptions& products, const std::string& source,
                                   const seed::TSeedTime& created) {
  std::vector<std::string> warnings;
  const std::vector<seed::TEventSummary> summaries = StationXmlSummaries(card, events, warnings);
  TStationXmlExport result = StationXmlOf(summaries, products, source, created);
  warnings.insert(warnings.end(), result.Warnings.begin(), result.Warnings.end());
  result.Warnings = std::move(warnings);
  return result;
}
