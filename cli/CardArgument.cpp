#include "cli/CardArgument.h"

#include <cctype>
#include <memory>

#include "card/CardLayout.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"

bool IsDriveLetterArgument(const std::string& arg) {
  if (arg.size() < 2 || arg.size() > 3) return false;
  if (!std::isalpha(static_cast<unsigned char>(arg[0])) || arg[1] != ':') return false;
  return arg.size() == 2 || arg[2] == '/' || arg[2] == '\\';
}

std::optional<TCardLocation> ResolveCardArgument(const std::string& arg, std::string& error,
                                                 const TCardArgumentOptions& options) {
  TCardLocation location;
  if (IsDriveLetterArgument(arg)) {
    location.Letter = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[0])));
    return location;
  }
  if (arg.empty() || !platform::DirectoryExists(arg)) {
    error = "CARD '" + arg +
            "' is neither a drive letter with its colon (e:) nor a directory that holds the "
            "card files";
    return std::nullopt;
  }
  platform::TMappedDriveTable::TMapping mapping{CardDirectoryLetter, arg};
  if (options.DriveSize) {
    mapping.Total = *options.DriveSize;
    mapping.Free = *options.DriveSize;
  } else {
    mapping.Measure = true;
  }
  auto table = std::make_shared<platform::TMappedDriveTable>();
  table->Map(mapping);
  table->SetCurrent(CardDirectoryLetter);
  platform::SetDriveTable(table);
  location.Letter = CardDirectoryLetter;
  location.Directory = arg;
  return location;
}

void ReleaseCardLocation(const TCardLocation& location) {
  if (location.IsDirectory()) platform::SetDriveTable(nullptr);
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
