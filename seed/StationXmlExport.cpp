#include "seed/StationXmlExport.h"

#include <algorithm>
#include <chrono>

#include "card/CardLayout.h"
#include "event/EventValues.h"
#include "seed/SeedError.h"
#include "seed/StationInventory.h"

using card_layout::FirstEventRecord;

seed::TSeedTime SeedTimeNow() {
  const auto now =
      std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
  return seed::TSeedTime::FromEpochMicroseconds(now.time_since_epoch().count());
}

TStationXmlExport ExportStationXml(TTarqCard& card, const std::vector<int>& events,
                                   const TProductOptions& products, const std::string& source,
                                   const seed::TSeedTime& created) {
  TStationXmlExport result;
  std::vector<seed::TEventSummary> summaries;
  if (events.empty() || !card.OpenDataFile()) return result;
  try {
    card.DataFile.Seek(FirstEventRecord);
    const TEventHeader& e = card.Event;
    for (int i = 0; i <= events.back(); ++i) {
      if (!card.ReadEventHeader(card.RestoreMode)) break;
      if (std::binary_search(events.begin(), events.end(), i)) {
        seed::TEventSummary summary;
        summary.Serial = e.StationSerial;
        summary.ChannelCount = e.ChannelCount;
        summary.SampleRate = e.SampleRate;
        summary.Start = seed::EventStart(e, EventValuesOf(e, card.EpromVersion, card.ProbeDate));
        summary.Fix = seed::GpsFixOf(e);
        if (e.SampleRate <= 0 || e.ChannelCount < 1 || e.ChannelCount > MaxChannels ||
            !summary.Start.IsValid()) {
          result.Warnings.push_back(e.OriginalFileName +
                                    " left out: it has no valid start, rate or channels");
        } else {
          const int64_t samples = std::max<int32_t>(e.SamplesPerChannel, 0);
          summary.End = seed::TSeedTime::FromEpochMicroseconds(
              summary.Start.EpochMicroseconds() +
              samples * seed::MicrosecondsPerSecond / e.SampleRate);
          summaries.push_back(summary);
        }
      }
      card.SkipEventData();
    }
  } catch (...) {
    card.CloseDataFile();
    throw;
  }
  card.CloseDataFile();
  if (summaries.empty()) return result;
  const seed::TCodeOptions codes{products.Network, products.Sheet.get()};
  seed::TInventory inventory = seed::BuildInventory(summaries, codes);
  result.Warnings.insert(result.Warnings.end(), inventory.Warnings.begin(),
                         inventory.Warnings.end());
  result.Text = seed::StationXmlText(inventory.Networks, source, created);
  return result;
}
