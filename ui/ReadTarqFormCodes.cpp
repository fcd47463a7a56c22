// The main window's station codes: the dialog kept in the settings, and the StationXML of the
// selected events (all when none is selected) written where the user chose.

#include <QListWidget>

#include "card/CardLayout.h"
#include "seed/StationXmlExport.h"
#include "platform/IoError.h"
#include "ui/ReadTarqForm.h"
#include "ui/StationCodesForm.h"
#include "platform/WholeFile.h"
#include "ui/FatalError.h"

namespace {

std::string ExportText(TTarqCard& card, const std::vector<int>& events,
                       const std::string& path, const TProductOptions& options) {
  try {
    const TStationXmlExport xml = ExportStationXml(
        card, events, options, std::string("ReadTarq ") + READTARQ_VERSION_TEXT, SeedTimeNow());
    if (xml.Text.empty()) return "No event to describe";
    try {
      platform::ReplaceFile(path, xml.Text);
    } catch (const platform::EInOutError&) {
      return "Cannot write " + path;
    }
    std::string message = "StationXML written to " + path;
    for (const std::string& warning : xml.Warnings) message += "\nWarning: " + warning;
    return message;
  } catch (const platform::ECloseError& error) {
    EndOnCloseError(error);
  } catch (const platform::EInOutError& error) {
    return platform::IoErrorText(error.Code());
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

}  // namespace

void TReadTarqForm::ButtonStationCodesClick() {
  if (!StationCodesForm) {
    StationCodesForm = new TStationCodesForm(this);
    StationCodesForm->Export = [this](const std::string& path, const TProductOptions& options) {
      if (!Card.CardValid) return std::string(card_layout::NotValidCardText);
      std::vector<int> events = SelectedLines();
      if (events.empty()) {
        for (int i = 0; i < EventList->count(); ++i) events.push_back(i);
      }
      return ExportText(Card, events, path, options);
    };
  }
  StationCodesForm->Load(Settings);
  if (StationCodesForm->exec() == QDialog::Accepted) StationCodesForm->Store(Settings);
}
