#pragma once
// A campaign's cards into one SDS archive: every live event of every card filed, the cards read
// at the same time (one card reader each, one run each), then one summary of what went where.
//
// Each card is a download run of its own (TDownloadRun) with the SDS kind rooted at the
// archive, and the per-event kinds, when asked for, into their own directory. The archive's
// writers take turns per station (seed/SdsLock.h), so cards of one station filed at once lose
// nothing. A card that fails stops alone: the others go on, and its summary names what was
// saved and what was not.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "card/TarqCard.h"
#include "ledger/Ledger.h"
#include "seed/ProductOptions.h"
#include "writers/OutputKinds.h"

struct TIngestOptions {
  std::string Archive;                          // the SDS archive's root
  std::string EventDir;                         // the per-event kinds' directory, "" for none
  std::vector<const TOutputKind*> EventKinds;   // per-event kinds beside the archive
  TProductOptions Products;                     // codes, sheet and record length, checked
  bool SerialNr = true;                         // in the per-event files' names
  int Jobs = 1;                                 // cards read at once
  TSaveRecorder* Recorder = nullptr;            // where saved events are recorded; may be null
  // Set to stop: the events in hand are not saved, those before them are; cards not begun are
  // left. May be null.
  const std::atomic<bool>* Stop = nullptr;
};

// Data of one channel that overlaps different data of the same channel already filed.
struct TIngestOverlap {
  std::string Channel;  // NET.STA.LOC.CHA
  int64_t Start = 0;    // microseconds since 1970
  double Seconds = 0;
  std::string Event;    // its name on the card
  std::string Card;
};

// Time between two consecutive events of one station without data (normal for triggered
// recording).
struct TIngestGap {
  std::string Station;  // NET.STA, or the recorder's serial when it has no codes
  int64_t Start = 0;    // the end of the event before, microseconds since 1970
  double Seconds = 0;
};

struct TCardIngest {
  std::string Card;          // as it was named
  int Events = 0;            // live events on it
  int Ingested = 0;          // filed, records written
  int Skipped = 0;           // every record already in the archive
  std::vector<std::string> NotSaved;  // events not saved, by name on the card
  std::vector<std::string> Channels;  // NET.STA.LOC.CHA written into, sorted
  std::vector<std::string> DayFiles;  // relative to the archive, sorted
  int64_t Bytes = 0;         // record bytes written into the archive
  std::vector<TIngestOverlap> Overlaps;
  double Seconds = 0;
  std::string Error;         // what stopped the card, "" when nothing did
  std::vector<std::string> Messages;  // what the run said on the way
  bool Saved() const { return Error.empty() && NotSaved.empty(); }
};

// The cards' counts added up; channels and day files counted once however many cards touched them.
struct TIngestTotals {
  int Events = 0, Ingested = 0, Skipped = 0;
  size_t NotSaved = 0, Channels = 0, DayFiles = 0, Overlaps = 0;
  int64_t Bytes = 0;
};

struct TIngestSummary {
  std::vector<TCardIngest> Cards;  // in the order named
  std::vector<TIngestGap> Gaps;    // by station, then time
  double Seconds = 0;
  bool AllSaved() const;
  TIngestTotals Totals() const;
};

// What the ingest tells while it runs, from the cards' threads (one call at a time).
class TIngestProgress {
 public:
  virtual ~TIngestProgress() = default;
  virtual void CardStarted(size_t /*card*/, int /*events*/) {}
  virtual void CardProgress(size_t /*card*/, const std::string& /*event*/, int /*percent*/) {}
  virtual void CardFinished(size_t /*card*/, const TCardIngest& /*result*/) {}
};

// The cards (each probed from its own root, its messages through its own TMessages), ingested
// with up to options.Jobs at once.
TIngestSummary IngestCards(const std::vector<TTarqCard*>& cards,
                           const std::vector<std::string>& names, const TIngestOptions& options,
                           TIngestProgress& progress);

// The gaps between consecutive events of each station: the spans (station, start, end in
// microseconds, sample rate) sorted and compared; a gap is a jump of more than 1.5 sample
// periods.
struct TEventSpan {
  std::string Station;
  int64_t Start = 0;
  int64_t End = 0;
  double Rate = 0;
};
std::vector<TIngestGap> GapsBetween(std::vector<TEventSpan> spans);

// The summary as the lines a terminal (or the window's summary box) shows.
std::string IngestText(const TIngestSummary& summary);
// "2026-06-14T10:23:47.123000Z".
std::string IngestTimeText(int64_t microseconds);
