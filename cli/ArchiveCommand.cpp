// The archive command of the command-line tool: the survey of an SDS archive (availability,
// day plots, noise) written as archive.json and archive.html.

#include <unistd.h>

#include <iostream>

#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "platform/IoError.h"
#include "quality/JsonViews.h"
#include "survey/ArchiveReport.h"
#include "survey/ArchiveSurvey.h"

namespace {

struct TArchiveLine {
  std::string Archive;
  std::string To;
  std::vector<std::string> Days;
  std::vector<std::string> Channels;
  std::string Inventory;
  bool NoNoise = false;
  bool Json = false;
};

// Progress on the error output: one line rewritten in place on a terminal, otherwise a plain
// line per phase and every tenth of it.
class TCliProgress : public survey::TSurveyProgress {
 public:
  TCliProgress(std::ostream& err, bool terminal) : Err(err), Terminal(terminal) {}
  ~TCliProgress() override { Clear(); }
  TCliProgress(const TCliProgress&) = delete;
  TCliProgress& operator=(const TCliProgress&) = delete;

  void Step(std::string_view phase, int64_t done, int64_t total, std::string_view item) override {
    const int64_t tenth = total > 0 ? done * 10 / total : 10;
    if (Terminal) {
      std::string line = "Reading " + std::string(phase) + ": " + std::to_string(done) + "/" +
                         std::to_string(total) + " " + PrintableText(std::string(item));
      if (line.size() > 100) line = line.substr(0, 97) + "...";
      Err << "\r" << line << std::string(Shown > line.size() ? Shown - line.size() : 0, ' ')
          << std::flush;
      Shown = line.size();
    } else if (phase != Phase || tenth != Tenth) {
      Err << "Reading " << phase << ": " << done << "/" << total << "\n";
    }
    Phase = std::string(phase);
    Tenth = tenth;
  }

  void Clear() {
    if (Terminal && Shown > 0) Err << "\r" << std::string(Shown, ' ') << "\r" << std::flush;
    Shown = 0;
  }

 private:
  std::ostream& Err;
  bool Terminal;
  std::string Phase;
  int64_t Tenth = -1;
  size_t Shown = 0;
};

nlohmann::ordered_json SummaryJson(const survey::TArchiveSurvey& result,
                                   const survey::TArchiveFiles& files) {
  size_t gaps = 0, overlaps = 0;
  for (const survey::TChannelAvailability& channel : result.Channels) {
    gaps += channel.Gaps.size();
    overlaps += channel.Overlaps.size();
  }
  nlohmann::ordered_json problems = nlohmann::ordered_json::array();
  for (const survey::TArchiveProblem& problem : result.Problems) {
    problems.push_back({{"file", problem.File}, {"problem", problem.Text}});
  }
  return {{"json", files.JsonPath},       {"html", files.HtmlPath},
          {"files", result.FileCount},    {"records", result.RecordCount},
          {"channels", result.Channels.size()}, {"gaps", gaps},
          {"overlaps", overlaps},         {"day_plots", result.DayPlots.size()},
          {"noise_channels", result.Noise.size()}, {"problems", problems}};
}

int RunArchive(const TArchiveLine& line, std::ostream& out, std::ostream& err) {
  survey::TSurveyOptions options;
  options.Days = line.Days;
  options.Channels = line.Channels;
  options.Inventory = line.Inventory;
  options.Noise = !line.NoNoise;
  survey::TArchiveSurvey result;
  survey::TArchiveFiles files;
  try {
    TCliProgress progress(err, &err == &std::cerr && ::isatty(STDERR_FILENO));
    result = survey::SurveyArchive(line.Archive, options, &progress);
    progress.Clear();
  } catch (const std::exception& e) {
    err << PrintableText(e.what()) << "\n";
    return 1;
  }
  try {
    files = survey::WriteArchiveReport(line.To, result);
  } catch (const platform::EInOutError& e) {  // a failing close included
    err << "Cannot write " << PrintableText(e.FileName()) << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    err << PrintableText(e.what()) << "\n";
    return 1;
  }
  for (const survey::TArchiveProblem& problem : result.Problems) {
    err << PrintableText(problem.File) << ": " << PrintableText(problem.Text) << "\n";
  }
  for (const std::string& problem : result.InventoryProblems) {
    err << PrintableText(line.Inventory) << ": " << PrintableText(problem) << "\n";
  }
  if (line.Json) {
    out << JsonText(SummaryJson(result, files)) << "\n";
  } else {
    out << PrintableText(files.JsonPath) << "\n" << PrintableText(files.HtmlPath) << "\n";
  }
  return 0;
}

}  // namespace

TCliCommand ArchiveCommand() {
  return MakeCommand<TArchiveLine>(
      {.Name = "archive",
       .Summary = "survey an SDS archive: availability, day plots and noise",
       .Help = "Reads the miniSEED records (version 2 or 3) of the SDS archive ARCHIVE, whoever "
               "wrote it, and writes into DIR (created when missing) archive.json and "
               "archive.html: per channel the spans of data, the gaps and overlaps and the "
               "share of each day covered, with an availability chart; day plots of the "
               "channel-days chosen; and the noise of each channel (power spectral densities "
               "of one-hour windows and their probability density, in ground acceleration "
               "against the low and high noise models when the inventory gives the channel's "
               "response, in counts otherwise). Both files replace the ones before.",
       .Notes = "Prints the paths of the two files, or with --json a summary object (json, "
                "html, files, records, channels, gaps, overlaps, day_plots, noise_channels, "
                "problems). Files and records that cannot be read are named on the error "
                "output and skipped; the rest is surveyed. Progress goes to the error output.",
       .Success = "when archive.json and archive.html were written"},
      [](TCommandOptions& options, TArchiveLine& line) {
        options.Argument("ARCHIVE", line.Archive);
        options.Value("--to", "DIR", line.To, "the directory to write into", true);
        options.Repeated("--day", "DAY", line.Days,
                         "draw the day plots of this day: 2026-06-14 or 2026.165, * and ? as "
                         "wildcards; also limits the noise to the days given (repeat for more)");
        options.Repeated("--channel", "ID", line.Channels,
                         "limit day plots and noise to channels NET.STA.LOC.CHA, * and ? as "
                         "wildcards (repeat for more)");
        options.Value("--inventory", "FILE", line.Inventory,
                      "a StationXML file with the channels' responses");
        options.Flag("--no-noise", line.NoNoise, "leave the noise out (faster)");
        options.Flag("--json", line.Json, "print a JSON summary instead of the file paths");
      },
      RunArchive);
}
