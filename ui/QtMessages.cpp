#include "ui/QtMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/WindowCalls.h"

QString ApplicationTitle() {
  return QStringLiteral("ReadTarq " READTARQ_VERSION_TEXT);
}

void GuiInvoke(const std::function<void()>& work) {
  WindowCalls::Invoke(work);
}

std::unique_ptr<QMessageBox> NewOkBox(QMessageBox::Icon icon, const QString& title,
                                      const std::string& text) {
  auto box = std::make_unique<QMessageBox>(icon, title, QString::fromStdString(text),
                                           QMessageBox::NoButton);
  // One OK button, which Enter and Escape both press.
  QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box->setDefaultButton(ok);
  box->setEscapeButton(ok);
  return box;
}

std::unique_ptr<QMessageBox> NewConfirmBox(const std::string& text) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Question, QStringLiteral("Confirmation"),
                                           QString::fromStdString(text), QMessageBox::NoButton);
  QPushButton* oui = box->addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
  QPushButton* annuler = box->addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
  box->setDefaultButton(oui);
  box->setEscapeButton(annuler);
  return box;
}

std::unique_ptr<QMessageBox> NewWarningConfirmBox(const std::string& text) {
  std::unique_ptr<QMessageBox> box = NewConfirmBox(text);
  box->setIcon(QMessageBox::Warning);
  box->setWindowTitle(QStringLiteral("Avertissement"));
  // Enter must not go ahead with what the warning is about.
  box->setDefaultButton(qobject_cast<QPushButton*>(box->escapeButton()));
  return box;
}

namespace {

void ShowOkBox(QMessageBox::Icon icon, const QString& title, const std::string& text) {
  GuiInvoke([&] { NewOkBox(icon, title, text)->exec(); });
}

}  // namespace

void TQtMessages::Warning(const std::string& text) {
  ShowOkBox(QMessageBox::Warning, QStringLiteral("Avertissement"), text);
}

void TQtMessages::Error(const std::string& text) {
  ShowOkBox(QMessageBox::Critical, QStringLiteral("Erreur"), text);
}

bool TQtMessages::WarningConfirm(const std::string& text) {
  bool yes = false;
  GuiInvoke([&] {
    std::unique_ptr<QMessageBox> box = NewWarningConfirmBox(text);
    box->exec();
    yes = box->clickedButton() && box->buttonRole(box->clickedButton()) == QMessageBox::YesRole;
  });
  return yes;
}

bool TQtMessages::Confirm(const std::string& text) {
  bool yes = false;
  GuiInvoke([&] {
    std::unique_ptr<QMessageBox> box = NewConfirmBox(text);
    box->exec();
    yes = box->clickedButton() == box->defaultButton();
  });
  return yes;
}

void TQtMessages::ApplicationError(const std::string& text) {
  ShowOkBox(QMessageBox::Critical, ApplicationTitle(), text);
}

void ShowApplicationError(const std::string& text) {
  if (auto* boxes = dynamic_cast<TQtMessages*>(&Messages())) {
    boxes->ApplicationError(text);
  } else {
    Messages().Error(text);
  }
}
