#pragma once
// The user's choices kept between runs (settings/SettingsFile.h reads and writes them).

#include <bitset>
#include <string>

// The output kinds chosen: a bit per row of the kind table (writers/OutputKinds.h), which alone
// knows what a row is; a new kind needs no field here. The first row alone is the default.
using TKindSet = std::bitset<16>;

// The user's options. One instance for the program, owned by its start-up code.
struct TSettings {
  char FlashUnit = 'c';      // drive of the card
  std::string DataDir;       // destination directory, without a trailing separator
  TKindSet Kinds{1};         // the output kinds of a download
  bool SerialNr = true;      // the station serial in every output name
  // The codes of the standard data products, kept in READTARQ-SEED.INI beside READTARQ.INI
  // (settings/SeedSettings.h) with the choice of their kinds.
  std::string Network{};       // network code of the records; empty: XX
  std::string StationSheet{};  // path of the station sheet; empty: none
  bool StationSheetLatin1 = false;  // the sheet is ISO 8859-1, not UTF-8 (not kept in a file)
  int RecordLength = 4096;     // bytes of a miniSEED record: 4096 or 512
};
