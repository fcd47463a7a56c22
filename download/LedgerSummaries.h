#pragma once
// The events of an archive described from the download ledger rather than from their cards:
// the header values the ledger keeps with each save are the StationXML summaries of a card's
// events (seed/StationXmlExport.h), stored.

#include <string>
#include <vector>

#include "ledger/Ledger.h"
#include "seed/StationInventory.h"

// A summary as the ledger keeps it, and back; SummaryOf(HeaderValuesOf(s)) equals s.
TEventHeaderValues HeaderValuesOf(const seed::TEventSummary& summary);
seed::TEventSummary SummaryOf(const TEventHeaderValues& values);

struct TArchiveSummaries {
  std::vector<seed::TEventSummary> Summaries;  // one per event filed, whatever its saves
  int Events = 0;                              // events the ledger records in the archive
  // Of those, the events whose saves have no values (recorded by an older version, or by hand
  // and unusable): their cards' StationXML describes them.
  int WithoutValues = 0;
};

// The summaries of the events the ledger records as filed into the archive at `root`.
TArchiveSummaries ArchiveSummaries(TLedger& ledger, const std::string& root);
