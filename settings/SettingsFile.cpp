#include "settings/SettingsFile.h"

#include <cctype>
#include <cstdio>

#include "base/FileFlags.h"
#include "base/PathNames.h"
#include "base/TextFields.h"
#include "platform/FileSystem.h"
#include "platform/WholeFile.h"
#include "settings/SeedSettings.h"

using WUtil::TrimBoth;

namespace {

constexpr size_t MaxLineLength = 255;
constexpr size_t MaxNameLength = 20;
const char* const SettingsFileName = "READTARQ.INI";

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string BoolText(bool value) {
  return value ? "TRUE" : "FALSE";
}

std::optional<TBadSettingsLine> ReadSettingsLines(
    const std::string& path, const char* noSeparator, const char* noName,
    const std::function<std::optional<std::string>(const std::string& name,
                                                   const std::string& value)>& apply) {
  platform::TRecordFile file;
  if (!WUtil::OpenForReading(file, path, 0)) return std::nullopt;
  int lineNumber = 0;
  std::string line;
  std::optional<std::string> reason;
  while (!reason && file.ReadLine(line)) {
    ++lineNumber;
    std::string name;
    std::string value;
    switch (SplitSettingsLine(line, name, value)) {
      case TSettingsLine::Skip:
        break;
      case TSettingsLine::NoSeparator:
        reason = noSeparator;
        break;
      case TSettingsLine::NoName:
        reason = noName;
        break;
      case TSettingsLine::Pair:
        reason = apply(name, value);
        break;
    }
  }
  WUtil::CloseChecked(file);
  if (!reason) return std::nullopt;
  return TBadSettingsLine{lineNumber, *reason};
}

std::optional<std::string> ParseBoolValue(const std::string& value, bool& field) {
  const std::string upper = UpperCase(value);
  if (upper == "TRUE") {
    field = true;
  } else if (upper == "FALSE") {
    field = false;
  } else {
    return std::string("il manque \"true\" ou \"false\"");
  }
  return std::nullopt;
}

std::string ReportSettingsError(const std::string& reason, int lineNumber) {
  return "Erreur de lecture du fichier READTARQ.INI, ligne " + std::to_string(lineNumber) + ", " +
         reason;
}

TSettingsLine SplitSettingsLine(std::string line, std::string& name, std::string& value) {
  if (line.size() > MaxLineLength) line.resize(MaxLineLength);
  if (size_t semicolon = line.find(';'); semicolon != std::string::npos) line.resize(semicolon);
  TrimBoth(line);
  if (line.empty() || line[0] == '#' || line[0] == '[' || line[0] == '{')
    return TSettingsLine::Skip;
  size_t separator = line.find('=');
  if (separator == std::string::npos) separator = line.find(':');
  if (separator == std::string::npos) return TSettingsLine::NoSeparator;
  name = line.substr(0, std::min(separator, MaxNameLength));
  if (!name.empty() && name.back() == ':') name.pop_back();
  TrimBoth(name);
  if (name.empty()) return TSettingsLine::NoName;
  value = line.substr(separator + 1);
  TrimBoth(value);
  name = UpperCase(name);
  return TSettingsLine::Pair;
}

std::string DefaultDataDirectory() {
  return platform::HomeDirectory() + platform::PathDelim + "ReadTarq";
}

TSettingsFile::TSettingsFile(std::string exePath) : ExePath(std::move(exePath)) {}

bool TSettingsFile::LocateFile() {
  ProgramDir = WUtil::WithoutTrailingBackslash(WUtil::DirectoryPart(ExePath));
  // An installed program's directory belongs to the system, even where root could write it.
  const bool programDirWritable =
      !platform::IsSystemDirectory(ProgramDir) && platform::DirectoryWritable(ProgramDir);
  const std::string settingsDir = programDirWritable ? ProgramDir : platform::UserConfigDirectory();
  Path = settingsDir + platform::PathDelim + SettingsFileName;
  return programDirWritable;
}

void TSettingsFile::ReadSettings(char driveLetter) {
  LocateFile();

  Settings.FlashUnit = driveLetter;
  // Events never go into the program's own directory (a build tree, /usr/bin) unless the user
  // chose it: a fresh start downloads into a folder of the user's home, made on first use.
  Settings.DataDir = DefaultDataDirectory();

  auto apply = [this](const std::string& name,
                      const std::string& value) -> std::optional<std::string> {
    if (name == "FLASHUNIT") {
      // An empty value names no drive: the drive selector's drive stays.
      if (!value.empty()) Settings.FlashUnit = value[0];
    } else if (name == "DATADIR") {
      Settings.DataDir = WUtil::WithoutTrailingBackslash(value);
    } else if (const TOutputKind* kind = KindOfSettingsName(TKindSettingsFile::Main, name)) {
      return ParseKindValue(value, Settings, *kind);
    } else if (name == "SERIALNR") {
      return ParseBoolValue(value, Settings.SerialNr);
    } else {
      return "variable inconnue";
    }
    return std::nullopt;
  };
  const std::optional<TBadSettingsLine> wrong =
      ReadSettingsLines(Path, "il manque un =", "variable manquante", apply);
  if (wrong) {
    throw platform::EFileError(platform::IoDataError, Path,
                               ReportSettingsError(wrong->Reason, wrong->Line));
  }
  // The standard data products' file is read even when this one is missing.
  ReadSeedSettings(SeedSettingsPath(Path), Settings);
}

void TSettingsFile::WriteSettings() {
  if (Path.empty()) LocateFile();  // ReadSettings was never called
  std::vector<std::string> lines = {
      std::string("FlashUnit   := ") + Settings.FlashUnit + ";",
      "DataDir     := " + WUtil::WithTrailingBackslash(Settings.DataDir) + ";",
  };
  for (std::string& line : KindSettingsLines(Settings, TKindSettingsFile::Main, 11)) {
    lines.push_back(std::move(line));
  }
  lines.push_back("SerialNr    := " + BoolText(Settings.SerialNr) + ";");
  WriteSettingsFile(Path, lines);
  // The standard data products' file exists once they were chosen or set up.
  const std::string seedPath = SeedSettingsPath(Path);
  if (platform::PathExists(seedPath) || !SeedSettingsAreDefaults(Settings)) {
    WriteSettingsFile(seedPath, SeedSettingsLines(Settings));
  }
}

void WriteSettingsFile(const std::string& path, const std::vector<std::string>& lines) {
  const std::string dir = WUtil::DirectoryPart(path);
  if (!dir.empty() && !platform::DirectoryExists(dir)) {
    // The user's configuration directory may not exist yet.
    platform::ForceDirectories(dir);
  }
  // A settings file made a symbolic link stays one: the file it names is replaced. A file
  // made read-only is not replaced at all.
  const std::string target = platform::FollowSymbolicLinks(path);
  if (platform::FileReadOnly(target)) throw platform::EInOutError(platform::IoAccessDenied, path);
  // Written beside the old file and renamed over it, so that a full disk or a power cut never
  // leaves a half-written settings file behind.
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  try {
    platform::ReplaceFile(target, text);
  } catch (const platform::ECloseError& error) {
    throw platform::ECloseError(error.Code(), path);
  } catch (const platform::EInOutError& error) {
    throw platform::EInOutError(error.Code(), path);
  }
}

std::optional<std::string> ParseKindValue(const std::string& value, TSettings& settings,
                                          const TOutputKind& kind) {
  bool chosen = IsChosen(settings, kind);
  std::optional<std::string> wrong = ParseBoolValue(value, chosen);
  Choose(settings, kind, chosen);
  return wrong;
}

const TOutputKind* KindOfSettingsName(TKindSettingsFile file, const std::string& name) {
  for (const TOutputKind& kind : OutputKinds()) {
    if (kind.SettingsFile != file || kind.SettingsKey == nullptr) continue;
    if (name == UpperCase(kind.SettingsKey) ||
        (kind.SettingsAlias != nullptr && name == UpperCase(kind.SettingsAlias))) {
      return &kind;
    }
  }
  return nullptr;
}

std::vector<std::string> KindSettingsLines(const TSettings& settings, TKindSettingsFile file,
                                           size_t keyWidth) {
  std::vector<std::string> lines;
  for (const TOutputKind& kind : OutputKinds()) {
    if (kind.SettingsFile != file || kind.SettingsKey == nullptr) continue;
    std::string key = kind.SettingsKey;
    if (key.size() < keyWidth) key.append(keyWidth - key.size(), ' ');
    lines.push_back(key + " := " + BoolText(IsChosen(settings, kind)) + ";");
  }
  return lines;
}
