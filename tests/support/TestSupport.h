#pragma once
// Test support: temporary directories, whole-file helpers and scripted message boxes.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/Messages.h"

namespace testing_support {

// A fresh directory, removed with everything in it when the object goes.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return Dir; }
  std::string operator/(const std::string& name) const { return Dir + "/" + name; }

 private:
  std::string Dir;
};

// XDG_DATA_HOME set to a fresh directory while the object lives (the download ledger goes
// there), then put back. Every test process starts with a data home of its own too: no test
// touches the user's ledger.
class TScopedDataHome {
 public:
  TScopedDataHome();
  explicit TScopedDataHome(const std::string& path);  // that path instead
  ~TScopedDataHome();
  TScopedDataHome(const TScopedDataHome&) = delete;
  TScopedDataHome& operator=(const TScopedDataHome&) = delete;
  const std::string& Path() const { return Home; }

 private:
  TTempDir Dir;
  std::string Home;
  std::string Previous;
  bool HadPrevious = false;
};

// The process locale set to fr_FR.UTF-8 (decimal comma) while the object lives, as a host
// program such as the desktop one may set it; the previous locale is put back after.
class TCommaDecimalLocale {
 public:
  TCommaDecimalLocale();
  ~TCommaDecimalLocale();
  TCommaDecimalLocale(const TCommaDecimalLocale&) = delete;
  TCommaDecimalLocale& operator=(const TCommaDecimalLocale&) = delete;
  // The locale is in force: the C library writes 94.4 as "94,4". When it is not, the
  // locale is missing on this machine (scripts/install-deps makes it).
  bool Active() const;

 private:
  std::string Previous;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
std::vector<std::string> FilesIn(const std::string& directory);  // sorted names

// Message boxes answered by script: every box is recorded; a confirmation takes the next
// scripted answer (false when none is left).
class TScriptedMessages : public TMessages {
 public:
  struct TBox {
    std::string Kind;  // "warning", "error", "confirm", "warning-confirm"
    std::string Text;
  };
  TScriptedMessages();   // installs itself
  ~TScriptedMessages();  // restores the default
  void Answer(bool yes) { Answers.push_back(yes); }

  void Warning(const std::string& text) override;
  void Error(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool WarningConfirm(const std::string& text) override;

  std::vector<TBox> Boxes;

 private:
  std::deque<bool> Answers;
};

}  // namespace testing_support
