#pragma once
// Shared by the fuzz targets: a scratch directory that lives for the whole fuzzing process,
// and the splitting of one input into the two card files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "card/TarqCard.h"

namespace fuzzing {

// A directory created once per process (and emptied by each call of Fresh).
class TScratch {
 public:
  static TScratch& Instance();
  const std::string& Root() const { return RootDir; }
  // An empty subdirectory of the scratch root, named `name`.
  std::string Fresh(const std::string& name);

 private:
  TScratch();
  ~TScratch();
  std::string RootDir;
};

void WriteFile(const std::string& path, const uint8_t* data, size_t size);

// Input layout of the card targets: a flags byte, two bytes (little-endian) giving the length
// L of the sector file (0xFFFF: no sector file), L bytes of sector file, then the data file.
struct TCardInput {
  uint8_t Flags = 0;
  bool HasSectorFile = false;
  std::string SectorFile;
  std::string DataFile;
};
TCardInput SplitCardInput(const uint8_t* data, size_t size);
std::string JoinCardInput(const TCardInput& input);

// The card files of an input written into a fresh directory mapped as drive k: (blank-sized
// when Flags bit 0 is set, so that the blank-drive rules are reached too). Returns the
// directory.
std::string WriteCard(const TCardInput& input, const std::string& name);
constexpr char CardDrive = 'k';

// Card files and everything in a directory, by name, for before/after comparisons.
std::string ReadFile(const std::string& path);

// The card unit on drive k: of the drive table in use, with the message boxes in use, dated
// 30 June 2006 whatever the day of the run.
struct TCardUnderTest {
  TCardUnderTest();
  TSettings Settings;
  TTarqCard Card{Messages(), platform::DriveTable()};
};

// A directory view that keeps the lines a scan lists.
struct TListedLines : TDirectoryView {
  std::vector<std::string> Lines;
  void SetCount(const std::string&) override {}
  void AddLine(const std::string& line) override { Lines.push_back(line); }
};

// Installs message boxes that say nothing and refuse every confirmation.
void SilenceMessages();

}  // namespace fuzzing
