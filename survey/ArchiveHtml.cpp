#include <algorithm>

#include "quality/QualityReport.h"
#include "survey/ArchiveReport.h"
#include "survey/SurveyCharts.h"
#include "survey/SurveyTime.h"
#include "survey/SvgText.h"

namespace survey {

namespace {

// Rows of gaps and overlaps shown per channel; archive.json lists them all.
constexpr size_t ShownBreaks = 100;

constexpr const char* Style =
    "body{font-family:sans-serif;margin:24px;color:#222;max-width:1360px}"
    "h1{font-size:22px}h2{font-size:18px;margin-top:32px;border-bottom:1px solid #ccc}"
    "h3{font-size:15px}table{border-collapse:collapse;margin:8px 0}"
    "td,th{border:1px solid #ccc;padding:3px 8px;font-size:13px;text-align:right}"
    "th{background:#f2f2f2}td.id,th.id{text-align:left;font-family:monospace}"
    ".note{color:#555;font-size:13px}.problem{color:#9b1c1c}svg{display:block;margin:8px 0}"
    ".plots{display:flex;flex-wrap:wrap;gap:12px}";

std::string Seconds(int64_t microseconds) {
  return Fixed(static_cast<double>(microseconds) / 1e6, 3);
}

double MeanPercent(const TChannelAvailability& channel) {
  if (channel.Days.empty()) return 0;
  double sum = 0;
  for (const TDayCoverage& day : channel.Days) sum += day.Percent;
  return sum / static_cast<double>(channel.Days.size());
}

std::string Summary(const TArchiveSurvey& survey) {
  std::string html = "<p>" + HtmlEscape(survey.Root) + ": " + std::to_string(survey.FileCount) +
                     " day files, " + std::to_string(survey.RecordCount) + " records, " +
                     std::to_string(survey.Channels.size()) + " channels";
  if (survey.Days.Count() > 0) {
    html += ", " + DayText(survey.Days.First) + " to " + DayText(survey.Days.Last) + " (" +
            std::to_string(survey.Days.Count()) + " days, UTC)";
  }
  html += ".";
  if (!survey.Problems.empty()) {
    html += " <span class=\"problem\">" + std::to_string(survey.Problems.size()) +
            (survey.Problems.size() == 1 ? " problem" : " problems") +
            ": see the end of the page.</span>";
  }
  return html + "</p>";
}

std::string ChannelTable(const TArchiveSurvey& survey) {
  std::string html =
      "<table><tr><th class=\"id\">Channel</th><th>Rate (Hz)</th><th>Records</th>"
      "<th>Spans</th><th>Gaps</th><th>Missing (s)</th><th>Overlaps</th>"
      "<th>Overlapping (s)</th><th>Days covered (mean %)</th></tr>";
  for (const TChannelAvailability& channel : survey.Channels) {
    int64_t missing = 0, overlapping = 0;
    for (const TDataBreak& gap : channel.Gaps) missing += gap.Length;
    for (const TDataBreak& overlap : channel.Overlaps) overlapping += overlap.Length;
    html += "<tr><td class=\"id\">" + channel.Id + "</td><td>" + Shortest(channel.Rate) +
            "</td><td>" + std::to_string(channel.Records) + "</td><td>" +
            std::to_string(channel.Spans.size()) + "</td><td>" +
            std::to_string(channel.Gaps.size()) + "</td><td>" + Seconds(missing) + "</td><td>" +
            std::to_string(channel.Overlaps.size()) + "</td><td>" + Seconds(overlapping) +
            "</td><td>" + Fixed(MeanPercent(channel), 2) + "</td></tr>";
  }
  return html + "</table>";
}

std::string BreakTables(const TArchiveSurvey& survey) {
  std::string html;
  for (const TChannelAvailability& channel : survey.Channels) {
    if (channel.Gaps.empty() && channel.Overlaps.empty()) continue;
    html += "<h3>" + channel.Id + "</h3><table><tr><th class=\"id\">Kind</th>"
            "<th class=\"id\">Start (UTC)</th><th>Length (s)</th></tr>";
    size_t shown = 0;
    for (const auto& [kind, breaks] :
         {std::pair{"gap", &channel.Gaps}, std::pair{"overlap", &channel.Overlaps}}) {
      for (const TDataBreak& b : *breaks) {
        if (shown++ >= ShownBreaks) break;
        html += std::string("<tr><td class=\"id\">") + kind + "</td><td class=\"id\">" +
                IsoText(b.Start) + "</td><td>" + Seconds(b.Length) + "</td></tr>";
      }
    }
    html += "</table>";
    const size_t all = channel.Gaps.size() + channel.Overlaps.size();
    if (all > ShownBreaks) {
      html += "<p class=\"note\">" + std::to_string(all - ShownBreaks) +
              " more in archive.json.</p>";
    }
  }
  return html;
}

std::string DayPlots(const TArchiveSurvey& survey) {
  std::string html = "<h2>Day plots</h2>";
  if (survey.DayPlots.empty()) {
    return html + "<p class=\"note\">No day chosen (readtarq-cli archive ... --day "
                  "2026-06-14, wildcards allowed).</p>";
  }
  html += "<p class=\"note\">24 lines of one hour below 50 Hz, 96 lines of 15 minutes at 50 Hz "
          "and above; every line of a plot at the same scale, each about its own mean; missing "
          "data shaded red.</p>";
  for (const TDayPlot& plot : survey.DayPlots) html += plot.Svg;
  return html;
}

std::string NoiseSection(const TArchiveSurvey& survey) {
  std::string html = "<h2>Noise</h2>";
  if (survey.Noise.empty()) return html + "<p class=\"note\">No noise computed.</p>";
  html +=
      "<p class=\"note\">Probability density of the power spectral densities of one-hour "
      "windows (colour: share of windows, relative to the most common value at each period); "
      "black: median, white dashes: 10th and 90th percentiles, purple: mean; grey: the low "
      "and high noise models (Peterson 1993). Channels with a response in the inventory are "
      "in ground acceleration, dB relative to 1 (m/s²)²/Hz; the others in counts, dB relative "
      "to 1 count²/Hz, without noise models.</p><div class=\"plots\">";
  for (const TChannelNoise& noise : survey.Noise) html += noise.Svg;
  return html + "</div>";
}

std::string Problems(const TArchiveSurvey& survey) {
  if (survey.Problems.empty() && survey.InventoryProblems.empty()) return {};
  std::string html = "<h2>Problems</h2><ul>";
  for (const TArchiveProblem& problem : survey.Problems) {
    html += "<li class=\"problem\">" + HtmlEscape(problem.File) + ": " +
            HtmlEscape(problem.Text) + "</li>";
  }
  for (const std::string& problem : survey.InventoryProblems) {
    html += "<li class=\"problem\">inventory: " + HtmlEscape(problem) + "</li>";
  }
  return html + "</ul>";
}

constexpr const char* Method =
    "<h2>Method</h2><p class=\"note\">Availability comes from the records' headers alone: a "
    "record continues the data when it starts within tolerance of where the data before it "
    "end; it opens a gap when it starts more than 1.5 sample periods later (the gap starts at "
    "the end of the data before it), and overlaps when it starts more than half a sample "
    "period earlier (the overlap starts at the record's start). A day's percentage is the "
    "share of its 86 400 s covered.</p><p class=\"note\">Noise follows McNamara and Buland "
    "(2004): one-hour windows overlapping by half, within each UTC day (a run of data shorter "
    "than an hour but at least a minute long, such as a triggered event, is one window of its "
    "own length); each window cut into 13 segments of a quarter of its length, overlapping by "
    "75% and truncated to a power of two samples; each segment detrended, tapered with a "
    "cosine over 10% of its length at each end and transformed (FFT), its power corrected "
    "for the taper; the 13 averaged; the instrument response removed (sensitivity times the "
    "normalised shape of the analog poles and zeros) and the result turned into "
    "acceleration; then averaged over one octave every 1/8 octave.</p>";

}  // namespace

std::string ArchiveHtml(const TArchiveSurvey& survey) {
  std::string html = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>"
                     "Archive survey: " + HtmlEscape(survey.Root) + "</title><style>" + Style +
                     "</style></head><body><h1>Archive survey</h1>";
  html += Summary(survey);
  html += "<h2>Availability</h2>";
  html += AvailabilitySvg(survey.Channels, survey.Days);
  html += ChannelTable(survey);
  html += BreakTables(survey);
  html += DayPlots(survey);
  html += NoiseSection(survey);
  html += Problems(survey);
  html += Method;
  return html + "</body></html>\n";
}

}  // namespace survey
