#pragma once
// The user's choices kept between runs (settings/SettingsFile.h reads and writes them).

#include <string>

// The user's options. One instance for the program, owned by its start-up code.
struct TSettings {
  char FlashUnit = 'c';      // drive of the card
  std::string DataDir;       // destination directory, without a trailing separator
  bool RecordFile = true;    // one text file per event with all channels
  bool SensorFiles = false;  // one text file per three-channel sensor
  bool BinaryFile = false;   // one binary copy per event
  bool SacFiles = false;     // one SAC file per channel
  bool SerialNr = true;      // the station serial in every output name
  // The standard data products, kept in READTARQ-SEED.INI beside READTARQ.INI
  // (settings/SeedSettings.h).
  bool MiniSeedFile = false;   // one miniSEED file per event with all channels
  bool SdsArchive = false;     // the events filed into an SDS archive rooted at DataDir
  std::string Network{};       // network code of the records; empty: XX
  std::string StationSheet{};  // path of the station sheet; empty: none
  bool StationSheetLatin1 = false;  // the sheet is ISO 8859-1, not UTF-8 (not kept in a file)
  int RecordLength = 4096;     // bytes of a miniSEED record: 4096 or 512
};
