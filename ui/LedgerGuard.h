#pragma once
// The window's side of the download ledger: the ledger opened once (a failure warned about
// once), the guard before an erase, and the marks of the events in the list that have a saved
// copy.

#include <string>

#include "base/Messages.h"
#include "card/TarqCard.h"
#include "ledger/Ledger.h"

class QListWidget;

class TLedgerGuard {
 public:
  // Boxes: where the warnings and the guard's question go. The ledger is the one at `path`.
  explicit TLedgerGuard(TMessages& boxes, std::string path = TLedger::DefaultPath())
      : Boxes(boxes), LedgerPath(std::move(path)) {}

  // The ledger, opened the first time it is needed; null when it cannot be used (the warning
  // was shown when it was first asked for).
  TLedger* Ledger();
  // Where a download records its saved events: the ledger, or none.
  TSaveRecorder* Recorder() { return Ledger(); }

  // Before the usual erase confirmation: when live events of the card have no saved copy that
  // holds what the card holds (the samples read again, the files' contents; see UnsavedEvents),
  // a warning lists them and asks "Erase anyway?" ("Annuler" the default). True when the erase
  // may go on to its confirmation. Reads the card's events whole: input/output errors raise
  // EInOutError.
  bool MayErase(const TTarqCard& card);

  // Marks the lines of the list (the card's events as last scanned) whose event has a saved
  // copy: a colour of their own and a tool tip naming where; the other lines are left plain.
  void MarkSaved(QListWidget* list, const TTarqCard& card);

 private:
  TMessages& Boxes;
  std::string LedgerPath;
  TLedger Store;
  bool Opened = false;  // opening was tried
};
