#pragma once
// The card as JSON for scripts: the status object, the event list and the drive table, built
// from plain values so that the command-line tool can fill them from whatever read the card.
// Keys come in the order listed. Texts from the card go in as they are: JsonText turns bytes
// that are not UTF-8 into U+FFFD instead of failing. Numbers are written without the C
// library's locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/UtcTime.h"
#include "base/Utf8Text.h"  // ValidUtf8

// "YYYY-MM-DDTHH:MM:SS.mmm", to the millisecond (each field zero-filled to its width, never
// cut).
std::string UtcText(const TUtcTime& time);

// What the status command prints of a card. A field the card does not show (no valid card,
// the version of a new card) is empty and becomes null.
struct TCardFacts {
  std::string Status;  // in mixed case, as the status command prints it
  std::optional<int64_t> Events;
  std::optional<int64_t> UsedBytes;
  std::optional<int64_t> TotalBytes;
  std::optional<int> EpromVersion;
};

// One line of the event list.
struct TListEntry {
  int Index = 0;     // 1-based line number
  std::string File;  // original file name
  int SampleRate = 0;
  int DurationMinutes = 0;
  int Gain = 0;
  std::optional<int64_t> Station;  // serial number; empty when the card's text is no number
  int Channels = 0;
  TUtcTime Start;
  bool GpsFix = false;            // recorded with a GPS fix (HasGpsFix)
  std::optional<int> Satellites;  // the satellites in use; empty without a receiver (format 1)
};

// One drive of the drive table.
struct TDriveEntry {
  char Letter = 'c';            // any case; written "e:"
  std::string Path;             // mount point
  std::optional<int64_t> Size;  // bytes; empty when the size query failed
  std::string Status;           // the card status text, as the status command prints it
};

// {status, events, used_bytes, total_bytes, eprom_version}
nlohmann::ordered_json StatusJson(const TCardFacts& card);
// [{index, file, sample_rate, duration_minutes, gain, station, channels, start, gps_fix,
// satellites}, ...]
nlohmann::ordered_json ListJson(const std::vector<TListEntry>& entries);
// [{letter, path, size, status}, ...]
nlohmann::ordered_json DrivesJson(const std::vector<TDriveEntry>& drives);

// The text of a JSON value (indent < 0: one line), ending without a line break. Never throws
// on card texts that are not UTF-8.
std::string JsonText(const nlohmann::ordered_json& value, int indent = 2);
std::string JsonText(const nlohmann::json& value, int indent = 2);
