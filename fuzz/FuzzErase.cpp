// Erase of an arbitrary card: afterwards the restore reading lists what the normal reading
// listed before (and maybe more: events that were already erased), and the only bytes of the
// data file that changed are live markers turned into erased ones.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "card/TarqCard.h"
#include "platform/IoError.h"

namespace {
std::vector<std::string> Scan(TTarqCard& card, bool restore) {
  card.RestoreMode = restore;
  fuzzing::TListedLines view;
  card.ScanDirectory(view);
  return view.Lines;
}

bool IsPadded(const std::string& bytes, size_t at, const char* marker) {
  std::string field(marker);
  field.resize(9, ' ');
  return at + 9 <= bytes.size() && bytes.compare(at, 9, field) == 0;
}

// Every changed byte lies in a 9-byte field that went from a live to an erased marker.
bool OnlyMarkersChanged(const std::string& before, const std::string& after) {
  if (before.size() != after.size()) return false;
  for (size_t p = 0; p < before.size(); ++p) {
    if (before[p] == after[p]) continue;
    bool covered = false;
    for (size_t q = p >= 8 ? p - 8 : 0; q <= p && !covered; ++q) {
      covered = (IsPadded(before, q, "DEB") && IsPadded(after, q, "ERASED")) ||
                (IsPadded(before, q, "DEB2") && IsPadded(after, q, "ERASED2"));
    }
    if (!covered) return false;
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::SilenceMessages();
  const fuzzing::TCardInput input = fuzzing::SplitCardInput(data, size);
  const std::string dir = fuzzing::WriteCard(input, "erase");

  fuzzing::TCardUnderTest unit;
  TTarqCard& card = unit.Card;
  try {
    card.ProbeCard();
    if (!card.CardValid) return 0;
    const std::vector<std::string> live = Scan(card, false);
    card.EraseCard();
    if (card.DataFile.IsOpen()) std::abort();
    const std::string after = fuzzing::ReadFile(dir + "/fichbase.dat");
    if (!OnlyMarkersChanged(input.DataFile, after)) std::abort();
    if (!input.HasSectorFile) {
      if (after != input.DataFile) std::abort();  // no sector file: nothing is written
      return 0;
    }
    const std::vector<std::string> restored = Scan(card, true);
    if (restored.size() < live.size()) std::abort();
    for (size_t i = 0; i < live.size(); ++i) {
      if (restored[i] != live[i]) std::abort();
    }
    if (!Scan(card, false).empty()) std::abort();  // nothing live is left at the start
  } catch (const platform::EInOutError&) {
    // A sector file too short for its label: reported before anything is written.
    if (fuzzing::ReadFile(dir + "/fichbase.dat") != input.DataFile) std::abort();
  }
  if (card.DataFile.IsOpen()) std::abort();
  return 0;
}
