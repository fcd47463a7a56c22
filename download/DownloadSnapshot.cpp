#include "download/DownloadSnapshot.h"

#include "base/TextFields.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SeedCodes.h"
#include "seed/SeedError.h"
#include "seed/StationSheet.h"

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
  // SAC headers take the codes and positions too, when the run names its stations.
  const bool namedStations = !settings.Network.empty() || !settings.StationSheet.empty();
  if (ChoosesProducts(settings) ||
      (namedStations && IsChosen(settings, OutputKindNamed("sac"))))
    snapshot.Products = ReadProductOptions(settings);
  return snapshot;
}

TProductOptions ReadProductOptions(const TSettings& settings) {
  TProductOptions options;
  options.Network = settings.Network;
  options.RecordLength = settings.RecordLength;
  try {
    if (!options.Network.empty()) seed::CheckCode(seed::TCodeKind::Network, options.Network);
    if (!seed::IsOfferedRecordLength(options.RecordLength)) {
      throw seed::ESeedError("record length " + std::to_string(options.RecordLength) +
                             ": 512 or 4096 bytes");
    }
    if (!settings.StationSheet.empty()) {
      options.Sheet = std::make_shared<const seed::TStationSheet>(seed::TStationSheet::Load(
          settings.StationSheet,
          settings.StationSheetLatin1 ? seed::TSheetEncoding::Latin1 : seed::TSheetEncoding::Utf8));
    }
  } catch (const seed::ESeedError& error) {
    options.Problem = error.what();
  }
  return options;
}

std::vector<int> FlaggedLines(const std::vector<bool>& flags) {
  std::vector<int> lines;
  for (size_t i = 0; i < flags.size(); ++i) {
    if (flags[i]) lines.push_back(static_cast<int>(i));
  }
  return lines;
}
