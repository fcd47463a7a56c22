#pragma once
// StationXML of a card's events: one summary per event walked on the card (codes and
// positions from the product options), the inventory built, the document written.

#include <optional>
#include <string>
#include <vector>

#include "card/TarqCard.h"
#include "seed/ProductOptions.h"
#include "seed/SeedTime.h"
#include "seed/StationInventory.h"

struct TStationXmlExport {
  std::string Text;                   // the document; empty when no event could be described
  std::vector<std::string> Warnings;  // events left out, stations without a position
};

// events: the card's events (from 0, ascending) in the card's restore mode, as a download
// would convert them. An event that makes no channel (a rate of 0 or below, a date that does
// not exist, no channel) is left out with a warning. Throws seed::ESeedError for codes that
// cannot be used, platform::EInOutError when the card cannot be read.
TStationXmlExport ExportStationXml(TTarqCard& card, const std::vector<int>& events,
                                   const TProductOptions& products, const std::string& source,
                                   const seed::TSeedTime& created);
// The summary of one event header, as a download converts it (its year from probeDate); none
// for an event that makes no channel (see ExportStationXml).
std::optional<seed::TEventSummary> StationXmlSummaryOf(const TEventHeader& header,
                                                       int32_t epromVersion,
                                                       const TProbeDate& probeDate);
// The summaries of the card's events for StationXML (see ExportStationXml), the events left
// out added to `warnings`; several cards' summaries make one inventory.
std::vector<seed::TEventSummary> StationXmlSummaries(TTarqCard& card,
                                                     const std::vector<int>& events,
                                                     std::vector<std::string>& warnings);
// The document of summaries (empty Text when there is none). Throws seed::ESeedError.
TStationXmlExport StationXmlOf(const std::vector<seed::TEventSummary>& summaries,
                               const TProductOptions& products, const std::string& source,
                               const seed::TSeedTime& created);
// The current time, UTC.
seed::TSeedTime SeedTimeNow();
