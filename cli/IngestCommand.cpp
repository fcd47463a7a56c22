// The ingest command of the command-line tool: a campaign's cards into one SDS archive, read at
// the same time, with one summary of what went where.

#include <unistd.h>

#include <array>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "base/Settings.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "cli/LedgerCommands.h"
#include "download/DownloadSnapshot.h"
#include "download/Ingest.h"
#include "platform/FileSystem.h"
#include "quality/JsonViews.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SeedCodes.h"
#include "writers/OutputKinds.h"

namespace {

constexpr size_t MaxKinds = 16;

struct TIngestLine {
  std::vector<std::string> Cards;
  std::string Archive;
  std::string To;
  std::array<bool, MaxKinds> Kinds{};  // per-event kinds, by the row of the kind table
  std::optional<std::string> Network;
  std::string Stations;
  bool SheetLatin1 = false;
  std::optional<int> RecordLength;
  std::optional<int> Jobs;
  bool NoSerial = false;
  bool Json = false;
};

std::optional<int> ParseJobs(const std::string& text) {
  int jobs = 0;
  if (!ParseNumber(text, jobs) || jobs < 1 || jobs > 64) return std::nullopt;
  return jobs;
}

bool IsArchiveKind(const TOutputKind& kind) { return std::string_view(kind.Name) == "sds"; }

// Progress on the error output: on a terminal one line with every card's state, rewritten in
// place; otherwise a plain line as each card starts and ends.
class TCliIngestProgress : public TIngestProgress {
 public:
  TCliIngestProgress(std::ostream& err, bool terminal, const std::vector<std::string>& names)
      : Err(err), Terminal(terminal), Names(names), States(names.size(), "waiting") {}

  void CardStarted(size_t card, int events) override {
    States[card] = "0%";
    if (!Terminal) {
      Err << PrintableText(Names[card]) << ": " << events << " event" << (events == 1 ? "" : "s")
          << "\n";
    }
    Show();
  }
  void CardProgress(size_t card, const std::string& /*event*/, int percent) override {
    States[card] = std::to_string(percent) + "%";
    Show();
  }
  void CardFinished(size_t card, const TCardIngest& result) override {
    States[card] = result.Saved() ? "done" : "FAILED";
    if (!Terminal) {
      Err << PrintableText(Names[card]) << ": " << (result.Saved() ? "done" : "failed") << "\n";
    }
    Show();
  }
  void Clear() {
    if (Terminal && Shown > 0) Err << "\r" << std::string(Shown, ' ') << "\r" << std::flush;
    Shown = 0;
  }

 private:
  void Show() {
    if (!Terminal) return;
    std::string line;
    for (size_t i = 0; i < Names.size(); ++i) {
      if (i > 0) line += " | ";
      std::string name = Names[i];
      if (name.size() > 20) name = "..." + name.substr(name.size() - 17);
      line += PrintableText(name) + " " + States[i];
    }
    if (line.size() > 150) line = line.substr(0, 147) + "...";
    Err << "\r" << line << std::string(Shown > line.size() ? Shown - line.size() : 0, ' ')
        << std::flush;
    Shown = line.size();
  }

  std::ostream& Err;
  bool Terminal;
  const std::vector<std::string>& Names;
  std::vector<std::string> States;
  size_t Shown = 0;
};

nlohmann::ordered_json SummaryJson(const TIngestSummary& summary) {
  nlohmann::ordered_json cards = nlohmann::ordered_json::array();
  nlohmann::ordered_json overlaps = nlohmann::ordered_json::array();
  for (const TCardIngest& card : summary.Cards) {
    nlohmann::ordered_json cardOverlaps = nlohmann::ordered_json::array();
    for (const TIngestOverlap& overlap : card.Overlaps) {
      nlohmann::ordered_json item = {{"channel", overlap.Channel},
                                     {"start", IngestTimeText(overlap.Start)},
                                     {"seconds", overlap.Seconds},
                                     {"event", overlap.Event},
                                     {"card", overlap.Card}};
      cardOverlaps.push_back(item);
      overlaps.push_back(item);
    }
    cards.push_back({{"card", card.Card},
                     {"events", card.Events},
                     {"ingested", card.Ingested},
                     {"skipped", card.Skipped},
                     {"not_saved", card.NotSaved},
                     {"channels", card.Channels},
                     {"day_files", card.DayFiles},
                     {"bytes", card.Bytes},
                     {"overlaps", cardOverlaps},
                     {"seconds", card.Seconds},
                     {"error", card.Error},
                     {"messages", card.Messages},
                     {"saved", card.Saved()}});
  }
  nlohmann::ordered_json gaps = nlohmann::ordered_json::array();
  for (const TIngestGap& gap : summary.Gaps) {
    gaps.push_back(
        {{"station", gap.Station}, {"start", IngestTimeText(gap.Start)}, {"seconds", gap.Seconds}});
  }
  const TIngestTotals total = summary.Totals();
  return {{"cards", cards},
          {"total",
           {{"cards", summary.Cards.size()},
            {"ingested", total.Ingested},
            {"skipped", total.Skipped},
            {"not_saved", total.NotSaved},
            {"channels", total.Channels},
            {"day_files", total.DayFiles},
            {"bytes", total.Bytes},
            {"overlaps", total.Overlaps},
            {"gaps", summary.Gaps.size()},
            {"seconds", summary.Seconds},
            {"saved", summary.AllSaved()}}},
          {"overlaps", overlaps},
          {"gaps", gaps}};
}

int RunIngest(const TIngestLine& line, std::ostream& out, std::ostream& err) {
  if (line.Archive.empty()) throw TUsageError("--archive DIR is missing");
  TIngestOptions options;
  options.Archive = line.Archive.size() > 1 && line.Archive.back() == '/'
                        ? line.Archive.substr(0, line.Archive.size() - 1)
                        : line.Archive;
  const std::vector<TOutputKind>& kinds = OutputKinds();
  for (size_t k = 0; k < kinds.size() && k < MaxKinds; ++k) {
    if (line.Kinds[k] && !IsArchiveKind(kinds[k])) options.EventKinds.push_back(&kinds[k]);
  }
  if (!options.EventKinds.empty() && line.To.empty()) {
    throw TUsageError("the per-event kinds need --to DIR");
  }
  options.EventDir = line.To;
  options.SerialNr = !line.NoSerial;
  // The cards each sit in a reader of their own: read at once, up to the cores plus two.
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  options.Jobs = line.Jobs.value_or(
      std::min(static_cast<int>(line.Cards.size()), cores + 2));

  TSettings settings;
  settings.Network = line.Network.value_or("");
  settings.StationSheet = line.Stations;
  settings.StationSheetLatin1 = line.SheetLatin1;
  settings.RecordLength = line.RecordLength.value_or(settings.RecordLength);
  options.Products = ReadProductOptions(settings);
  if (!options.Products.Problem.empty()) {
    err << options.Products.Problem << "\n";
    return 1;
  }
  for (const std::string& dir : {options.Archive, options.EventDir}) {
    if (!dir.empty() && !platform::ForceDirectories(dir)) {
      err << "Cannot create directory " << dir << "\n";
      return 1;
    }
  }

  // Every card resolved before any is read: a bad CARD is a bad usage.
  std::vector<std::unique_ptr<TCliCard>> cards;
  std::vector<TTarqCard*> held;
  for (const std::string& name : line.Cards) {
    cards.push_back(std::make_unique<TCliCard>(name, err));
    held.push_back(&cards.back()->Card);
  }

  TLedger ledger;
  std::mutex noticeLock;
  ledger.OnBusy = [&](const std::string& text) {
    std::lock_guard guard(noticeLock);
    err << "readtarq-cli ingest: " << text << "\n" << std::flush;
  };
  const bool recording = OpenLedger(ledger, "ingest", err);
  if (recording) options.Recorder = &ledger;

  TCliIngestProgress progress(err, &err == &std::cerr && ::isatty(STDERR_FILENO), line.Cards);
  const TIngestSummary summary = IngestCards(held, line.Cards, options, progress);
  progress.Clear();
  for (const TCardIngest& card : summary.Cards) {
    for (const std::string& message : card.Messages) {
      err << PrintableText(card.Card) << ": " << PrintableText(message) << "\n";
    }
  }
  if (line.Json) {
    out << JsonText(SummaryJson(summary)) << "\n";
  } else {
    const std::string text = IngestText(summary);
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
      end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      out << PrintableText(text.substr(at, end - at)) << "\n";
    }
  }
  if (!summary.AllSaved()) return 1;
  return recording ? 0 : 3;
}

}  // namespace

TCliCommand IngestCommand() {
  return MakeCommand<TIngestLine>(
      {.Name = "ingest",
       .Summary = "file every event of one or more cards into an SDS archive",
       .Help = "Files every live event of each CARD (directories or drive letters) into the "
               "SDS archive DIR (created when missing), the cards read at the same time, one "
               "reader each; with per-event kinds and --to, their files too. Records already in "
               "the archive are not written again; records that overlap different data of the "
               "same channel are kept beside it and reported.",
       .Notes = "Prints a summary per card and in total (events ingested, events already in "
                "the archive, channels, day files, bytes, overlaps, time), the overlaps, and "
                "the gaps between consecutive events of each station; with --json the same as "
                "one object. Each saved event is recorded in the download ledger. Progress goes "
                "to the error output.",
       .Success = "when every event of every card was saved and recorded",
       .Exit3 = "when every event was saved but the ledger could not be used"},
      [](TCommandOptions& options, TIngestLine& line) {
        options.Arguments("CARD", line.Cards);
        options.Value("--archive", "DIR", line.Archive, "the SDS archive to file into", true);
        options.Value("--to", "DIR", line.To, "the directory of the per-event kinds");
        const std::vector<TOutputKind>& kinds = OutputKinds();
        for (size_t k = 0; k < kinds.size() && k < MaxKinds; ++k) {
          if (!IsArchiveKind(kinds[k])) options.Flag(kinds[k].CliFlag, line.Kinds[k], kinds[k].CliHelp);
        }
        options.Parsed<std::string>("--network", "CODE", line.Network,
                                    "the network code (XX when absent)",
                                    "1 or 2 letters A-Z or digits", ParseNetwork);
        options.Value("--stations", "FILE", line.Stations,
                      "a station sheet (CSV, UTF-8): codes and positions by serial number");
        options.Flag("--sheet-latin1", line.SheetLatin1,
                     "read the station sheet as ISO 8859-1 (Latin-1) rather than UTF-8");
        options.Parsed<int>("--record-length", "BYTES", line.RecordLength,
                            "miniSEED record length, 512 or 4096 (4096 when absent)", "512 or 4096",
                            ParseRecordLength);
        options.Parsed<int>("--jobs", "N", line.Jobs,
                            "cards read at once (the number of cards, at most the cores plus two, "
                            "when absent)",
                            "a number from 1 to 64", ParseJobs);
        options.Flag("--no-serial", line.NoSerial,
                     "leave the station serial number out of the per-event files' names");
        options.Flag("--json", line.Json, "print the summary as one JSON object");
      },
      RunIngest);
}
