#pragma once
// The survey of an SDS archive: its availability, the day plots of the channel-days chosen
// and the noise of its channels, ready to be written as archive.json and archive.html.
//
// Noise and day plots work one channel-day at a time (the day's samples are decoded once for
// both); noise windows lie within a UTC day.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "survey/ArchiveIndex.h"
#include "survey/Availability.h"
#include "survey/Helicorder.h"
#include "survey/NoiseSummary.h"
#include "survey/StationResponse.h"

namespace survey {

struct TSurveyOptions {
  // Day plots are drawn for the days matching one of these patterns ("2026-06-14",
  // "2026-06-*", "2026.165"; * any text, ? one character); none when empty. The noise uses
  // the matching days, or all days when empty.
  std::vector<std::string> Days = {};
  // Channels ("NET.STA.LOC.CHA" patterns) for day plots and noise; all when empty.
  std::vector<std::string> Channels = {};
  std::string Inventory = {};  // a StationXML file; empty: none
  bool Noise = true;
};

struct TDayPlot {
  std::string Id;
  int64_t Day = 0;
  int Lines = 0;
  int LineMinutes = 0;
  std::string Svg;
};

struct TChannelNoise {
  std::string Id;
  TNoiseSummary Summary;
  std::string Svg;
};

struct TArchiveSurvey {
  std::string Root;
  int64_t FileCount = 0;
  int64_t RecordCount = 0;
  TCampaignDays Days;
  std::vector<TChannelAvailability> Channels;
  std::vector<TDayPlot> DayPlots;
  std::vector<TChannelNoise> Noise;
  std::vector<TArchiveProblem> Problems;
  std::vector<std::string> InventoryProblems;
};

// Throws EArchiveError when the root is no readable directory, std::runtime_error when the
// inventory cannot be read.
TArchiveSurvey SurveyArchive(const std::string& root, const TSurveyOptions& options,
                             TSurveyProgress* progress = nullptr);

// One channel-day of an indexed archive, as a window shows it: the day plot and the noise of
// that day's data (in ground acceleration when the inventory has the channel's response).
struct TChannelDayView {
  THelicorder Plot;
  TNoiseSummary Noise;
  std::vector<TArchiveProblem> Problems;  // records that could not be decoded, data left out
};

// `channel` indexes index.Channels. Throws ESurveyCancelled when `progress` says so.
TChannelDayView SurveyChannelDay(const TArchiveIndex& index, size_t channel, int64_t day,
                                 const TInventoryResponses& inventory,
                                 const TSurveyProgress* progress = nullptr);

// Whether `text` matches `pattern` (* any text, ? any one character).
bool MatchesPattern(std::string_view pattern, std::string_view text);

}  // namespace survey
