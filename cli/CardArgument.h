#pragma once
// CARD on the command line: a drive letter with its colon, or a directory that holds the card
// files. Every command that reads a card resolves it here, so all accept the same forms.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "app/Messages.h"

struct TCardLocation {
  char Letter = 0;        // the drive to use as FlashUnit
  std::string Directory;  // the directory given, empty for a drive letter
  bool IsDirectory() const { return !Directory.empty(); }
};

struct TCardArgumentOptions {
  // For a directory: the total size and free space its drive reports, both this many bytes (a
  // blank drive, for initialize). Without it the sizes are those of the file system that holds
  // the directory.
  std::optional<int64_t> DriveSize;
};

// True for a drive letter with its colon: "e:", "E:", "e:/", "e:\".
bool IsDriveLetterArgument(const std::string& arg);

// The letter that a directory given as CARD is mapped to.
constexpr char CardDirectoryLetter = 'z';

// Resolves CARD. A drive letter with its colon ("e:", "E:", "e:/") names a drive of the drive
// table in use, present or not. A directory is mapped to CardDirectoryLetter in a drive table
// of its own, installed with platform::SetDriveTable until the location is released. Returns
// nothing, with the reason in `error`, when the argument is neither.
std::optional<TCardLocation> ResolveCardArgument(const std::string& arg, std::string& error,
                                                 const TCardArgumentOptions& options = {});

// Puts back the system's drive table if the location installed one.
void ReleaseCardLocation(const TCardLocation& location);

// Releases a resolved location when it goes out of scope.
class TCardLocationScope {
 public:
  explicit TCardLocationScope(const TCardLocation& location) : Location(location) {}
  ~TCardLocationScope() { ReleaseCardLocation(Location); }
  TCardLocationScope(const TCardLocationScope&) = delete;
  TCardLocationScope& operator=(const TCardLocationScope&) = delete;

 private:
  TCardLocation Location;
};

// True when the directory holds fichbase.dat or secttarq.hex, in any letter case.
bool HoldsCardFiles(const std::string& directory);

// Card texts as printed: control characters of a corrupt card would drive the terminal, so
// they are shown as "?".
std::string PrintableText(const std::string& text);
