#include "support/TestSupport.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "readtarq-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  Dir = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::permissions(Dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(Dir, ignored);
}

TScopedDataHome::TScopedDataHome() : TScopedDataHome(std::string()) {}

TScopedDataHome::TScopedDataHome(const std::string& path) : Home(path.empty() ? Dir.Path() : path) {
  if (const char* previous = std::getenv("XDG_DATA_HOME")) {
    Previous = previous;
    HadPrevious = true;
  }
  ::setenv("XDG_DATA_HOME", Home.c_str(), 1);
}

TScopedDataHome::~TScopedDataHome() {
  if (HadPrevious) {
    ::setenv("XDG_DATA_HOME", Previous.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}

namespace {
// The data home of the whole test process.
const TScopedDataHome ProcessDataHome;
}  // namespace

TCommaDecimalLocale::TCommaDecimalLocale() {
  const char* current = std::setlocale(LC_ALL, nullptr);
  Previous = current ? current : "C";
  std::setlocale(LC_ALL, "fr_FR.UTF-8");
}

TCommaDecimalLocale::~TCommaDecimalLocale() {
  std::setlocale(LC_ALL, Previous.c_str());
}

bool TCommaDecimalLocale::Active() const {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 94.4);
  return std::string(text) == "94,4";
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TScriptedMessages::TScriptedMessages() {
  SetMessages(this);
}
TScriptedMessages::~TScriptedMessages() {
  SetMessages(nullptr);
}

void TScriptedMessages::Warning(const std::string& text) {
  Boxes.push_back({"warning", text});
}
void TScriptedMessages::Error(const std::string& text) {
  Boxes.push_back({"error", text});
}
bool TScriptedMessages::WarningConfirm(const std::string& text) {
  const bool answer = Confirm(text);
  Boxes.back().Kind = "warning-confirm";
  return answer;
}
bool TScriptedMessages::Confirm(const std::string& text) {
  Boxes.push_back({"confirm", text});
  if (Answers.empty()) return false;
  bool answer = Answers.front();
  Answers.pop_front();
  return answer;
}

}  // namespace testing_support
