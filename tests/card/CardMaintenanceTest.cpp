#include <sys/stat.h>

#include "card/CardFixture.h"

using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

class TLines : public TDirectoryView {
 public:
  void SetCount(const std::string&) override {}
  void AddLine(const std::string& line) override { Lines.push_back(line); }
  std::vector<std::string> Lines;
};

class CardMaintenanceTest : public TCardFixture {
 public:
  std::string Status(bool restore, std::vector<std::string>* lines = nullptr) {
    Card.RestoreMode = restore;
    TLines view;
    Card.ProbeCard();
    if (Card.CardValid && !Card.NewCard) Card.ScanDirectory(view);
    if (Card.CardValid) Card.CardSizes();
    if (lines) *lines = view.Lines;
    return Card.CardStatus().Text;
  }
};

// Three events with real samples of 3, 6 and 3 channels, then free space.
TCardBuilder MixedCard() {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  TBuiltEvent first;
  first.RateDuration = "2,1";
  TBuiltEvent second;
  second.Marker = "DEB2";
  second.Channels = "6,13";
  second.RateDuration = "3,1";
  second.FileNumber = "002";
  TBuiltEvent third;
  third.RateDuration = "1,2";
  third.FileNumber = "003";
  card.Events = {first, second, third};
  card.TailZeros = 500;
  card.DataEndHex = "0001F2A4";
  return card;
}

// The data file with the markers of the first `count` events replaced by erased ones.
std::string ErasedBytes(const TCardBuilder& card, size_t count) {
  std::string bytes = card.DataFileBytes();
  for (size_t i = 0; i < count; ++i) {
    const std::string marker = card.Events[i].IsFormat2() ? "ERASED2  " : "ERASED   ";
    bytes.replace(static_cast<size_t>(card.EventOffset(i)), 9, marker);
  }
  return bytes;
}

std::string NewLabelBlock(const std::string& dataEndHex) {
  std::string block = TCardBuilder::NewCardLabel() + dataEndHex;
  block.resize(2048, '\0');
  return block;
}

TEST_F(CardMaintenanceTest, EraseRewritesExactlyTheMarkersAndTheLabel) {
  TCardBuilder card = MixedCard();
  // Bytes beyond the label block are the card's own and stay.
  std::string sector = card.SectorFileBytes() + std::string(100, 'z');
  sector[40] = 'q';
  card.SectorBytes = sector;
  Write(card);
  std::vector<std::string> before;
  EXPECT_EQ(Status(false, &before), "Flash card with data");

  EXPECT_TRUE(Card.EraseCard());
  EXPECT_EQ(ReadWholeFile(DataPath()), ErasedBytes(card, 3));
  EXPECT_EQ(ReadWholeFile(SectorPath()), NewLabelBlock("0001F2A4") + std::string(100, 'z'));
  EXPECT_TRUE(Boxes.Boxes.empty());
  EXPECT_FALSE(Card.DataFile.IsOpen());

  EXPECT_EQ(Status(false), "Erased flash card");
  std::vector<std::string> restored;
  EXPECT_EQ(Status(true, &restored), "Restored flash card");
  EXPECT_EQ(restored, before);
}

TEST_F(CardMaintenanceTest, EraseKeepsWhateverTheSizeFieldHolds) {
  TCardBuilder card = MixedCard();
  card.DataEndHex = std::string("\x01 zZ\xff\0-9", 8);
  Write(card);
  EXPECT_TRUE(Card.EraseCard());
  EXPECT_EQ(ReadWholeFile(SectorPath()), NewLabelBlock(card.DataEndHex));
}

// The sector file of a locked card may still be writable: erase must not relabel it.
TEST_F(CardMaintenanceTest, EraseLeavesAWriteProtectedCardAsItIs) {
  const TCardBuilder card = MixedCard();
  Write(card);
  platform::TFaultPlan plan;
  plan.PathContains = "fichbase";
  plan.WriteAccessErrorCode = platform::IoAccessDenied;
  platform::SetFaultPlan(plan);
  EXPECT_EQ(Status(false), "Flash card with data");
  EXPECT_TRUE(Card.WriteProtected);
  EXPECT_FALSE(Card.EraseCard());
  platform::ClearFaultPlan();
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Text, "The card is write-protected");
  EXPECT_EQ(ReadWholeFile(DataPath()), card.DataFileBytes());
  EXPECT_EQ(ReadWholeFile(SectorPath()), card.SectorFileBytes());
  EXPECT_FALSE(Card.DataFile.IsOpen());
}

TEST_F(CardMaintenanceTest, EraseStopsAtAnErasedEvent) {
  TCardBuilder card = MixedCard();
  card.Events[1].Marker = "ERASED2";
  Write(card);
  EXPECT_TRUE(Card.EraseCard());
  EXPECT_EQ(ReadWholeFile(DataPath()), ErasedBytes(card, 1));

  // Erasing an erased card changes nothing.
  const std::string data = ReadWholeFile(DataPath());
  const std::string sector = ReadWholeFile(SectorPath());
  EXPECT_TRUE(Card.EraseCard());
  EXPECT_EQ(ReadWholeFile(DataPath()), data);
  EXPECT_EQ(ReadWholeFile(SectorPath()), sector);
}

TEST_F(CardMaintenanceTest, EraseWithoutSectorFileWritesNothing) {
  TCardBuilder card = MixedCard();
  card.SectorFile = false;
  Write(card);
  EXPECT_FALSE(Card.EraseCard());
  ASSERT_EQ(Boxes.Boxes.size(), 1u);
  EXPECT_EQ(Boxes.Boxes[0].Kind, "error");
  EXPECT_EQ(Boxes.Boxes[0].Text, "Invalid flash card");
  EXPECT_EQ(ReadWholeFile(DataPath()), card.DataFileBytes());
}

TEST_F(CardMaintenanceTest, ShortSectorFileStopsEraseBeforeAnyWrite) {
  TCardBuilder card = MixedCard();
  card.SectorBytes = "CARTE FLASH NEUVE       0001";
  Write(card);
  try {
    Card.EraseCard();
    FAIL() << "no error";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.Code(), platform::IoReadBeyondEnd);
  }
  EXPECT_EQ(ReadWholeFile(DataPath()), card.DataFileBytes());
  EXPECT_EQ(ReadWholeFile(SectorPath()), card.SectorBytes);
  EXPECT_FALSE(Card.DataFile.IsOpen());
}

TEST_F(CardMaintenanceTest, ACardThatRefusesWritesKeepsTheMarkersWrittenBeforehand) {
  const TCardBuilder card = MixedCard();
  for (size_t written = 0; written < 3; ++written) {
    SCOPED_TRACE(written);
    Write(card);
    platform::TFaultPlan plan;
    plan.PathContains = "fichbase.dat";
    plan.WriteBytesLeft = static_cast<int64_t>(9 * written);
    plan.WriteErrorCode = platform::IoAccessDenied;
    platform::SetFaultPlan(plan);
    try {
      Card.EraseCard();
      FAIL() << "no error";
    } catch (const platform::EInOutError& e) {
      EXPECT_EQ(e.Code(), platform::IoAccessDenied);
    }
    platform::ClearFaultPlan();
    EXPECT_FALSE(Card.DataFile.IsOpen());
    EXPECT_EQ(ReadWholeFile(DataPath()), ErasedBytes(card, written));
  }
}

TEST_F(CardMaintenanceTest, AWriteProtectedLabelRaisesAndLeavesTheEventsAlone) {
  const TCardBuilder card = MixedCard();
  Write(card);
  platform::TFaultPlan plan;
  plan.PathContains = "secttarq.hex";
  plan.WriteBytesLeft = 0;
  plan.WriteErrorCode = platform::IoAccessDenied;
  platform::SetFaultPlan(plan);
  EXPECT_THROW(Card.EraseCard(), platform::EInOutError);
  platform::ClearFaultPlan();
  EXPECT_EQ(ReadWholeFile(DataPath()), card.DataFileBytes());
  EXPECT_EQ(ReadWholeFile(SectorPath()), card.SectorFileBytes());
}

TEST_F(CardMaintenanceTest, EraseOfACutOrCorruptCardEnds) {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  card.Events = {SmallEvent("DEB2"), SmallEvent("DEB", "1,12")};
  const std::string bytes = card.DataFileBytes();
  const size_t second = static_cast<size_t>(card.EventOffset(1));
  for (size_t length = 0; length <= bytes.size(); ++length) {
    SCOPED_TRACE(length);
    std::string cut = bytes.substr(0, length);
    WriteWholeFile(DataPath(), cut);
    WriteWholeFile(SectorPath(), card.SectorFileBytes());
    Card.EraseCard();
    // A marker that was read is rewritten, even in a header cut short after it.
    if (length >= 9 + 9) cut.replace(9, 9, "ERASED2  ");
    if (length >= second + 9 && length >= 9 + 171) cut.replace(second, 9, "ERASED   ");
    EXPECT_EQ(ReadWholeFile(DataPath()), cut);
  }
}

TEST_F(CardMaintenanceTest, EraseLeavesAHeaderThatCannotBeSkipped) {
  TCardBuilder card = MixedCard();
  card.Events[1].RateDuration = "99999,999";
  card.Events[1].Frames = 1;
  Write(card);
  EXPECT_TRUE(Card.EraseCard());
  EXPECT_EQ(ReadWholeFile(DataPath()), ErasedBytes(card, 1));
}

TEST_F(CardMaintenanceTest, EraseOfAnInvalidDataFileMarksNothing) {
  TCardBuilder card = MixedCard();
  card.Signature = "NOT A CAR";
  Write(card);
  EXPECT_FALSE(Card.EraseCard());
  EXPECT_EQ(ReadWholeFile(DataPath()), card.DataFileBytes());
}

TEST_F(CardMaintenanceTest, InitializeSizesTheDataFileToTheFreeSpace) {
  const struct {
    int64_t Free;
    int64_t Size;
    std::string DataEndHex;
  } cases[] = {
      {1'000'000, 999'999, "000F423C"},
      {1'000'001, 999'999, "000F423C"},
      {12, 12, "00000009"},
      {9, 9, "00000006"},
      {-1, 0, "FFFFFFFD"},
      {0, 0, "FFFFFFFD"},
      {5'000'000'000, 2'147'483'646, "7FFFFFFB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Free);
    for (const std::string& name : testing_support::FilesIn(Dir.Path())) {
      std::remove((Dir / name).c_str());
    }
    MapDrive(c.Free < 0 ? -1 : c.Free, c.Free);
    EXPECT_TRUE(Card.InitializeCard());
    EXPECT_EQ(testing_support::FilesIn(Dir.Path()),
              (std::vector<std::string>{"fichbase.dat", "secttarq.hex"}));
    struct stat info {};
    ASSERT_EQ(::stat(DataPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_size, c.Size);
    if (c.Size >= 9 && c.Size < 10'000'000) {
      EXPECT_EQ(ReadWholeFile(DataPath()).substr(0, 9), "TARQPROBE");
    }
    EXPECT_EQ(ReadWholeFile(SectorPath()), NewLabelBlock(c.DataEndHex));
    EXPECT_FALSE(Card.DataFile.IsOpen());
    EXPECT_EQ(Status(false), c.Size >= 9 ? "Empty flash card" : "Invalid or missing flash card");
  }
}

TEST_F(CardMaintenanceTest, InitializeMeasuresTheSpaceLeftAfterTheSectorFile) {
  platform::TMappedDriveTable::TMapping mapping{Letter, Dir.Path()};
  mapping.Capacity = 1'000'000 + 2048;
  Drives->Map(mapping);
  EXPECT_EQ(Status(false), "Flash card not initialized");
  EXPECT_TRUE(Card.InitializeCard());
  EXPECT_EQ(ReadWholeFile(DataPath()).size(), 999'999u);
  EXPECT_EQ(ReadWholeFile(SectorPath()), NewLabelBlock("000F423C"));
  EXPECT_EQ(Status(false), "Empty flash card");
}

TEST_F(CardMaintenanceTest, InitializeWarnsWhenAFileCannotBeCreated) {
  platform::TFaultPlan plan;
  plan.PathContains = "fichbase.dat";
  plan.CreateErrorCode = platform::IoAccessDenied;
  platform::SetFaultPlan(plan);
  EXPECT_FALSE(Card.InitializeCard());
  EXPECT_TRUE(testing_support::FilesIn(Dir.Path()).empty());

  plan.PathContains = "secttarq.hex";
  platform::SetFaultPlan(plan);
  EXPECT_FALSE(Card.InitializeCard());
  EXPECT_EQ(testing_support::FilesIn(Dir.Path()), (std::vector<std::string>{"fichbase.dat"}));
  EXPECT_EQ(ReadWholeFile(DataPath()), "");

  ASSERT_EQ(Boxes.Boxes.size(), 2u);
  EXPECT_EQ(Boxes.Boxes[0].Kind, "warning");
  EXPECT_EQ(Boxes.Boxes[0].Text, "Cannot create file FICHBASE.DAT");
  EXPECT_EQ(Boxes.Boxes[1].Kind, "warning");
  EXPECT_EQ(Boxes.Boxes[1].Text, "Cannot create file SECTTARQ.HEX");
  EXPECT_FALSE(Card.DataFile.IsOpen());

  Card.Root = Drives->RootOf('q');  // a drive that is not present
  EXPECT_FALSE(Card.InitializeCard());
  EXPECT_EQ(Boxes.Boxes.back().Text, "Cannot create file FICHBASE.DAT");
}

TEST_F(CardMaintenanceTest, InitializeOnAFullDriveRaisesAndLeavesNothingOpen) {
  platform::TFaultPlan plan;
  plan.PathContains = "secttarq.hex";
  plan.WriteBytesLeft = 1000;
  platform::SetFaultPlan(plan);
  try {
    Card.InitializeCard();
    FAIL() << "no error";
  } catch (const platform::EInOutError& e) {
    EXPECT_EQ(e.Code(), platform::IoDiskFull);
  }
  EXPECT_FALSE(Card.DataFile.IsOpen());
}

}  // namespace
