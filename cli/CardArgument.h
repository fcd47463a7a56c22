#pragma once
// CARD on the command line: a drive letter with its colon, or a directory that holds the card
// files. Every command that reads a card resolves it here, so all accept the same forms.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/Messages.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"

struct TCardLocation {
  // The card's root directory: the drive's root, empty for a drive that is not present, or
  // the directory given.
  std::string Root;
  std::string Directory;  // the directory given, empty for a drive letter
  bool IsDirectory() const { return !Directory.empty(); }
};

// True for a drive letter with its colon: "e:", "E:", "e:/", "e:\".
bool IsDriveLetterArgument(const std::string& arg);

// Resolves CARD. A drive letter with its colon ("e:", "E:", "e:/") names a drive of `drives`,
// present or not. A directory is the card's root as it is. Returns nothing, with the reason in
// `error`, when the argument is neither.
std::optional<TCardLocation> ResolveCardArgument(const std::string& arg, std::string& error,
                                                 platform::TDriveTable& drives);

// The drive table a card command hands the card, for the size and free space of its drive:
// `drives`, unless the card is a directory given a size (DriveSize), which then is a drive of
// its own that large and entirely free.
class TCardDrives {
 public:
  TCardDrives(const TCardLocation& location, platform::TDriveTable& drives,
              std::optional<int64_t> directorySize);
  TCardDrives(const TCardDrives&) = delete;
  TCardDrives& operator=(const TCardDrives&) = delete;
  platform::TDriveTable& Drives() { return *Table; }

 private:
  platform::TMappedDriveTable Sized;
  platform::TDriveTable* Table;
};

// The card of a command line: CARD resolved (a bad one throws TUsageError), its drive table,
// and the command's message boxes (to `err`; `yes` answers every question), in use while it
// lives: a failing close ends the program through them. directorySize: for a directory, the
// total size and free space its drive reports (a blank drive, for initialize); without it the
// sizes are those of the file system that holds the directory.
struct TCliCard {
  explicit TCliCard(const std::string& argument, std::ostream& err, bool yes = false,
                    std::optional<int64_t> directorySize = {});
  TCliCard(const TCliCard&) = delete;
  TCliCard& operator=(const TCliCard&) = delete;
  TCardLocation Location;
  TCardDrives Drives;
  TStreamMessages Messages;
  TMessagesScope Scope;
  TTarqCard Card;
};

// True when the directory holds fichbase.dat or secttarq.hex, in any letter case.
bool HoldsCardFiles(const std::string& directory);

// Card texts as printed: control characters of a corrupt card would drive the terminal, so
// they are shown as "?".
std::string PrintableText(const std::string& text);

// A whole decimal number that is all of the text.
bool ParseNumber(const std::string& text, int& value);
bool ParseNumber(const std::string& text, int64_t& value);
// --events: "1,3-5" into ranges of 1-based event numbers; nothing for a list that is not one.
std::optional<std::vector<std::pair<int, int>>> ParseEventList(const std::string& list);
// --network: a network code SEED allows; nothing otherwise.
std::optional<std::string> ParseNetwork(const std::string& text);
// --record-length: a miniSEED record length offered (512 or 4096); nothing otherwise.
std::optional<int> ParseRecordLength(const std::string& text);
// --probe-date: a date YYYY-MM-DD that exists; nothing otherwise.
std::optional<TProbeDate> ParseProbeDate(const std::string& text);
