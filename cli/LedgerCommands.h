#pragma once
// What the card commands and the download take from the download ledger.

#include <optional>
#include <ostream>
#include <string>

#include "card/TarqCard.h"
#include "ledger/Ledger.h"

// Opens the ledger at its default place; a failure prints one warning on `err` (naming the
// command) and returns false. The command goes on without the ledger.
bool OpenLedger(TLedger& ledger, const std::string& command, std::ostream& err,
                TLedger::TAccess access = TLedger::TAccess::ReadWrite);

// Before an erase: when live events of the card have no saved copy that holds what the card
// holds (none has, without a ledger), names them on `err` and returns true (the erase is
// refused) unless `force`.
bool EraseGuardRefuses(const TTarqCard& card, bool force, std::ostream& err);

// "N of M events": the events of the card's last walk (erased ones in restore mode) with a
// saved copy whose files are there. Empty, the warning printed on `err`, when the ledger
// cannot be read.
std::optional<std::string> SavedCountText(const TTarqCard& card, std::ostream& err);
