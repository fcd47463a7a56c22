#include "settings/SeedSettings.h"

#include <charconv>

#include "base/PathNames.h"
#include "platform/FileSystem.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SeedCodes.h"

namespace {

// Why the value of a line is refused, or nothing.
std::optional<std::string> ApplyLine(const std::string& name, const std::string& value,
                                     TSettings& settings) {
  if (const TOutputKind* kind = KindOfSettingsName(TKindSettingsFile::Products, name)) {
    if (ParseKindValue(value, settings, *kind)) return std::string("TRUE or FALSE expected");
  } else if (name == "NETWORK") {
    if (!value.empty()) {
      const std::string problem = seed::CodeProblem(seed::TCodeKind::Network, value);
      if (!problem.empty()) return problem;
    }
    settings.Network = value;
  } else if (name == "STATIONS") {
    settings.StationSheet = value;
  } else if (name == "RECORDLENGTH") {
    int length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (error != std::errc() || end != value.data() + value.size() ||
        !seed::IsOfferedRecordLength(length)) {
      return "record length 512 or 4096 expected, not '" + value + "'";
    }
    settings.RecordLength = length;
  } else {
    return "unknown variable " + name;
  }
  return std::nullopt;
}

}  // namespace

std::string SeedSettingsPath(const std::string& settingsPath) {
  std::string dir = WUtil::DirectoryPart(settingsPath);
  if (!dir.empty() && dir.back() != platform::PathDelim) dir += platform::PathDelim;
  return dir + SeedSettingsFileName;
}

void ReadSeedSettings(const std::string& path, TSettings& settings) {
  const std::optional<TBadSettingsLine> wrong =
      ReadSettingsLines(path, "'=' missing", "variable name missing",
                        [&settings](const std::string& name, const std::string& value) {
                          return ApplyLine(name, value, settings);
                        });
  if (!wrong) return;
  throw platform::EFileError(platform::IoDataError, path,
                             std::string("Error reading ") + SeedSettingsFileName + ", line " +
                                 std::to_string(wrong->Line) + ": " + wrong->Reason);
}

std::vector<std::string> SeedSettingsLines(const TSettings& settings) {
  std::vector<std::string> lines = KindSettingsLines(settings, TKindSettingsFile::Products, 12);
  lines.push_back("Network      := " + settings.Network + ";");
  lines.push_back("Stations     := " + settings.StationSheet + ";");
  lines.push_back("RecordLength := " + std::to_string(settings.RecordLength) + ";");
  return lines;
}

bool SeedSettingsAreDefaults(const TSettings& settings) {
  return SeedSettingsLines(settings) == SeedSettingsLines(TSettings{});
}
