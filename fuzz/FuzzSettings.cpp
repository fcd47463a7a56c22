// The settings reader on arbitrary text: it reports or accepts, never crashes, and never
// changes the file it reads.
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "FuzzSupport.h"
#include "settings/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = fuzzing::TScratch::Instance().Fresh("settings");
  const std::string ini = dir + "/READTARQ.INI";
  fuzzing::WriteFile(ini, data, size);

  TSettingsFile file(dir + "/readtarq");
  std::optional<std::string> error;
  try {
    file.ReadSettings('c');
  } catch (const platform::EFileError& bad) {
    error = bad.what();
  }
  if (error && error->rfind("Erreur de lecture du fichier READTARQ.INI, ligne ", 0) != 0)
    std::abort();

  std::ifstream in(ini, std::ios::binary);
  std::ostringstream back;
  back << in.rdbuf();
  if (back.str() != std::string(reinterpret_cast<const char*>(data), size)) std::abort();

  if (!error) {
    // What was read is written back canonically and reads back the same.
    file.WriteSettings();
    TSettingsFile again(dir + "/readtarq");
    try {
      again.ReadSettings('c');
    } catch (const platform::EFileError&) {
      std::abort();
    }
    const TSettings& a = file.Settings;
    const TSettings& b = again.Settings;
    bool same = a.Kinds == b.Kinds && a.SerialNr == b.SerialNr;
    if (!same) std::abort();
  }
  return 0;
}
