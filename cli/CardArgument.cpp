#include "cli/CardArgument.h"

#include <cctype>

#include "card/CardLayout.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"

bool IsDriveLetterArgument(const std::string& arg) {
  if (arg.size() < 2 || arg.size() > 3) return false;
  if (!std::isalpha(static_cast<unsigned char>(arg[0])) || arg[1] != ':') return false;
  return arg.size() == 2 || arg[2] == '/' || arg[2] == '\\';
}

std::optional<TCardLocation> ResolveCardArgument(const std::string& arg, std::string& error,
                                                 platform::TDriveTable& drives) {
  TCardLocation location;
  if (IsDriveLetterArgument(arg)) {
    location.Root = drives.RootOf(arg[0]);
    return location;
  }
  if (arg.empty() || !platform::DirectoryExists(arg)) {
    error = "CARD '" + arg +
            "' is neither a drive letter with its colon (e:) nor a directory that holds the "
            "card files";
    return std::nullopt;
  }
  location.Root = arg;
  location.Directory = arg;
  return location;
}

TCardDrives::TCardDrives(const TCardLocation& location, platform::TDriveTable& drives,
                         std::optional<int64_t> directorySize)
    : Table(&drives) {
  if (!location.IsDirectory() || !directorySize) return;
  // The directory's own drive: any letter will do, the card is found by its root.
  platform::TMappedDriveTable::TMapping mapping{'z', location.Directory};
  mapping.Total = *directorySize;
  mapping.Free = *directorySize;
  Sized.Map(mapping);
  Table = &Sized;
}

bool HoldsCardFiles(const std::string& directory) {
  for (std::string_view name : {card_layout::DataFileName, card_layout::SectorFileName}) {
    if (platform::PathExists(platform::FindCaseInsensitive(directory, std::string(name)))) {
      return true;
    }
  }
  return false;
}

std::string PrintableText(const std::string& text) {
  std::string printable = text;
  for (char& c : printable) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) c = '?';
  }
  return printable;
}
