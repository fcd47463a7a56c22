#pragma once
// StationXML of a card's events: one summary per event walked on the card (codes and
// positions from the product options), the inventory built, the document written.

#include <string>
#include <vector>

#include "card/TarqCard.h"
#include "seed/ProductOptions.h"
#include "seed/SeedTime.h"

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
// The current time, UTC.
seed::TSeedTime SeedTimeNow();
