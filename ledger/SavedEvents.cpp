#include "ledger/SavedEvents.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <vector>

#include "base/Sha256.h"
#include "card/CardLayout.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

using card_layout::FieldRecords;
using card_layout::RecordSize;
using platform::RegularFileSize;

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
  result.DataFilePath = card.DataFilePath();
  for (const TEventEntry& entry : entries) {
    TCardEvent event{entry.Header.OriginalFileName,
                     EventIdentity(entry.Header, signature, entry.HeaderOffset)};
    event.Header = EventHeaderOnCard(entry.Header);
    event.DataOffset = entry.DataOffset;
    event.SampleBytes = std::max<int64_t>(entry.Header.SamplesPerChannel, 0) * entry.FrameBytes();
    result.Events.push_back(std::move(event));
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

std::string ReadEventContentHash(const TCardEvents& events, const TCardEvent& event) {
  TEventContentHash hash(event.Header);
  platform::TRecordFile data;
  if (int code = data.Reset(events.DataFilePath, RecordSize, platform::TOpenMode::ReadOnly)) {
    throw platform::EInOutError(code, events.DataFilePath);
  }
  data.Seek(event.DataOffset / RecordSize);
  constexpr int64_t BlockRecords = (1 << 20) / RecordSize;
  std::vector<uint8_t> block(static_cast<size_t>(BlockRecords * RecordSize));
  int64_t left = event.SampleBytes / RecordSize;
  while (left > 0) {
    const platform::TReadResult read = data.Read(block.data(), std::min(left, BlockRecords));
    if (read.Error != 0) throw platform::EInOutError(read.Error, events.DataFilePath);
    hash.AddSamples(block.data(), static_cast<size_t>(read.Records * RecordSize));
    if (read.Records == 0) break;  // the data file ends inside the event
    left -= read.Records;
  }
  if (int code = data.Close()) throw platform::EInOutError(code, events.DataFilePath);
  return hash.FinalHex();
}

namespace {

// Whether one of `copies` proves the event saved; otherwise why not. The cheap checks first:
// the record, then the files' sizes, then the card's bytes, then the files' contents.
std::string WhyNotSaved(const TCardEvents& events, const TCardEvent& event,
                        const std::vector<TSavedCopy>& copies,
                        std::map<std::string, TVerifiedFile>& checkedFiles,
                        TDayFileReader& dayFiles) {
  std::string why;
  std::optional<std::string> onCard;
  auto spoiled = [](const TSavedFile& file, const TVerifiedFile& checked) {
    return "saved copy " + std::string(FileStateText(checked.State)) + ": " + file.Path + ", " +
           checked.Detail;
  };
  auto archived = [](const TVerifiedChannel& checked) {
    return "archived records " + std::string(FileStateText(checked.State)) + ": " +
           checked.Channel.Path() + ", " + checked.Detail;
  };
  // The reason of the latest save is the one to act on.
  for (const TSavedCopy& copy : copies) {
    if (copy.CardSha256.empty()) {
      why = "saved before its content was recorded: download it again";
      continue;
    }
    auto unlike = std::find_if(copy.Files.begin(), copy.Files.end(), [](const TSavedFile& file) {
      struct stat info;
      return ::lstat(file.Path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
             info.st_size != file.Size;
    });
    if (unlike != copy.Files.end()) {
      why = spoiled(*unlike, CheckSavedFile(*unlike));
      continue;
    }
    auto gone = std::find_if(
        copy.Channels.begin(), copy.Channels.end(),
        [](const TArchivedChannel& channel) { return RegularFileSize(channel.Path()) < 0; });
    if (gone != copy.Channels.end()) {
      why = archived(dayFiles.Check(*gone));
      continue;
    }
    if (!onCard) onCard = ReadEventContentHash(events, event);
    if (*onCard != copy.CardSha256) {
      why = "the card holds other samples than those saved";
      continue;
    }
    why.clear();
    for (const TSavedFile& file : copy.Files) {
      auto checked = checkedFiles.find(file.Path);
      // A path written again later holds another record: each record is checked on its own.
      if (checked == checkedFiles.end() || checked->second.File.Sha256 != file.Sha256 ||
          checked->second.File.Size != file.Size) {
        checked = checkedFiles.insert_or_assign(file.Path, CheckSavedFile(file)).first;
      }
      if (checked->second.State != TFileState::Intact) {
        why = spoiled(file, checked->second);
        break;
      }
    }
    // The records in the archive, read again from their day files.
    for (const TArchivedChannel& channel : copy.Channels) {
      if (!why.empty()) break;
      if (const TVerifiedChannel checked = dayFiles.Check(channel);
          checked.State != TFileState::Intact) {
        why = archived(checked);
      }
    }
    if (why.empty()) return {};
  }
  return why;
}

}  // namespace

std::vector<TCardEvent> UnsavedEvents(const TCardEvents& events, TLedger* ledger,
                                      TSavedCheck check) {
  std::vector<TCardEvent> unsaved;
  const bool open = ledger && ledger->IsOpen();
  std::map<std::string, TVerifiedFile> checkedFiles;
  TDayFileReader dayFiles;
  for (const TCardEvent& event : events.Events) {
    if (!open) {
      unsaved.push_back(event);
    } else if (check == TSavedCheck::Present) {
      if (!ledger->IsSaved(event.Identity)) unsaved.push_back(event);
    } else {
      const std::vector<TSavedCopy> copies = ledger->SavedCopies(event.Identity);
      if (copies.empty()) {
        unsaved.push_back(event);
      } else if (std::string why = WhyNotSaved(events, event, copies, checkedFiles, dayFiles);
                 !why.empty()) {
        unsaved.push_back(event);
        unsaved.back().Why = std::move(why);
      }
    }
  }
  return unsaved;
}

std::string EventNameList(const std::vector<TCardEvent>& events) {
  constexpr size_t Shown = 10;
  std::string text;
  for (size_t i = 0; i < events.size() && i < Shown; ++i) {
    text += events[i].OriginalFileName;
    if (!events[i].Why.empty()) text += " (" + events[i].Why + ")";
    text += "\n";
  }
  if (events.size() > Shown) text += "and " + std::to_string(events.size() - Shown) + " more\n";
  return text;
}
