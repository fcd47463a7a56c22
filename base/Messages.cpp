#include "base/Messages.h"

#include <atomic>
#include <iostream>

namespace {
TStreamMessages DefaultMessages(std::cerr);
std::atomic<TMessages*> Installed{nullptr};
}  // namespace

void TStreamMessages::Warning(const std::string& text) {
  Stream << text << std::endl;
}

void TStreamMessages::Error(const std::string& text) {
  Stream << text << std::endl;
}

bool TStreamMessages::Confirm(const std::string& text) {
  Stream << text << ": " << (Answer ? "yes" : "no") << std::endl;
  return Answer;
}

TMessages& Messages() {
  TMessages* messages = Installed.load();
  return messages ? *messages : DefaultMessages;
}

void SetMessages(TMessages* messages) {
  Installed.store(messages);
}
