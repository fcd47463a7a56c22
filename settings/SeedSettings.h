#pragma once
// READTARQ-SEED.INI: the settings of the standard data products (miniSEED file, SDS archive,
// network code, station sheet, record length), in a file of their own beside READTARQ.INI
// and in its syntax:
//
//   MiniSeedFile := FALSE;
//   SdsArchive   := FALSE;
//   Network      := XX;
//   Stations     := /home/me/stations.csv;
//   RecordLength := 4096;
//
// An empty network keeps XX; an empty station sheet means none. A bad line gives
// "Error reading READTARQ-SEED.INI, line N: <why>".

#include <optional>
#include <string>
#include <vector>

#include "settings/SettingsFile.h"

inline constexpr const char* SeedSettingsFileName = "READTARQ-SEED.INI";

// The file beside the settings file at settingsPath.
std::string SeedSettingsPath(const std::string& settingsPath);
// Applies the file to the settings when it can be opened; a bad line throws platform::EFileError.
void ReadSeedSettings(const std::string& path, TSettings& settings);
std::vector<std::string> SeedSettingsLines(const TSettings& settings);
bool SeedSettingsAreDefaults(const TSettings& settings);
