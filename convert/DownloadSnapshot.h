#pragma once
// What a download run converts, fixed before its worker starts: the events, the comment of the
// text headers, the output kinds, the destination and whether names carry the serial number.

#include <string>
#include <vector>

#include "app/Settings.h"
#include "convert/OutputKinds.h"

struct TDownloadSnapshot {
  std::vector<int> Events;  // the card's events to convert, counted from 0, ascending
  std::vector<std::string> Comment;  // the "Comment:" block only when there is a line
  std::vector<const TOutputKind*> Kinds;
  std::string DataDir;  // without a trailing separator
  bool SerialNr = true;
};

// The output kinds, destination and serial flag of the settings, with the events and comment.
TDownloadSnapshot MakeDownloadSnapshot(const TSettings& settings, std::vector<int> events,
                                       std::vector<std::string> comment);
// The numbers of the lines flagged, ascending.
std::vector<int> FlaggedLines(const std::vector<bool>& flags);
