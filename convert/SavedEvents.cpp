#include "convert/SavedEvents.h"

#include <array>
#include <vector>

#include "card/CardLayout.h"
#include "platform/RecordFile.h"

using card_layout::FieldRecords;
using card_layout::RecordSize;

TCardIdentity ReadCardIdentity(const TTarqCard& card,
                               std::span<const uint8_t, CardSignatureSize> signature,
                               int64_t dataFileSize) {
  std::vector<uint8_t> label(CardLabelSize);
  platform::TRecordFile sector;
  size_t read = 0;
  if (sector.Reset(card.SectorFilePath(), 1, platform::TOpenMode::ReadOnly) == 0) {
    read = static_cast<size_t>(sector.Read(label.data(), CardLabelSize).Records);
    try {
      sector.Close();
    } catch (const platform::EInOutError&) {
      // Only read: a failing close loses nothing.
    }
  }
  label.resize(read);
  return CardIdentity(signature, label, dataFileSize, int64_t{card.UsedRecords} * RecordSize);
}

namespace {

// The identities of `entries`, events of `card` found by its last walk.
TCardEvents IdentitiesOf(const TTarqCard& card, const std::vector<TEventEntry>& entries) {
  TCardEvents result;
  std::array<uint8_t, CardSignatureSize> signature{};
  int64_t dataFileSize = 0;
  {
    platform::TRecordFile data;
    if (data.Reset(card.DataFilePath(), RecordSize, platform::TOpenMode::ReadOnly) != 0) {
      return result;
    }
    data.Read(signature.data(), FieldRecords);
    dataFileSize = data.Size() * RecordSize;
    if (int code = data.Close()) throw platform::EInOutError(code, card.DataFilePath());
  }
  result.Card = ReadCardIdentity(card, signature, dataFileSize);
  for (const TEventEntry& entry : entries) {
    result.Events.push_back({entry.Header.OriginalFileName,
                             EventIdentity(entry.Header, signature, entry.HeaderOffset)});
  }
  result.Valid = true;
  return result;
}

}  // namespace

TCardEvents ReadCardEvents(const TTarqCard& card, bool restore) {
  TTarqCard walker(card.Boxes, card.Drives);
  walker.Root = card.Root;
  walker.RestoreMode = restore;
  const std::vector<TEventEntry>& entries = walker.ScanEvents();
  if (!walker.CardValid) return {};
  return IdentitiesOf(walker, entries);
}

TCardEvents ScannedCardEvents(const TTarqCard& card) {
  if (!card.CardValid) return {};
  return IdentitiesOf(card, card.Entries);
}

std::vector<TCardEvent> UnsavedEvents(const TCardEvents& events, TLedger* ledger) {
  std::vector<TCardEvent> unsaved;
  const bool open = ledger && ledger->IsOpen();
  for (const TCardEvent& event : events.Events) {
    if (!open || !ledger->IsSaved(event.Identity)) unsaved.push_back(event);
  }
  return unsaved;
}

std::string EventNameList(const std::vector<TCardEvent>& events) {
  constexpr size_t Shown = 10;
  std::string text;
  for (size_t i = 0; i < events.size() && i < Shown; ++i) {
    text += events[i].OriginalFileName + "\n";
  }
  if (events.size() > Shown) text += "and " + std::to_string(events.size() - Shown) + " more\n";
  return text;
}
