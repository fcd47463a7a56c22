#pragma once
// The card as the ledger knows it: its identity read from its files, its events with their
// identities, and which of them have a saved copy. The erase guard and the marks of the event
// list are made of these.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "card/TarqCard.h"
#include "convert/EventIdentity.h"
#include "convert/Ledger.h"

// What a ledger that cannot be used means, said with its warning.
inline constexpr const char* LedgerOffText =
    "The download ledger is off: saved events are not recorded, and no event counts as saved "
    "before an erase.";

// The card's identity from its signature, the size of its data file and the label at the head
// of its sector file (read here; empty when the file cannot be read). The used size is that of
// the card's last scan.
TCardIdentity ReadCardIdentity(const TTarqCard& card,
                               std::span<const uint8_t, CardSignatureSize> signature,
                               int64_t dataFileSize);

struct TCardEvent {
  std::string OriginalFileName;  // as the event list shows it
  std::string Identity;          // EventIdentity
};

struct TCardEvents {
  bool Valid = false;  // the data file was read; otherwise no event is known
  TCardIdentity Card;
  std::vector<TCardEvent> Events;  // in card order
};

// The card's live events (restore: its erased events), walked as the listing walks them, on a
// card object of its own: the card handed in is left as it was. Input/output errors raise
// EInOutError.
TCardEvents ReadCardEvents(const TTarqCard& card, bool restore = false);
// The same for the events the card's own last walk found (its Entries), without walking again.
TCardEvents ScannedCardEvents(const TTarqCard& card);

// The events of the card with no saved copy in the ledger whose files still exist at their
// recorded size, in card order. With no ledger (null or not open) none is saved.
std::vector<TCardEvent> UnsavedEvents(const TCardEvents& events, TLedger* ledger);

// The names of the events for a message: one a line, up to ten, then "and N more".
std::string EventNameList(const std::vector<TCardEvent>& events);
