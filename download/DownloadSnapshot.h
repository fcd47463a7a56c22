#pragma once
// What a download run converts, fixed before its worker starts: the events, the comment of the
// text headers, the output kinds, the destination and whether names carry the serial number.

#include <memory>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "ledger/Ledger.h"
#include "seed/ProductOptions.h"
#include "writers/OutputKinds.h"

struct TDownloadSnapshot {
  std::vector<int> Events;  // the card's events to convert, counted from 0, ascending
  std::vector<std::string> Comment;  // the "Comment:" block only when there is a line
  std::vector<const TOutputKind*> Kinds;
  std::string DataDir;  // without a trailing separator
  bool SerialNr = true;
  // Read only when a product kind is selected, or SAC files with a network code or sheet.
  TProductOptions Products;
  // Where each saved event is recorded once its files are on disk; none when null. The host
  // keeps it alive through the run.
  TSaveRecorder* Recorder = nullptr;
};

// The output kinds, destination and serial flag of the settings, with the events and comment;
// with a product kind, or SAC files and a network code or station sheet, the product options
// (the station sheet read from its file).
TDownloadSnapshot MakeDownloadSnapshot(const TSettings& settings, std::vector<int> events,
                                       std::vector<std::string> comment);
// The numbers of the lines flagged, ascending.
std::vector<int> FlaggedLines(const std::vector<bool>& flags);
// The product options of the settings: the sheet loaded, the codes checked (Problem set
// when they cannot be used).
TProductOptions ReadProductOptions(const TSettings& settings);
