#include <cmath>

#include "survey/ArchiveReport.h"
#include "survey/SurveyTime.h"

namespace survey {

namespace {

using nlohmann::ordered_json;

// dB and percent values to a hundredth, NaN as null.
ordered_json Rounded(double value, double step = 0.01) {
  if (!std::isfinite(value)) return nullptr;
  return std::round(value / step) * step;
}

ordered_json Values(const std::vector<double>& values) {
  ordered_json array = ordered_json::array();
  for (double v : values) array.push_back(Rounded(v));
  return array;
}

ordered_json Breaks(const std::vector<TDataBreak>& breaks) {
  ordered_json array = ordered_json::array();
  for (const TDataBreak& b : breaks) {
    array.push_back({{"start", IsoText(b.Start)}, {"seconds", static_cast<double>(b.Length) / 1e6}});
  }
  return array;
}

ordered_json PsdJson(const TNoiseSummary& noise) {
  ordered_json frequencies = ordered_json::array();
  for (double f : noise.Frequencies) frequencies.push_back(f);
  return {{"unit", noise.UnitText()},
          {"windows", noise.WindowCount},
          {"frequencies", frequencies},
          {"mean_db", Values(noise.MeanDb)},
          {"percentiles_db",
           {{"10", Values(noise.P10Db)}, {"50", Values(noise.P50Db)}, {"90", Values(noise.P90Db)}}}};
}

ordered_json ChannelJson(const TChannelAvailability& channel, const TChannelNoise* noise) {
  ordered_json spans = ordered_json::array();
  for (const TTimeSpan& span : channel.Spans) {
    spans.push_back({{"start", IsoText(span.Start)}, {"end", IsoText(span.End)}});
  }
  ordered_json days = ordered_json::array();
  for (const TDayCoverage& day : channel.Days) {
    days.push_back({{"day", DayText(day.Day)}, {"percent", Rounded(day.Percent, 0.0001)}});
  }
  return {{"id", channel.Id},
          {"rate", channel.Rate},
          {"records", channel.Records},
          {"spans", spans},
          {"gaps", Breaks(channel.Gaps)},
          {"overlaps", Breaks(channel.Overlaps)},
          {"days", days},
          {"psd", noise ? PsdJson(noise->Summary) : ordered_json(nullptr)}};
}

}  // namespace

nlohmann::ordered_json ArchiveJson(const TArchiveSurvey& survey) {
  ordered_json channels = ordered_json::array();
  for (const TChannelAvailability& channel : survey.Channels) {
    const TChannelNoise* noise = nullptr;
    for (const TChannelNoise& n : survey.Noise) {
      if (n.Id == channel.Id) noise = &n;
    }
    channels.push_back(ChannelJson(channel, noise));
  }
  ordered_json plots = ordered_json::array();
  for (const TDayPlot& plot : survey.DayPlots) {
    plots.push_back({{"id", plot.Id},
                     {"day", DayText(plot.Day)},
                     {"lines", plot.Lines},
                     {"line_minutes", plot.LineMinutes}});
  }
  ordered_json problems = ordered_json::array();
  for (const TArchiveProblem& problem : survey.Problems) {
    problems.push_back({{"file", problem.File}, {"problem", problem.Text}});
  }
  const bool any = survey.Days.Count() > 0;
  return {{"archive", survey.Root},
          {"files", survey.FileCount},
          {"records", survey.RecordCount},
          {"first_day", any ? ordered_json(DayText(survey.Days.First)) : ordered_json(nullptr)},
          {"last_day", any ? ordered_json(DayText(survey.Days.Last)) : ordered_json(nullptr)},
          {"channels", channels},
          {"day_plots", plots},
          {"problems", problems},
          {"inventory_problems", survey.InventoryProblems},
          {"method",
           {{"gap", "a record starting more than 1.5 sample periods after the data before it"},
            {"overlap", "a record starting more than half a sample period before the end of "
                        "the data before it"},
            {"psd_window_seconds", 3600},
            {"psd_window_overlap", 0.5},
            {"psd_segments", 13},
            {"psd_segment_overlap", 0.75},
            {"psd_taper", "cosine, 10% at each end"},
            {"psd_smoothing", "full octave average every 1/8 octave"},
            {"reference", "McNamara and Buland (2004); noise models Peterson (1993)"}}}};
}

}  // namespace survey
