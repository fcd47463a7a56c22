// Card maintenance: erase (reversible: only markers and the label change) and initialize.

#include <algorithm>
#include <cstdint>

#include "base/FileFlags.h"
#include "base/TextFields.h"
#include "card/CardFields.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"

using namespace card_fields;

namespace {

using card_layout::LargestDataFile;

// The label block of a new or erased card: the whole sector file.
std::string LabelBlock(const std::string& dataEndHex) {
  std::string block = std::string(card_layout::NewCardLabel) + dataEndHex;
  block.resize(card_layout::SectorFileSize, '\0');
  return block;
}

}  // namespace

bool TTarqCard::EraseCard() {
  // Neither the label nor a marker of a write-protected card changes.
  if (OpenDataFile()) {
    CloseDataFile();
    if (WriteProtected) {
      Boxes.Error(WriteProtectedText);
      return false;
    }
  }
  {
    platform::TRecordFile sector;
    if (!WUtil::OpenForReading(sector, SectorFilePath(), 1)) {
      Boxes.Error("Invalid flash card");
      return false;
    }
    sector.Seek(card_layout::LabelSize);
    char dataEndHex[card_layout::DataEndHexSize];
    const platform::TReadResult read = sector.Read(dataEndHex, card_layout::DataEndHexSize);
    if (read.Records < card_layout::DataEndHexSize) {
      throw platform::EInOutError(read.Error ? read.Error : platform::IoReadBeyondEnd,
                                  sector.Name());
    }
    const std::string block = LabelBlock(std::string(dataEndHex, sizeof dataEndHex));
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
  auto readField = [&] {
    return DataFile.Read(field, card_layout::FieldRecords).Records == card_layout::FieldRecords;
  };

  if (!readField()) return false;
  const std::string marker = FieldText(field, 1);
  int fieldCount = card_layout::Format1Fields;
  std::string_view erased;
  if (marker == card_layout::LiveMarker1) {
    erased = card_layout::ErasedField1;
  } else if (marker == card_layout::LiveMarker2) {
    erased = card_layout::ErasedField2;
    fieldCount = card_layout::Format2Fields;
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
  DataFile.Write(erased.data(), card_layout::FieldRecords);
  if (!complete) return false;
  DataFile.Seek(end);
  return true;
}

bool TTarqCard::InitializeCard() {
  if (!WUtil::OpenForWriting(DataFile, DataFilePath(), card_layout::RecordSize)) {
    Boxes.Warning("Cannot create file FICHBASE.DAT");
    return false;
  }
  try {
    platform::TRecordFile sector;
    if (!WUtil::OpenForWriting(sector, SectorFilePath(), 1)) {
      WUtil::CloseChecked(DataFile);
      Boxes.Warning("Cannot create file SECTTARQ.HEX");
      return false;
    }
    // The block takes its place on the drive before the free space is measured.
    const std::string placeholder(card_layout::SectorFileSize, '\0');
    sector.Write(placeholder.data(), static_cast<int64_t>(placeholder.size()));
    const std::string sectorPath = sector.Name();
    WUtil::CloseChecked(sector);

    WUtil::OpenForReading(sector, sectorPath, 1);
    const int64_t free = Drives.FreeSpaceAt(Root);
    const int64_t size = std::clamp<int64_t>(
        free / card_layout::RecordSize * card_layout::RecordSize, 0, LargestDataFile);
    const std::string block =
        LabelBlock(WUtil::HexText(static_cast<uint32_t>(size - card_layout::RecordSize)));
    sector.Seek(0);
    sector.Write(block.data(), static_cast<int64_t>(block.size()));
    WUtil::CloseChecked(sector);

    // Only the signature is written; the rest of the file is given its length, not its bytes.
    DataFile.Seek(0);
    DataFile.Write(card_layout::PlainSignature.data(), card_layout::FieldRecords);
    DataFile.Seek(size / card_layout::RecordSize);
    DataFile.Truncate();
    WUtil::CloseChecked(DataFile);
  } catch (...) {
    Abandon(DataFile);
    throw;
  }
  return true;
}
