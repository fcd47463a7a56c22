#pragma once
// A card on the drive f: for the card unit's tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "card/TarqCard.h"
#include "platform/Drives.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"

// The card's walk, step by step, as the card itself goes through it.
struct TCardWalkAccess {
  static void ReadSignature(TTarqCard& card) { card.ReadSignature(); }
  static bool ReadEventHeader(TTarqCard& card, bool restore) {
    return card.ReadEventHeader(restore);
  }
  static bool SkipEventData(TTarqCard& card) { return card.SkipEventData(); }
};

class TCardFixture : public ::testing::Test {
 public:
  static constexpr char Letter = 'f';

  TCardFixture() {
    Card.Root = Drive.Root();
    Card.Today = [] { return TProbeDate{2005, 6, 20}; };
  }
  ~TCardFixture() override { platform::ClearFaultPlan(); }

  // The sizes f: reports (-1: the query fails).
  void MapDrive(int64_t total, int64_t free) { Drive.SetSizes(total, free); }

  std::string Write(const testing_support::TCardBuilder& card) { return Drive.Write(card); }
  std::string DataPath() const { return Dir / "fichbase.dat"; }
  std::string SectorPath() const { return Dir / "secttarq.hex"; }

  testing_support::TCardDrive Drive{Letter};
  const testing_support::TTempDir& Dir = Drive.Dir;
  const std::shared_ptr<platform::TMappedDriveTable>& Drives = Drive.Drives;
  testing_support::TScriptedMessages Boxes;
  TTarqCard Card{Boxes, *Drives};
};

using testing_support::SmallEvent;
