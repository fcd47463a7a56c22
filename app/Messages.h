#pragma once
// How the core reaches the user: modal message boxes of three kinds. The desktop program shows
// real boxes, the command-line tool prints, tests answer by script. Nothing in the core waits on
// a real dialog.

#include <string>

class TMessages {
 public:
  virtual ~TMessages() = default;
  virtual void Warning(const std::string& text) = 0;  // one OK button
  virtual void Error(const std::string& text) = 0;    // one OK button
  // "&Oui" / "Annuler": true only when the user answered "&Oui".
  virtual bool Confirm(const std::string& text) = 0;
};

// Prints warnings and errors to standard error and answers every confirmation with `answer`.
class TConsoleMessages : public TMessages {
 public:
  explicit TConsoleMessages(bool answer = false) : Answer(answer) {}
  void Warning(const std::string& text) override;
  void Error(const std::string& text) override;
  bool Confirm(const std::string& text) override;

 private:
  bool Answer;
};

// The message boxes in use; a TConsoleMessages that refuses every confirmation unless another
// was installed. The caller keeps the installed object alive.
TMessages& Messages();
void SetMessages(TMessages* messages);  // null restores the default
