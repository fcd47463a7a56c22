// The probe that classifies a drive, the directory of events, the sizes and the status.

#include <algorithm>
#include <functional>
#include <limits>

#include "base/FileFlags.h"
#include "base/TextFields.h"
#include "card/CardFields.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"

using card_fields::Abandon;

namespace {

// Records read in order need no seek; a failing seek gives its code.
int SeekUnlessThere(platform::TRecordFile& file, int64_t record) {
  try {
    if (file.Position() != record) file.Seek(record);
  } catch (const platform::EInOutError& error) {
    return error.Code();
  }
  return 0;
}

}  // namespace

void TTarqCard::ProbeCard() {
  SectorFilePresent = false;
  BlankDrive = false;
  NewCard = false;
  NoEvents = false;
  CardFull = false;
  // A card that is not scanned has no used records of its own: an earlier card's count would
  // show as this card's used size.
  UsedRecords = 0;
  EventCount = 0;

  const std::string sectorPath = SectorFilePath();
  CardValid = OpenDataFile();
  try {
    if (!CardValid) {
      platform::TRecordFile sector;
      if (sector.Reset(sectorPath, 128) == 0) {
        sector.Close();  // card files that cannot be used: not a blank drive
      } else {
        const int64_t total = Drives.TotalSizeAt(Root);
        const int64_t free = Drives.FreeSpaceAt(Root);
        BlankDrive = total > 0 && total == free;
      }
    } else {
      ReadSignature();
      if (EpromVersion < 0) {
        CardValid = false;
      } else {
        platform::TRecordFile sector;
        if (WUtil::OpenForReading(sector, sectorPath, 1)) {
          SectorFilePresent = true;
          // The label and the data end: the label block as far as it is read.
          constexpr int labelBlock = card_layout::LabelSize + card_layout::DataEndHexSize;
          char label[labelBlock];
          const platform::TReadResult read = sector.Read(label, labelBlock);
          if (read.Records < labelBlock) {
            throw platform::EInOutError(read.Error ? read.Error : platform::IoReadBeyondEnd,
                                        sector.Name());
          }
          WUtil::CloseChecked(sector);
          NewCard = std::string_view(label, card_layout::LabelSize) == card_layout::NewCardLabel;
          // The label of an erased card is the new-card label too; its first event tells.
          if (NewCard && ReadEventHeader(true)) NewCard = false;
        }
      }
      CloseDataFile();
    }
  } catch (...) {
    Abandon(DataFile);
    throw;
  }
  ProbeDate = Today();
}

const std::vector<TEventEntry>& TTarqCard::ScanEvents(
    const std::function<void(const TEventEntry&)>& onEvent) {
  NoEvents = true;
  CardFull = false;
  EventCount = 0;
  UsedRecords = 0;
  Entries.clear();
  try {
    CardValid = OpenDataFile();
    if (CardValid) {
      ReadSignature();
      if (EpromVersion < 0) {
        CardValid = false;  // the file changed since the probe: nothing in it is trusted
      } else {
        WalkFromHere([&](TEventEntry& entry) {
          EventCount = entry.Line;
          Entries.push_back(std::move(entry));
          if (onEvent) onEvent(Entries.back());
          return true;
        });
        // The walk stops beyond the end of the file when the last event's samples are cut
        // short; the used part cannot be larger than the file.
        const int64_t stop = std::min(DataFile.Position(), DataFile.Size());
        UsedRecords =
            static_cast<int32_t>(std::min<int64_t>(stop, std::numeric_limits<int32_t>::max()));
      }
      CloseDataFile();
    }
  } catch (...) {
    Abandon(DataFile);
    throw;
  }
  return Entries;
}

void TTarqCard::WalkFromHere(const std::function<bool(TEventEntry&)>& onEntry,
                             const std::function<bool()>& goOn) {
  int32_t line = 0;
  int64_t header = DataFile.Position();
  while ((!goOn || goOn()) && ReadEventHeader(RestoreMode)) {
    TEventEntry entry;
    entry.Line = ++line;
    entry.HeaderOffset = header * card_layout::RecordSize;
    entry.DataOffset = DataFile.Position() * card_layout::RecordSize;
    entry.Header = Event;
    const bool more = onEntry(entry);
    SkipEventData();
    if (!more) return;
    header = DataFile.Position();
  }
}

std::vector<TEventEntry> TTarqCard::WalkEvents(int32_t lastLine,
                                               const std::function<bool()>& goOn) {
  std::vector<TEventEntry> entries;
  DataFile.Seek(card_layout::FirstEventRecord);
  WalkFromHere(
      [&](TEventEntry& entry) {
        entries.push_back(std::move(entry));
        return entries.back().Line < lastLine;
      },
      goOn);
  return entries;
}

void TTarqCard::PositionAtFrames(const TEventEntry& entry) {
  const int64_t first = entry.DataOffset / card_layout::RecordSize;
  if (DataFile.Position() != first) DataFile.Seek(first);
}

platform::TReadResult TTarqCard::ReadOpenEventFrames(const TEventEntry& entry, int64_t firstFrame,
                                                     int64_t count, uint8_t* buffer) {
  const int32_t channels = entry.Header.ChannelCount;
  const int64_t at = entry.DataOffset / card_layout::RecordSize + firstFrame * channels;
  if (const int code = SeekUnlessThere(DataFile, at)) return {0, code};
  return DataFile.Read(buffer, count * channels);
}

bool TTarqCard::ReadEventTrailer(const TEventEntry& entry, uint8_t* trailer) {
  constexpr int records = card_layout::TrailerSize / card_layout::RecordSize;
  const int64_t frames = std::max<int32_t>(entry.Header.SamplesPerChannel, 0);
  const int64_t at =
      entry.DataOffset / card_layout::RecordSize + frames * entry.Header.ChannelCount;
  if (SeekUnlessThere(DataFile, at) != 0) return false;
  return DataFile.Read(trailer, records).Records == records;
}

void TTarqCard::ScanDirectory(TDirectoryView& view) {
  view.BeginUpdate();
  try {
    ScanEvents([&view](const TEventEntry& entry) {
      view.SetCount(EventCountText(entry.Line));
      view.AddLine(::EventLine(entry));
    });
  } catch (...) {
    view.EndUpdate();
    throw;
  }
  view.EndUpdate();
}

std::string TTarqCard::EventLine() const {
  return ::EventLine(Event);
}

TCardSummary TTarqCard::ReadSummary(TDirectoryView* view) {
  Entries.clear();
  ProbeCard();
  const bool probed = CardValid;
  if (CardValid && !NewCard) {
    if (view) {
      ScanDirectory(*view);
    } else {
      ScanEvents();
    }
  }
  return SummaryOf(probed);
}

TCardSummary TTarqCard::Summary() {
  return SummaryOf(CardValid);
}

TCardSummary TTarqCard::SummaryOf(bool scanned) {
  TCardSummary summary;
  if (scanned) {
    summary.Scanned = true;
    const auto [used, total] = CardSizes();
    summary.EventCount = EventCount;
    summary.UsedBytes = used;
    summary.TotalBytes = total;
    summary.EpromVersion = EpromVersion;
  }
  summary.Valid = CardValid;
  summary.Status = CardStatus();
  return summary;
}

int64_t TTarqCard::ReadEventFrames(const TEventEntry& entry, int64_t firstFrame, int64_t count,
                                   uint8_t* buffer) {
  const int64_t frames = entry.Header.SamplesPerChannel;
  const int32_t channels = entry.Header.ChannelCount;
  if (channels <= 0 || firstFrame < 0 || firstFrame >= frames || count <= 0) return 0;
  count = std::min(count, frames - firstFrame);
  platform::TRecordFile file;
  if (int code =
          file.Reset(DataFilePath(), card_layout::RecordSize, platform::TOpenMode::ReadOnly)) {
    throw platform::EInOutError(code, DataFilePath());
  }
  try {
    file.Seek(entry.DataOffset / card_layout::RecordSize + firstFrame * channels);
    const platform::TReadResult read = file.Read(buffer, count * channels);
    if (read.Error) throw platform::EInOutError(read.Error, file.Name());
    WUtil::CloseChecked(file);
    return read.Records / channels;
  } catch (...) {
    Abandon(file);
    throw;
  }
}

std::string EventLine(const TEventHeader& event) {
  return event.OriginalFileName + "   " + WUtil::IntText(event.SampleRate, 3) + " Hz   " +
         WUtil::IntText(event.DurationMinutes, 3) + " mn   Gain:" + WUtil::IntText(event.Gain, 4) +
         "   Station:" + WUtil::IntText(event.StationSerial, 3) +
         "   Channels:" + WUtil::IntText(event.ChannelCount, 2);
}

std::string EventLine(const TEventEntry& entry) {
  return EventLine(entry.Header);
}

std::string TCardSummary::CountText() const {
  return EventCount > 0 ? EventCountText(EventCount) : std::string();
}

std::pair<int64_t, int64_t> TTarqCard::CardSizes() {
  if (!CardValid) return {0, 0};
  CardValid = OpenDataFile();
  if (!CardValid) return {0, 0};
  int64_t total = 0;
  try {
    total = DataFile.Size() * card_layout::RecordSize;
    CloseDataFile();
  } catch (...) {
    Abandon(DataFile);
    throw;
  }
  const int64_t used = int64_t{UsedRecords} * card_layout::RecordSize;
  CardFull = used == total;
  return {used, total};
}

TCardStatus TTarqCard::CardStatus() const {
  const bool card = SectorFilePresent;
  if (CardValid) {
    if (NewCard) return {"Empty flash card", TStatusColour::WindowText};
    if (NoEvents) {
      return {card ? "Erased flash card" : "Erased flash file", TStatusColour::WindowText};
    }
    if (CardFull) return {card ? "Flash card is full" : "Flash file is full", TStatusColour::Green};
    if (RestoreMode) {
      return {card ? "Restored flash card" : "Restored flash file", TStatusColour::Green};
    }
    return {card ? "Flash card with data" : "Flash file with data", TStatusColour::Green};
  }
  if (BlankDrive) return {"Flash card not initialized", TStatusColour::Red};
  return {"Invalid or missing flash card", TStatusColour::Red};
}

std::string EventCountText(int32_t count) {
  return std::to_string(count).substr(0, 4);
}

std::string UsedSizeText(int64_t used, int64_t total) {
  std::string percentage;
  if (total <= 0) {
    percentage = "0";
  } else if (used == total) {
    percentage = "100";
  } else {
    percentage =
        WUtil::FixedText(static_cast<double>(used) / static_cast<double>(total) * 100.0, 0, 1);
  }
  std::string text(1, ' ');
  text += WUtil::GroupThousands(used);
  text += " (";
  text += percentage;
  text += "%)";
  return text;
}

std::string TotalSizeText(int64_t total) {
  std::string text(1, ' ');
  text += WUtil::GroupThousands(total);
  return text;
}

std::string EpromVersionText(int32_t version) {
  if (version <= 0) return {};
  std::string text = WUtil::IntText(version, 4).substr(0, 4);
  WUtil::ZeroFill(text);
  return text;
}
