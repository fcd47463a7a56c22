#include "survey/ArchiveSurvey.h"

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

#include "survey/Helicorder.h"
#include "survey/Psd.h"
#include "survey/RecordSamples.h"
#include "survey/StationResponse.h"
#include "survey/SurveyCharts.h"
#include "survey/SurveyTime.h"

namespace survey {

namespace {

bool MatchesAny(const std::vector<std::string>& patterns, std::string_view text) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [text](const std::string& p) { return MatchesPattern(p, text); });
}

// "2026.165", the day's other name.
std::string DayOfYearText(int64_t day) {
  const std::string date = DayText(day);
  const int64_t yearStart = *CivilTime(std::stoi(date.substr(0, 4)), 1, 0, 0, 0, 0);
  const int64_t number = day - DayOf(yearStart) + 1;
  std::string digits = std::to_string(number);
  return date.substr(0, 4) + "." + std::string(3 - digits.size(), '0') + digits;
}

bool DayChosen(const std::vector<std::string>& patterns, int64_t day) {
  return MatchesAny(patterns, DayText(day)) || MatchesAny(patterns, DayOfYearText(day));
}

// The noise of one channel, gathered day by day.
class TNoiseGatherer {
 public:
  TNoiseGatherer(const TInventoryResponses& inventory, const std::string& id, double rate,
                 int64_t firstTime)
      : Inventory(inventory), Id(id), Rate(rate), Grid(ChannelGrid(rate)) {
    const TChannelResponse* response = inventory.Find(id, firstTime);
    Acceleration = response != nullptr;
  }

  void AddDay(const std::vector<TSampleRun>& runs, std::vector<TArchiveProblem>& problems,
              const TSurveyProgress* progress) {
    for (const TSampleRun& run : runs) {
      ThrowIfCancelled(progress);
      if (run.Rate != Rate) continue;
      const TChannelResponse* response = Inventory.Find(Id, run.Start);
      if (Acceleration && !response) {
        problems.push_back({Id, "no response at " + IsoText(run.Start) +
                                    ": that data left out of its noise"});
        continue;
      }
      Calculator(Acceleration ? response : nullptr).AddRun(run, Windows);
    }
  }

  TNoiseSummary Summary() const { return SummarizeNoise(Grid, Windows, Acceleration); }

  TChannelNoise Finish() const {
    TChannelNoise noise;
    noise.Id = Id;
    noise.Summary = Summary();
    noise.Svg = NoiseSvg(Id, noise.Summary);
    return noise;
  }

 private:
  TPsdCalculator& Calculator(const TChannelResponse* response) {
    std::unique_ptr<TPsdCalculator>& calculator = Calculators[response];
    if (!calculator) calculator = std::make_unique<TPsdCalculator>(Rate, response, Grid);
    return *calculator;
  }

  const TInventoryResponses& Inventory;
  std::string Id;
  double Rate;
  std::vector<double> Grid;
  bool Acceleration = false;
  std::map<const TChannelResponse*, std::unique_ptr<TPsdCalculator>> Calculators;
  std::vector<TWindowPsd> Windows;
};

// The days a channel has data, in order.
std::vector<int64_t> ChannelDays(const TChannelAvailability& channel) {
  std::vector<int64_t> days;
  for (const TDayCoverage& day : channel.Days) {
    if (day.Percent > 0) days.push_back(day.Day);
  }
  return days;
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

TArchiveSurvey SurveyArchive(const std::string& root, const TSurveyOptions& options,
                             TSurveyProgress* progress) {
  TInventoryResponses inventory;
  if (!options.Inventory.empty()) inventory = ReadInventoryResponses(options.Inventory);

  TArchiveIndex index = IndexArchive(root, progress);
  TArchiveSurvey survey;
  survey.Root = root;
  survey.FileCount = static_cast<int64_t>(index.Files.size());
  survey.RecordCount = index.RecordCount;
  survey.Days = CampaignDays(index);
  survey.Channels = ArchiveAvailability(index);
  survey.Problems = std::move(index.Problems);
  survey.InventoryProblems = inventory.Problems;

  // The channel-days to decode: those of a day plot, and those of the noise.
  struct TWork {
    size_t Channel;
    std::vector<int64_t> Days;
  };
  std::vector<TWork> work;
  int64_t total = 0;
  for (size_t c = 0; c < survey.Channels.size(); ++c) {
    const TChannelAvailability& channel = survey.Channels[c];
    if (!options.Channels.empty() && !MatchesAny(options.Channels, channel.Id)) continue;
    TWork item{c, {}};
    for (int64_t day : ChannelDays(channel)) {
      const bool chosen = !options.Days.empty() && DayChosen(options.Days, day);
      if (chosen || (options.Noise && options.Days.empty())) item.Days.push_back(day);
    }
    if (item.Days.empty()) continue;
    total += static_cast<int64_t>(item.Days.size());
    work.push_back(std::move(item));
  }

  int64_t done = 0;
  for (const TWork& item : work) {
    const TChannelAvailability& channel = survey.Channels[item.Channel];
    const TChannelRecords& records = index.Channels[item.Channel];
    TNoiseGatherer noise(inventory, channel.Id, channel.Rate, records.Records.front().Start);
    for (int64_t day : item.Days) {
      if (progress) progress->Step("channel-days", done, total, channel.Id + " " + DayText(day));
      ThrowIfCancelled(progress);
      TChannelSamples samples =
          ReadChannelSamples(index, records, DayStart(day), DayStart(day + 1));
      for (TArchiveProblem& problem : samples.Problems) survey.Problems.push_back(problem);
      if (!options.Days.empty() && DayChosen(options.Days, day)) {
        const THelicorder plot = BuildHelicorder(channel.Id, day, channel.Rate, samples.Runs);
        survey.DayPlots.push_back(
            {channel.Id, day, plot.Layout.Lines,
             static_cast<int>(plot.Layout.LineLength / (60 * Microseconds)), HelicorderSvg(plot)});
      }
      if (options.Noise) noise.AddDay(samples.Runs, survey.Problems, progress);
      ++done;
    }
    if (options.Noise) survey.Noise.push_back(noise.Finish());
  }
  if (progress) progress->Step("channel-days", total, total, "");
  return survey;
}

TChannelDayView SurveyChannelDay(const TArchiveIndex& index, size_t channel, int64_t day,
                                 const TInventoryResponses& inventory,
                                 const TSurveyProgress* progress) {
  ThrowIfCancelled(progress);
  const TChannelRecords& records = index.Channels.at(channel);
  if (records.Records.empty()) throw std::runtime_error(records.Id + ": no records");
  const double rate = records.Records.front().Rate;
  TChannelDayView view;
  TChannelSamples samples = ReadChannelSamples(index, records, DayStart(day), DayStart(day + 1));
  view.Problems = std::move(samples.Problems);
  ThrowIfCancelled(progress);
  view.Plot = BuildHelicorder(records.Id, day, rate, samples.Runs);
  TNoiseGatherer noise(inventory, records.Id, rate, records.Records.front().Start);
  noise.AddDay(samples.Runs, view.Problems, progress);
  view.Noise = noise.Summary();
  return view;
}

}  // namespace survey
