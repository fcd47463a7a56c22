#include "convert/DownloadSnapshot.h"

#include "app/WUtil.h"

TDownloadSnapshot MakeDownloadSnapshot(const TSettings& settings, std::vector<int> events,
                                       std::vector<std::string> comment) {
  TDownloadSnapshot snapshot;
  snapshot.Events = std::move(events);
  // The hosts hand UTF-8; the headers are ISO 8859-1 like every other text in them.
  snapshot.Comment = std::move(comment);
  for (std::string& line : snapshot.Comment) line = WUtil::Utf8ToLatin1(line);
  snapshot.Kinds = SelectedKinds(settings);
  snapshot.DataDir = settings.DataDir;
  snapshot.SerialNr = settings.SerialNr;
  return snapshot;
}

std::vector<int> FlaggedLines(const std::vector<bool>& flags) {
  std::vector<int> lines;
  for (size_t i = 0; i < flags.size(); ++i) {
    if (flags[i]) lines.push_back(static_cast<int>(i));
  }
  return lines;
}
