// The probe, the directory scan (normal and restore reading), the sizes and the status of an
// arbitrary card: they end, never crash, never write the card, and agree with each other.
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "card/TarqCard.h"
#include "platform/IoError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::SilenceMessages();
  const fuzzing::TCardInput input = fuzzing::SplitCardInput(data, size);
  const std::string dir = fuzzing::WriteCard(input, "card");

  fuzzing::TCardUnderTest unit;
  TTarqCard& card = unit.Card;
  try {
    card.ProbeCard();
    if (card.DataFile.IsOpen()) std::abort();
    for (bool restore : {false, true}) {
      card.RestoreMode = restore;
      if (!card.CardValid || card.NewCard) break;
      fuzzing::TListedLines view;
      card.ScanDirectory(view);
      if (card.DataFile.IsOpen()) std::abort();
      if (static_cast<size_t>(card.EventCount) != view.Lines.size()) std::abort();
      if (card.NoEvents && !view.Lines.empty()) std::abort();
      auto [used, total] = card.CardSizes();
      if (used < 0 || total < 0 || used > total + 108) std::abort();
      if (card.CardStatus().Text.empty()) std::abort();
    }
  } catch (const platform::EInOutError&) {
    // A sector file shorter than its label block: reported, not a crash.
    if (card.DataFile.IsOpen()) std::abort();
  }
  if (fuzzing::ReadFile(dir + "/fichbase.dat") != input.DataFile) std::abort();
  if (input.HasSectorFile && fuzzing::ReadFile(dir + "/secttarq.hex") != input.SectorFile)
    std::abort();
  return 0;
}
