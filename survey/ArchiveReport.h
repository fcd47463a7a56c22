#pragma once
// The survey's report: archive.json for scripts and archive.html, one self-contained page
// (inline style and SVG, no script, nothing fetched).
//
// archive.json: {archive, files, records, first_day, last_day,
//   channels[{id, rate, records, spans[{start, end}], gaps[{start, seconds}],
//             overlaps[{start, seconds}], days[{day, percent}],
//             psd{unit, windows, frequencies[Hz], mean_db[], percentiles_db{10, 50, 90}} | null}],
//   day_plots[{id, day, lines, line_minutes}], problems[{file, problem}],
//   inventory_problems[], method{...}}
// Times are UTC ISO 8601 to the microsecond; a dB value no window reaches is null.

#include <string>

#include <nlohmann/json.hpp>

#include "survey/ArchiveSurvey.h"

namespace survey {

nlohmann::ordered_json ArchiveJson(const TArchiveSurvey& survey);
std::string ArchiveHtml(const TArchiveSurvey& survey);

struct TArchiveFiles {
  std::string JsonPath;
  std::string HtmlPath;
};

// Writes archive.json and archive.html into `directory` (created when missing), each replacing
// the one before only once both are complete (platform::ReplaceFiles). Throws
// platform::EInOutError naming the directory or the file that failed; no temporary file stays
// behind.
TArchiveFiles WriteArchiveReport(const std::string& directory, const TArchiveSurvey& survey);

}  // namespace survey
