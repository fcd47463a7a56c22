// Card maintenance: erase (reversible: only markers and the label change) and initialize.

#include <algorithm>
#include <cstdint>

#include "app/Messages.h"
#include "app/WUtil.h"
#include "card/CardFields.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"

using namespace card_fields;

namespace {

const char* const NewCardLabel = "CARTE FLASH NEUVE       ";

// The largest data file the 32-bit record positions of the format can walk: a whole number of
// records below 2 GiB.
constexpr int64_t LargestDataFile = 2147483646;

// The 2048-byte label block of a new or erased card.
std::string LabelBlock(const std::string& dataEndHex) {
  std::string block = NewCardLabel + dataEndHex;
  block.resize(2048, '\0');
  return block;
}

}  // namespace

bool TTarqCard::EraseCard() {
  // Neither the label nor a marker of a write-protected card changes.
  if (OpenDataFile()) {
    CloseDataFile();
    if (WriteProtected) {
      Messages().Error(WriteProtectedText);
      return false;
    }
  }
  {
    platform::TRecordFile sector;
    if (!WUtil::OpenForReading(sector, SectorFilePath(), 1)) {
      Messages().Error("Invalid flash card");
      return false;
    }
    sector.Seek(24);
    char dataEndHex[8];
    const platform::TReadResult read = sector.Read(dataEndHex, 8);
    if (read.Records < 8) {
      throw platform::EInOutError(read.Error ? read.Error : platform::IoReadBeyondEnd,
                                  sector.Name());
    }
    const std::string block = LabelBlock(std::string(dataEndHex, 8));
    sector.Seek(0);
    sector.Write(block.data(), static_cast<int64_t>(block.size()));
    WUtil::CloseChecked(sector);
  }

  CardValid = OpenDataFile();
  if (!CardValid) return false;
  try {
    ReadSignature();
    if (EpromVersion < 0) {
      // Not a card's data file: its bytes are not events and must not be marked.
      CardValid = false;
      CloseDataFile();
      return false;
    }
    while (MarkEventErased()) SkipEventData();
    CloseDataFile();
  } catch (...) {
    Abandon(DataFile);
    throw;
  }
  return true;
}

bool TTarqCard::MarkEventErased() {
  const int64_t start = DataFile.Position();
  uint8_t field[FieldSize];
  auto readField = [&] { return DataFile.Read(field, 3).Records == 3; };

  if (!readField()) return false;
  const std::string marker = FieldText(field, 1);
  int fieldCount = 12;
  const char* erased = nullptr;
  if (marker == "DEB") {
    erased = "ERASED   ";
  } else if (marker == "DEB2") {
    erased = "ERASED2  ";
    fieldCount = 18;
  } else {
    return false;
  }

  // The header is read to its end before the marker is written, so that a header the walk
  // cannot pass over is left as it is, like any header the list does not show.
  bool complete = true;
  bool rateFits = true;
  for (int i = 2; i <= fieldCount + 1; ++i) {  // the last one is HeaderEnd
    if (!readField()) {
      complete = false;
      break;
    }
    if (i == 2) ParseChannels(Event, FieldText(field, 1));
    if (i == 8) rateFits = ParseRateDuration(Event, FieldText(field, 1));
  }
  if (complete && !(rateFits && SampleRecordsFit(Event))) return false;

  const int64_t end = DataFile.Position();
  DataFile.Seek(start);
  DataFile.Write(erased, 3);
  if (!complete) return false;
  DataFile.Seek(end);
  return true;
}

bool TTarqCard::InitializeCard() {
  if (!WUtil::OpenForWriting(DataFile, DataFilePath(), 3)) {
    Messages().Warning("Cannot create file FICHBASE.DAT");
    return false;
  }
  try {
    platform::TRecordFile sector;
    if (!WUtil::OpenForWriting(sector, SectorFilePath(), 1)) {
      WUtil::CloseChecked(DataFile);
      Messages().Warning("Cannot create file SECTTARQ.HEX");
      return false;
    }
    // The block takes its place on the drive before the free space is measured.
    const std::string placeholder(2048, '\0');
    sector.Write(placeholder.data(), static_cast<int64_t>(placeholder.size()));
    const std::string sectorPath = sector.Name();
    WUtil::CloseChecked(sector);

    WUtil::OpenForReading(sector, sectorPath, 1);
    const int64_t free =
        platform::DriveTable().FreeSpace(platform::DriveNumber(Settings.FlashUnit));
    const int64_t size = std::clamp<int64_t>(free / 3 * 3, 0, LargestDataFile);
    const std::string block = LabelBlock(WUtil::HexText(static_cast<uint32_t>(size - 3)));
    sector.Seek(0);
    sector.Write(block.data(), static_cast<int64_t>(block.size()));
    WUtil::CloseChecked(sector);

    // Only the signature is written; the rest of the file is given its length, not its bytes.
    DataFile.Seek(0);
    DataFile.Write("TARQPROBE", 3);
    DataFile.Seek(size / 3);
    DataFile.Truncate();
    WUtil::CloseChecked(DataFile);
  } catch (...) {
    Abandon(DataFile);
    throw;
  }
  return true;
}
