#include "cli/CardArgument.h"

#include <cctype>
#include <charconv>

#include "base/DateTime.h"
#include "card/CardLayout.h"
#include "cli/OptionTable.h"
#include "platform/Drives.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SeedCodes.h"
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

namespace {

TCardLocation ResolvedCard(const std::string& argument) {
  std::string error;
  const std::optional<TCardLocation> location =
      ResolveCardArgument(argument, error, platform::DriveTable());
  if (!location) throw TUsageError(error);
  return *location;
}

}  // namespace

TCliCard::TCliCard(const std::string& argument, std::ostream& err, bool yes,
                   std::optional<int64_t> directorySize)
    : Location(ResolvedCard(argument)),
      Drives(Location, platform::DriveTable(), directorySize),
      Messages(err, yes),
      Scope(Messages),
      Card(Messages, Drives.Drives()) {
  Card.Root = Location.Root;
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

namespace {

template <typename T>
bool ParseWhole(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && !text.empty();
}

}  // namespace

bool ParseNumber(const std::string& text, int& value) {
  return ParseWhole(text, value);
}

bool ParseNumber(const std::string& text, int64_t& value) {
  return ParseWhole(text, value);
}

// "1,3-5" into ranges of 1-based event numbers.
std::optional<std::vector<std::pair<int, int>>> ParseEventList(const std::string& list) {
  std::vector<std::pair<int, int>> ranges;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string item = list.substr(start, comma - start);
    const size_t dash = item.find('-');
    int first = 0;
    int last = 0;
    bool ok = dash == std::string::npos ? ParseNumber(item, first) && (last = first, true)
                                        : ParseNumber(item.substr(0, dash), first) &&
                                              ParseNumber(item.substr(dash + 1), last);
    if (!ok || first < 1 || last < first) return std::nullopt;
    ranges.push_back({first, last});
    start = comma + 1;
  }
  return ranges;
}

std::optional<TProbeDate> ParseProbeDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !ParseNumber(text.substr(0, 4), year) || !ParseNumber(text.substr(5, 2), month) ||
      !ParseNumber(text.substr(8, 2), day) || year < 1000 || month < 1 || month > 12 || day < 1) {
    return std::nullopt;
  }
  uint16_t d = 0, m = 0, y = 0;
  WUtil::DayNumberToDate(
      WUtil::DateToDayNumber(static_cast<uint16_t>(day), static_cast<uint16_t>(month),
                             static_cast<uint16_t>(year)),
      d, m, y);
  if (d != day || m != month || y != year) return std::nullopt;
  return TProbeDate{y, m, d};
}

std::optional<std::string> ParseNetwork(const std::string& text) {
  if (!seed::CodeProblem(seed::TCodeKind::Network, text).empty()) return std::nullopt;
  return text;
}

std::optional<int> ParseRecordLength(const std::string& text) {
  int length = 0;
  if (!ParseNumber(text, length) || !seed::IsOfferedRecordLength(length)) return std::nullopt;
  return length;
}
