#pragma once
// A card drive for tests: the letter f: mapped to a fresh directory.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Settings.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

class TCardFixture : public ::testing::Test {
 public:
  static constexpr char Letter = 'f';

  TCardFixture() {
    Settings.FlashUnit = Letter;
    Card.Today = [] { return TProbeDate{2005, 6, 20}; };
    MapDrive(64'000'000, 32'000'000);
  }
  ~TCardFixture() override {
    platform::ClearFaultPlan();
    platform::SetDriveTable(nullptr);
  }

  // Maps f: to the directory with the sizes the drive reports (-1: the query fails).
  void MapDrive(int64_t total, int64_t free) {
    Drives = std::make_shared<platform::TMappedDriveTable>();
    platform::TMappedDriveTable::TMapping mapping{Letter, Dir.Path()};
    mapping.Total = total;
    mapping.Free = free;
    Drives->Map(mapping);
    platform::SetDriveTable(Drives);
  }

  std::string Write(const testing_support::TCardBuilder& card) { return card.WriteTo(Dir.Path()); }
  std::string DataPath() const { return Dir / "fichbase.dat"; }
  std::string SectorPath() const { return Dir / "secttarq.hex"; }

  testing_support::TTempDir Dir;
  std::shared_ptr<platform::TMappedDriveTable> Drives;
  TSettings Settings;
  TTarqCard Card{Settings};
};

// A consistent event with few samples: 1 Hz for 1 minute, 60 frames.
inline testing_support::TBuiltEvent SmallEvent(const std::string& marker = "DEB",
                                               const std::string& channels = "3,12") {
  testing_support::TBuiltEvent event;
  event.Marker = marker;
  event.Channels = channels;
  event.RateDuration = "1,1";
  return event;
}
