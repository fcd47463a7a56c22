#pragma once
// The message boxes of the desktop program, and the hop from the download worker to the window
// thread that every window access of the worker takes.

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "base/Messages.h"

// The application title "ReadTarq 3.3": the general error box carries it.
QString ApplicationTitle();

// Runs `work` on the window thread and returns when it is done. On the window thread itself it
// runs at once; from another thread the window thread carries it out from its event loop, or
// while it waits in WindowCalls::ServeUntil.
void GuiInvoke(const std::function<void()>& work);

// QMessageBox with the titles and buttons of the French-language window framework:
// "Avertissement", "Erreur", "Confirmation"; "OK", "&Oui", "Annuler". Callable from any thread.
class TQtMessages : public TMessages {
 public:
  void Warning(const std::string& text) override;
  void Error(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  // The warning icon and title, "Annuler" the default button.
  bool WarningConfirm(const std::string& text) override;

  // The application's general error box: titled with the application title, error icon, OK.
  void ApplicationError(const std::string& text);
};

// The boxes as TQtMessages shows them: one OK button, or "&Oui" and "Annuler".
std::unique_ptr<QMessageBox> NewOkBox(QMessageBox::Icon icon, const QString& title,
                                      const std::string& text);
std::unique_ptr<QMessageBox> NewConfirmBox(const std::string& text);
// The same with the warning icon and title, "Annuler" the default button.
std::unique_ptr<QMessageBox> NewWarningConfirmBox(const std::string& text);

// Shows an input/output error that ended a handler: the general error box when the real boxes
// are installed, otherwise an error through Messages() (tests record it there).
void ShowApplicationError(const std::string& text);
