#include "app/Messages.h"

#include <atomic>
#include <cstdio>

namespace {
TConsoleMessages DefaultMessages;
std::atomic<TMessages*> Installed{nullptr};
}  // namespace

void TConsoleMessages::Warning(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

void TConsoleMessages::Error(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

bool TConsoleMessages::Confirm(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", text.c_str(), Answer ? "yes" : "no");
  return Answer;
}

TMessages& Messages() {
  TMessages* messages = Installed.load();
  return messages ? *messages : DefaultMessages;
}

void SetMessages(TMessages* messages) {
  Installed.store(messages);
}
