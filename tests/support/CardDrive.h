#pragma once
// A card on a drive for tests: a letter mapped to a fresh directory in a drive table of its
// own, with the sizes the drive reports. The card unit finds the card by the drive's root and
// asks the table for its sizes; the windows and the command-line tool find the drive by letter
// once the table is installed.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Drives.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

namespace testing_support {

// Maps a letter to a directory in a drive table, with the sizes the drive reports (-1: the
// query fails); replaces an earlier mapping of the letter.
inline void MapDrive(platform::TMappedDriveTable& drives, char letter, const std::string& dir,
                     int64_t total, int64_t free) {
  platform::TMappedDriveTable::TMapping mapping{letter, dir};
  mapping.Total = total;
  mapping.Free = free;
  drives.Map(mapping);
}

class TCardDrive {
 public:
  explicit TCardDrive(char letter, int64_t total = 64'000'000, int64_t free = 32'000'000)
      : Letter(letter), Drives(std::make_shared<platform::TMappedDriveTable>()) {
    SetSizes(total, free);
  }

  // The sizes the drive reports (-1: the query fails).
  void SetSizes(int64_t total, int64_t free) { MapDrive(*Drives, Letter, Dir.Path(), total, free); }
  // The drive's root directory, as the drive table gives it.
  std::string Root() const { return Drives->RootOf(Letter); }
  // Writes the card files onto the drive; returns the data file's path.
  std::string Write(const TCardBuilder& card) const { return card.WriteTo(Dir.Path()); }

  const char Letter;
  TTempDir Dir;
  std::shared_ptr<platform::TMappedDriveTable> Drives;
};

}  // namespace testing_support
