#pragma once
// How the core reaches the user: modal message boxes of three kinds. The desktop program shows
// real boxes, the command-line tool prints, tests answer by script. Nothing in the core waits on
// a real dialog.

#include <ostream>
#include <string>

class TMessages {
 public:
  virtual ~TMessages() = default;
  virtual void Warning(const std::string& text) = 0;  // one OK button
  virtual void Error(const std::string& text) = 0;    // one OK button
  // "&Oui" / "Annuler": true only when the user answered "&Oui".
  virtual bool Confirm(const std::string& text) = 0;
  // A warning that asks: "&Oui" / "Annuler" with "Annuler" the default (Enter refuses); true
  // only when the user answered "&Oui". Where no box can refuse by default, a confirmation.
  virtual bool WarningConfirm(const std::string& text) { return Confirm(text); }
};

// The message boxes printed to a stream (standard error for the tool): a confirmation is
// printed with the answer given beforehand (the tool's --yes).
class TStreamMessages : public TMessages {
 public:
  explicit TStreamMessages(std::ostream& stream, bool answer = false)
      : Stream(stream), Answer(answer) {}
  void Warning(const std::string& text) override;
  void Error(const std::string& text) override;
  bool Confirm(const std::string& text) override;

 private:
  std::ostream& Stream;
  bool Answer;
};

// The message boxes in use: standard error, refusing every confirmation, unless others were
// installed. The caller keeps the installed object alive.
TMessages& Messages();
void SetMessages(TMessages* messages);  // null restores the default

// Installs message boxes for the life of the scope, then restores the default.
class TMessagesScope {
 public:
  explicit TMessagesScope(TMessages& messages) { SetMessages(&messages); }
  ~TMessagesScope() { SetMessages(nullptr); }
  TMessagesScope(const TMessagesScope&) = delete;
  TMessagesScope& operator=(const TMessagesScope&) = delete;
};
