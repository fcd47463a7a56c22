#pragma once
// The settings file READTARQ.INI: the user's choices kept between runs.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "platform/IoError.h"
#include "writers/OutputKinds.h"

// Reads and writes the settings file. The file lies in the program's directory; when that
// directory cannot be written (a program installed in a system directory) it lies in the
// user's configuration directory instead. Without a file, downloads go to
// DefaultDataDirectory().
class TSettingsFile {
 public:
  // exePath: the program's own path (ExecutablePath() for the real program).
  explicit TSettingsFile(std::string exePath);

  TSettings Settings;
  std::string ProgramDir;  // set by ReadSettings

  // Sets ProgramDir and the defaults of FlashUnit (driveLetter: the drive selector's drive)
  // and DataDir, then applies the file if it can be opened. A bad line throws platform::EFileError
  // with the message to show ("Erreur de lecture du fichier READTARQ.INI, ligne N, ..."); the
  // desktop program shows it and ends. The file on disk is never changed by reading.
  void ReadSettings(char driveLetter);
  // Then reads READTARQ-SEED.INI beside it, when there is one (settings/SeedSettings.h).
  // Writes the seven canonical lines; then READTARQ-SEED.INI when it exists already or a
  // product setting differs from its default. Throws EInOutError when a file cannot be
  // written.
  void WriteSettings();

  // Where the file is read from and written to (valid after ReadSettings).
  const std::string& FilePath() const { return Path; }

 private:
  // Sets ProgramDir and Path; true when the settings live in the program's directory.
  bool LocateFile();
  std::string ExePath;
  std::string Path;
};

// The destination of a fresh start: the ReadTarq folder of the user's home.
std::string DefaultDataDirectory();

// A line of a settings file: "Name := value;" (or "=", or ":"), what follows ';' ignored,
// blank lines and lines starting with '#', '[' or '{' skipped. Names are upper-cased and cut
// to 20 characters, values trimmed.
enum class TSettingsLine { Skip, Pair, NoSeparator, NoName };
TSettingsLine SplitSettingsLine(std::string line, std::string& name, std::string& value);

// The first wrong line of a settings file: its number (from 1) and why.
struct TBadSettingsLine {
  int Line = 0;
  std::string Reason;
};
// Reads the lines of a settings file, handing each name and value to `apply` (which returns
// why it refuses the value, or nothing) up to the first wrong line. Nothing when every line is
// right or the file cannot be opened; a line without a separator or a name gives the reasons
// noSeparator and noName.
std::optional<TBadSettingsLine> ReadSettingsLines(
    const std::string& path, const char* noSeparator, const char* noName,
    const std::function<std::optional<std::string>(const std::string& name,
                                                   const std::string& value)>& apply);

// Writes the lines beside the file and renames them over it (a symbolic link followed).
// Throws EInOutError.
void WriteSettingsFile(const std::string& path, const std::vector<std::string>& lines);

// The value upper-cased: "TRUE" or "FALSE" set field; anything else is the bad-line reason.
std::optional<std::string> ParseBoolValue(const std::string& value, bool& field);
// A flag as the settings files write it: "TRUE" or "FALSE".
std::string BoolText(bool value);
std::string ReportSettingsError(const std::string& reason, int lineNumber);

// ParseBoolValue for the choice of `kind` in the settings.
std::optional<std::string> ParseKindValue(const std::string& value, TSettings& settings,
                                          const TOutputKind& kind);

// The output kinds' lines: the kind kept in `file` whose key (or older key) is the upper-cased
// name of a line, or null; and the lines of the kinds kept there, in table order, each key
// padded with blanks to `keyWidth`.
const TOutputKind* KindOfSettingsName(TKindSettingsFile file, const std::string& name);
std::vector<std::string> KindSettingsLines(const TSettings& settings, TKindSettingsFile file,
                                           size_t keyWidth);
