#include "ui/LedgerGuard.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QListWidget>

#include "ledger/SavedEvents.h"
#include "platform/IoError.h"
#include "ui/FatalError.h"

TLedger* TLedgerGuard::Ledger() {
  if (!Opened) {
    Opened = true;
    if (std::optional<std::string> warning = Store.Open(LedgerPath)) {
      Boxes.Warning(*warning + "\n" + LedgerOffText);
    }
  }
  return Store.IsOpen() ? &Store : nullptr;
}

bool TLedgerGuard::MayErase(const TTarqCard& card) {
  TLedger* ledger = Ledger();
  std::vector<TCardEvent> unsaved;
  {
    // The card and the copies are read through: that takes the card reader's time.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore {
      ~TRestore() { QApplication::restoreOverrideCursor(); }
    } restore;
    unsaved = UnsavedEvents(ReadCardEvents(card), ledger, TSavedCheck::Content);
  }
  if (unsaved.empty()) return true;
  std::string text;
  if (!ledger) text = "The download ledger is off: no event is known to be saved.\n\n";
  text += std::to_string(unsaved.size()) +
          (unsaved.size() == 1 ? " event of the card has" : " events of the card have") +
          " no saved copy:\n\n" + EventNameList(unsaved) + "\nErase anyway?";
  return Boxes.WarningConfirm(text);
}

void TLedgerGuard::MarkSaved(QListWidget* list, const TTarqCard& card) {
  TLedger* ledger = Ledger();
  if (!ledger || list->count() == 0) return;
  TCardEvents events;
  try {
    events = ScannedCardEvents(card);
  } catch (const platform::ECloseError& error) {
    EndOnCloseError(error);
  } catch (const platform::EInOutError&) {
    return;  // the marks are a help; the listing reported the card's state already
  }
  if (static_cast<int>(events.Events.size()) != list->count()) return;
  for (int line = 0; line < list->count(); ++line) {
    const std::string& identity = events.Events[static_cast<size_t>(line)].Identity;
    QListWidgetItem* item = list->item(line);
    if (!ledger->IsSaved(identity)) {
      item->setData(Qt::ForegroundRole, QVariant());
      item->setToolTip(QString());
      continue;
    }
    std::string where;
    const std::vector<TSavedCopy> copies = ledger->SavedCopies(identity);
    for (auto copy = copies.rbegin(); copy != copies.rend(); ++copy) {
      where += "\n" + copy->Destination + " (" + copy->SavedAt + ")";
    }
    item->setForeground(QBrush(QColor(0, 110, 0)));
    item->setToolTip(QString::fromStdString("Saved in:" + where));
  }
}
