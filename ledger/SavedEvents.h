#pragma once
// The card as the ledger knows it: its identity read from its files, its events with their
// identities, and which of them have a saved copy. The erase guard and the marks of the event
// list are made of these.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "card/TarqCard.h"
#include "ledger/EventIdentity.h"
#include "ledger/Ledger.h"

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
  // Why an event with recorded saves counts as unsaved (UnsavedEvents, content checked); empty
  // when nothing was recorded of it.
  std::string Why = {};
  std::vector<uint8_t> Header = {};  // as it lies on the card
  int64_t DataOffset = 0;            // of its first frame in the data file, in bytes
  int64_t SampleBytes = 0;           // its frames, in bytes
};

struct TCardEvents {
  bool Valid = false;  // the data file was read; otherwise no event is known
  TCardIdentity Card;
  std::vector<TCardEvent> Events;  // in card order
  std::string DataFilePath;
};

// The card's live events (restore: its erased events), walked as the listing walks them, on a
// card object of its own: the card handed in is left as it was. Input/output errors raise
// EInOutError.
TCardEvents ReadCardEvents(const TTarqCard& card, bool restore = false);
// The same for the events the card's own last walk found (its Entries), without walking again.
TCardEvents ScannedCardEvents(const TTarqCard& card);

// How much a saved copy must show to count.
enum class TSavedCheck {
  // Every file of the copy is a regular file of its recorded size: cheap, for the marks of the
  // event list and the saved count.
  Present,
  // What an erase needs: the event's bytes on the card, read again, have the content hash of a
  // recorded save, every file of that save still holds its recorded size and SHA-256, and
  // every archived channel of it has its records in its day file with their recorded SHA-256.
  // A save recorded without a content hash proves nothing.
  Content,
};

// The events of the card with no saved copy in the ledger that passes `check`, in card order,
// with why (Why) when saves of them were recorded. With no ledger (null or not open) none is
// saved. Content reads the card's events again (a 2 GB card takes its reader's time to read
// 2 GB) and the files and day files of the candidate saves; input/output errors on the card raise
// EInOutError.
std::vector<TCardEvent> UnsavedEvents(const TCardEvents& events, TLedger* ledger,
                                      TSavedCheck check = TSavedCheck::Present);

// The content hash (TEventContentHash) of an event of the card, read from its data file: the
// bytes there up to the file's end. Input/output errors raise EInOutError.
std::string ReadEventContentHash(const TCardEvents& events, const TCardEvent& event);

// The names of the events for a message: one a line, up to ten, then "and N more"; with why
// an event's saves do not count, in brackets, where there is a reason.
std::string EventNameList(const std::vector<TCardEvent>& events);
