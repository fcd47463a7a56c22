// The commands of the command-line tool that read events of a card: download converts them
// into a directory, stationxml describes their recorders, report writes their quality report.

#include <unistd.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>

#include "base/PathNames.h"
#include "base/Settings.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "cli/LedgerCommands.h"
#include "download/DownloadHost.h"
#include "download/DownloadRun.h"
#include "download/LedgerSummaries.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"
#include "platform/WholeFile.h"
#include "quality/CardReport.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SeedCodes.h"
#include "seed/StationXmlExport.h"
#include "writers/OutputKinds.h"

namespace {

// What the commands that read events of a card share: the card, the events, the year.
struct TEventsLine {
  std::string Card;
  bool Restore = false;
  std::optional<std::vector<std::pair<int, int>>> Events;
  std::optional<TProbeDate> ProbeDate;
  // The codes of the standard data products.
  std::optional<std::string> Network;
  std::string Stations;
  bool SheetLatin1 = false;
};

struct TDownloadLine : TEventsLine {
  std::string To;
  // The output kinds named on the line, by row of the kind table.
  std::array<bool, TKindSet().size()> Kinds{};
  std::optional<int> RecordLength;
  bool NoSerial = false;
  std::vector<std::string> Comment;
};

struct TStationXmlLine : TEventsLine {
  std::vector<std::string> Cards;
  std::string Archive;  // instead of cards: the events the ledger recorded into this archive
  std::string Out;
};

struct TReportLine : TEventsLine {
  std::vector<std::string> Cards;
  std::string To;
};

class TCliHost : public TDownloadHost {
 public:
  TCliHost(std::vector<bool> selected, std::ostream& out, std::ostream& err, bool progress)
      : Selected(std::move(selected)), Out(out), Err(err), ShowsProgress(progress) {}

  void Deselect(const TConvertedEvent& event) override {
    std::lock_guard guard(ErrLock);
    Selected[static_cast<size_t>(event.Line)] = false;
    ClearProgress();
    Out << PrintableText(event.OriginalFileName);
    for (const std::string& name : event.OutputNames) Out << "\t" << PrintableText(name);
    Out << "\n" << std::flush;
  }
  void ShowFileName(const std::string& name) override { CurrentName = name; }
  void SetProgress(int percent) override {
    if (!ShowsProgress) return;
    std::lock_guard guard(ErrLock);
    Err << "\r" << PrintableText(CurrentName) << " " << percent << "%" << std::flush;
    ProgressShown = true;
  }
  void RunFinished(bool succeeded, int) override {
    std::lock_guard guard(ErrLock);
    ClearProgress();
    Succeeded = succeeded;
  }
  void ShowError(const std::string& text) override {
    std::lock_guard guard(ErrLock);
    ClearProgress();
    Err << text << "\n";
  }
  // A word from another thread (the ledger waiting for another program).
  void Notice(const std::string& text) {
    std::lock_guard guard(ErrLock);
    ClearProgress();
    Err << text << "\n" << std::flush;
  }
  // The error line alone names neither the file nor the event.
  void RunFailed(const TRunFailure& failure) override {
    std::lock_guard guard(ErrLock);
    if (!failure.OriginalFileName.empty()) {
      Err << "Event " << PrintableText(failure.OriginalFileName) << " not saved";
      if (!failure.File.empty()) Err << " (" << PrintableText(failure.File) << ")";
      Err << "\n";
    } else if (!failure.File.empty()) {
      Err << "Error on " << PrintableText(failure.File) << "\n";
    }
    if (failure.NotAttempted > 0) {
      Err << failure.NotAttempted << " selected event" << (failure.NotAttempted == 1 ? "" : "s")
          << " not attempted\n";
    }
  }

  bool AnySelected() const {
    for (bool selected : Selected) {
      if (selected) return true;
    }
    return false;
  }
  bool Succeeded = false;

 private:
  void ClearProgress() {
    if (!ProgressShown) return;
    Err << "\r" << std::string(CurrentName.size() + 6, ' ') << "\r" << std::flush;
    ProgressShown = false;
  }

  std::vector<bool> Selected;
  std::ostream& Out;
  std::ostream& Err;
  bool ShowsProgress;
  bool ProgressShown = false;
  std::string CurrentName;
  std::mutex ErrLock;  // the saver's thread may speak while the run's does
};

// The ledger as the download's recorder, keeping the names of the events it could not record.
class TCountedRecorder : public TSaveRecorder {
 public:
  explicit TCountedRecorder(TLedger& ledger) : Ledger(ledger) {}
  std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) override {
    std::optional<std::string> warning = Ledger.RecordSavedEvent(event);
    if (warning) {
      std::lock_guard guard(Lock);
      Unrecorded.push_back(event.OriginalFileName);
    }
    return warning;
  }
  std::vector<std::string> TakeUnrecorded() {
    std::lock_guard guard(Lock);
    return std::move(Unrecorded);
  }

 private:
  TLedger& Ledger;
  std::mutex Lock;
  std::vector<std::string> Unrecorded;
};

// The card of a command line (a bad CARD is a bad usage), with the conversion that reads its
// events and the settings that steer it; the run's error boxes and a failing close go to the
// error output.
struct TCardSession {
  TCardSession(const std::string& argument, std::ostream& err) : Cli(argument, err) {}
  TCliCard Cli;
  TTarqCard& Card = Cli.Card;
  TSettings Settings;
  TDownloadRun Convert{Card};
};

// The card of the line probed and its events listed in `selected`; the product settings of
// the line read into `products` and checked. Returns the exit code when the command cannot go
// on.
std::optional<int> ReadLineProducts(const TEventsLine& line, TSettings& settings,
                                    TProductOptions& products, std::ostream& err) {
  settings.Network = line.Network.value_or("");
  settings.StationSheet = line.Stations;
  settings.StationSheetLatin1 = line.SheetLatin1;
  // A bad sheet is reported before anything is written.
  products = ReadProductOptions(settings);
  if (!products.Problem.empty()) {
    err << products.Problem << "\n";
    return 1;
  }
  return std::nullopt;
}

std::optional<int> OpenCardEvents(const TEventsLine& line, TTarqCard& card, TSettings& settings,
                                  std::vector<bool>& selected, TProductOptions& products,
                                  std::ostream& err) {
  if (const std::optional<int> code = ReadLineProducts(line, settings, products, err)) {
    return code;
  }
  card.ProbeCard();
  card.RestoreMode = line.Restore;
  if (card.CardValid && !card.NewCard) card.ScanEvents();
  const int lines = static_cast<int>(card.Entries.size());
  if (!card.CardValid) {
    err << card_layout::NotValidCardText << "\n";
    return 1;
  }
  if (line.ProbeDate) card.ProbeDate = *line.ProbeDate;

  selected.assign(static_cast<size_t>(lines), !line.Events.has_value());
  for (auto [first, last] : line.Events.value_or(std::vector<std::pair<int, int>>{})) {
    if (last > lines) {
      throw TUsageError("event " + std::to_string(last) + " is not on the card, which holds " +
                        std::to_string(lines) + " event" + (lines == 1 ? "" : "s"));
    }
    for (int n = first; n <= last; ++n) selected[static_cast<size_t>(n - 1)] = true;
  }
  if (selected.empty()) {
    err << "No event selected\n";
    return 1;
  }
  return std::nullopt;
}

int RunDownload(const TDownloadLine& line, std::ostream& out, std::ostream& err) {
  if (line.To.empty()) throw TUsageError("--to DIR is missing");
  std::vector<std::string> comment;
  for (std::string text : line.Comment) {
    // One option, one line: a line break would split the header's line structure.
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
    }
    comment.push_back(text);
  }
  TCardSession session(line.Card, err);
  TSettings& settings = session.Settings;
  TTarqCard& card = session.Card;
  TDownloadRun& convert = session.Convert;
  settings.DataDir = line.To.size() > 1 ? WUtil::WithoutTrailingBackslash(line.To) : line.To;
  for (const TOutputKind& kind : OutputKinds()) Choose(settings, kind, line.Kinds[KindRow(kind)]);
  // No kind named: the first kind of the table alone.
  if (settings.Kinds.none()) Choose(settings, OutputKinds().front(), true);
  settings.RecordLength = line.RecordLength.value_or(settings.RecordLength);
  settings.SerialNr = !line.NoSerial;

  try {
    std::vector<bool> selected;
    TProductOptions products;
    if (const std::optional<int> code =
            OpenCardEvents(line, card, settings, selected, products, err)) {
      return *code;
    }
    if (!platform::ForceDirectories(settings.DataDir)) {
      err << "Cannot create directory " << settings.DataDir << "\n";
      return 1;
    }

    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO);
    TCliHost host(selected, out, err, progress);
    TDownloadSnapshot snapshot = MakeDownloadSnapshot(settings, FlaggedLines(selected), comment);
    // Each saved event is recorded; without a ledger the download goes on all the same, and
    // ends with the exit code that says its events are not recorded.
    TLedger ledger;
    ledger.OnBusy = [&host](const std::string& text) {
      host.Notice("readtarq-cli download: " + text);
    };
    const bool recording = OpenLedger(ledger, "download", err);
    TCountedRecorder recorder(ledger);
    if (recording) snapshot.Recorder = &recorder;
    convert.DownloadEvents(snapshot, host);
    if (!host.Succeeded || host.AnySelected()) return 1;
    const std::vector<std::string> unrecorded = recorder.TakeUnrecorded();
    if (!unrecorded.empty()) {
      const size_t n = unrecorded.size();
      err << "readtarq-cli download: " << n << (n == 1 ? " event was" : " events were")
          << " saved but not recorded in the download ledger; an erase counts "
          << (n == 1 ? "it" : "them") << " as not saved:\n";
      for (const std::string& name : unrecorded) err << "  " << PrintableText(name) << "\n";
    }
    return recording && unrecorded.empty() ? 0 : 3;
  } catch (const platform::EInOutError& e) {
    err << e.what() << "\n";  // a close failure's text names the file
    return 1;
  }
}

// The summaries of the events the ledger recorded into the line's archive; the events it
// cannot describe said in one warning. Returns the exit code when the command cannot go on.
std::optional<int> ArchiveEventSummaries(const TStationXmlLine& line,
                                         std::vector<seed::TEventSummary>& summaries,
                                         std::vector<std::string>& warnings, std::ostream& err) {
  TLedger ledger;
  if (!OpenLedger(ledger, "stationxml", err, TLedger::TAccess::ReadOnly)) return 1;
  TArchiveSummaries found = ArchiveSummaries(ledger, line.Archive);
  if (found.Events == 0) {
    err << "No event to describe: the download ledger records no event filed into "
        << PrintableText(line.Archive) << "\n";
    return 1;
  }
  if (const int n = found.WithoutValues; n > 0) {
    warnings.push_back(
        std::to_string(n) + (n == 1 ? " event" : " events") +
        " of the archive left out: the download ledger recorded " + (n == 1 ? "it" : "them") +
        " without the header values StationXML needs (saved by an older "
        "version); the stationxml of " +
        (n == 1 ? "its card" : "their cards") + " describes " + (n == 1 ? "it" : "them"));
  }
  summaries = std::move(found.Summaries);
  return std::nullopt;
}

int RunStationXml(const TStationXmlLine& line, std::ostream& out, std::ostream& err) {
  if (line.Out.empty()) throw TUsageError("--out FILE is missing");
  if (!line.Archive.empty()) {
    if (!line.Cards.empty()) throw TUsageError("give CARD... or --archive DIR, not both");
    if (line.Events || line.Restore || line.ProbeDate) {
      throw TUsageError("--events, --restore and --probe-date read a card: not with --archive");
    }
  } else if (line.Cards.empty()) {
    throw TUsageError("CARD... or --archive DIR is missing");
  }
  if (line.Cards.size() > 1 && line.Events) {
    throw TUsageError("--events selects the events of one card: give a single CARD");
  }
  try {
    // Every card is read before anything is written: one inventory describes them all.
    std::vector<seed::TEventSummary> summaries;
    std::vector<std::string> warnings;
    TProductOptions products;
    if (!line.Archive.empty()) {
      TSettings settings;
      if (const std::optional<int> code = ReadLineProducts(line, settings, products, err)) {
        return *code;
      }
      if (const std::optional<int> code = ArchiveEventSummaries(line, summaries, warnings, err)) {
        return *code;
      }
    }
    for (const std::string& cardPath : line.Cards) {
      TCardSession session(cardPath, err);
      std::vector<bool> selected;
      if (const std::optional<int> code =
              OpenCardEvents(line, session.Card, session.Settings, selected, products, err)) {
        if (line.Cards.size() > 1) err << cardPath << ": not described\n";
        return *code;
      }
      const std::vector<seed::TEventSummary> more =
          StationXmlSummaries(session.Card, FlaggedLines(selected), warnings);
      summaries.insert(summaries.end(), more.begin(), more.end());
    }
    // An inventory written earlier may have been edited by hand: it is never replaced.
    if (platform::PathExists(line.Out)) {
      err << line.Out << " exists: it is not replaced\n";
      return 1;
    }
    const TStationXmlExport xml = StationXmlOf(
        summaries, products, std::string("ReadTarq ") + READTARQ_VERSION_TEXT, SeedTimeNow());
    warnings.insert(warnings.end(), xml.Warnings.begin(), xml.Warnings.end());
    for (const std::string& warning : warnings) err << "Warning: " << warning << "\n";
    if (xml.Text.empty()) {
      err << "No event to describe\n";
      return 1;
    }
    // Created new: one that appeared meanwhile is not replaced either.
    int created = 0;
    try {
      created = platform::WriteNewFile(line.Out, xml.Text);
    } catch (const platform::EInOutError&) {
      err << "Cannot write " << line.Out << "\n";
      return 1;
    }
    if (created == platform::TRecordFile::NameTaken) {
      err << line.Out << " exists: it is not replaced\n";
      return 1;
    }
    if (created != 0) {
      err << "Cannot write " << line.Out << "\n";
      return 1;
    }
    out << line.Out << "\n";
    return 0;
  } catch (const platform::EInOutError& e) {
    err << e.what() << "\n";  // a close failure's text names the file
    return 1;
  } catch (const std::runtime_error& e) {  // codes the inventory cannot use
    err << e.what() << "\n";
    return 1;
  }
}

// The report of one card's chosen events; a code to exit with when the card cannot be read.
std::optional<int> ReportOfCard(const TReportLine& line, const std::string& cardPath,
                                TQualityReport& report, std::ostream& err) {
  TCardSession session(cardPath, err);
  TTarqCard& card = session.Card;
  std::vector<bool> selected;
  TProductOptions products;
  if (const std::optional<int> code =
          OpenCardEvents(line, card, session.Settings, selected, products, err)) {
    return code;
  }
  const seed::TCodeOptions codes{products.Network, products.Sheet.get()};
  // The card's fields as 'status' prints them, from the walk just made.
  const TProbeDate probeDate = card.ProbeDate;
  report.Card = CardFactsOf(card.Summary());
  report.Source = cardPath;
  const std::string dataFile = card.DataFilePath();
  for (const TEventEntry& entry : card.Entries) {
    const size_t index = static_cast<size_t>(entry.Line - 1);
    if (index >= selected.size() || !selected[index]) continue;
    TReportEvent reported;
    ReadReportEvent(entry, dataFile, probeDate, codes, reported);
    report.Events.push_back(std::move(reported));
  }
  return std::nullopt;
}

int RunReport(const TReportLine& line, std::ostream& out, std::ostream& err) {
  if (line.To.empty()) throw TUsageError("--to DIR is missing");
  if (line.Cards.size() > 1 && line.Events) {
    throw TUsageError("--events selects the events of one card: give a single CARD");
  }
  try {
    // Every card is read before anything is written: one report covers them all.
    std::vector<TQualityReport> reports(line.Cards.size());
    for (size_t k = 0; k < line.Cards.size(); ++k) {
      if (const std::optional<int> code = ReportOfCard(line, line.Cards[k], reports[k], err)) {
        if (line.Cards.size() > 1) err << line.Cards[k] << ": not reported\n";
        return *code;
      }
    }
    if (!platform::ForceDirectories(line.To)) {
      err << "Cannot create directory " << line.To << "\n";
      return 1;
    }
    const TReportFiles files = WriteQualityReport(line.To, reports);  // its errors name the file
    out << files.JsonPath << "\n" << files.HtmlPath << "\n";
    return 0;
  } catch (const platform::EInOutError& e) {
    err << e.what() << "\n";  // a close failure's text names the file
    return 1;
  }
}

// The options of the commands that read events of a card.
void DeclareEventSelection(TCommandOptions& options, TEventsLine& line, const std::string& verb) {
  options.Parsed<std::vector<std::pair<int, int>>>(
      "--events", "LIST", line.Events,
      "the events to " + verb +
          ", numbered from 1 as 'list' shows them: 1,3-5 (all events "
          "when absent)",
      "numbers from 1 and ranges such as 1,3-5", ParseEventList);
  options.Flag("--restore", line.Restore, verb + " the erased events (restore mode)");
}

void DeclareProbeDate(TCommandOptions& options, TEventsLine& line) {
  options.Parsed<TProbeDate>("--probe-date", "YYYY-MM-DD", line.ProbeDate,
                             "the date that gives the events their year (today when "
                             "absent: a card recorded in an earlier year needs the date "
                             "of its reading)",
                             "a date YYYY-MM-DD", ParseProbeDate);
}

void DeclareCodeOptions(TCommandOptions& options, TEventsLine& line) {
  options.Parsed<std::string>(
      "--network", "CODE", line.Network,
      "the network code of miniSEED, StationXML and SAC headers (XX when absent)",
      "1 or 2 letters A-Z or digits", ParseNetwork);
  options.Value("--stations", "FILE", line.Stations,
                "a station sheet (CSV, UTF-8): codes and positions by serial number");
  options.Flag("--sheet-latin1", line.SheetLatin1,
               "read the station sheet as ISO 8859-1 (Latin-1) rather than UTF-8");
}

}  // namespace

TCliCommand DownloadCommand() {
  return MakeCommand<TDownloadLine>(
      {.Name = "download",
       .Summary = "convert events of a card into a directory",
       .Help = "Converts events of the card into DIR (created when missing), with the chosen "
               "outputs:",
       .Notes = "Prints one line per event converted: its name on the card, then the names of "
                "its files, separated by tabs. Existing files are never replaced: names move "
                "on to _a, _b, ... Each event saved (its files flushed to the disk) is recorded "
                "in the download ledger ($XDG_DATA_HOME/readtarq/ledger.sqlite, else "
                "~/.local/share/readtarq/ledger.sqlite); a ledger that cannot be used gives a "
                "warning and the download goes on. A ledger another program keeps busy is "
                "waited for, up to 15 s an event, with a word after a second.",
       .Success = "when every chosen event was converted and recorded",
       .Exit3 = "when every chosen event was converted but not every one could be recorded in "
                "the download ledger (they are named)"},
      [](TCommandOptions& options, TDownloadLine& line) {
        options.Argument("CARD", line.Card);
        options.Value("--to", "DIR", line.To, "the directory to write into", true);
        for (const TOutputKind& kind : OutputKinds())
          options.Flag(kind.CliFlag, line.Kinds[KindRow(kind)], kind.CliHelp);
        options.Parsed<int>("--record-length", "BYTES", line.RecordLength,
                            "miniSEED record length, 512 or 4096 (4096 when absent)", "512 or 4096",
                            ParseRecordLength);
        DeclareCodeOptions(options, line);
        options.Flag("--no-serial", line.NoSerial,
                     "leave the station serial number out of the names");
        DeclareEventSelection(options, line, "convert");
        options.Repeated("--comment", "TEXT", line.Comment,
                         "a comment line for the text headers (repeat for more lines)");
        DeclareProbeDate(options, line);
      },
      RunDownload);
}

TCliCommand StationXmlCommand() {
  return MakeCommand<TStationXmlLine>(
      {.Name = "stationxml",
       .Summary = "write the StationXML of cards' events",
       .Help = "Writes FDSN StationXML 1.2 of the events of one or more cards, or of the events "
               "the download ledger recorded as filed into an SDS archive (--archive), into "
               "FILE: one station per recorder, one channel epoch per location, channel code "
               "and sample rate while gain and position stay the same, positions from the "
               "station sheet or else the events' GPS fixes; with sensors in the station sheet, "
               "each channel's full response.",
       .Notes = "Prints the file's name; warnings (an event left out, a station without a "
                "position) go to the error output. An existing FILE is never replaced. With "
                "--archive, an event saved several times counts once; events saved by a "
                "version that did not record their header values are left out with one "
                "warning (their cards' StationXML describes them).",
       .Success = "when the file was written"},
      [](TCommandOptions& options, TStationXmlLine& line) {
        options.Arguments("CARD", line.Cards, false);
        options.Value("--archive", "DIR", line.Archive,
                      "instead of cards: the events the download ledger recorded as filed into "
                      "this SDS archive");
        options.Value("--out", "FILE", line.Out, "the file to write", true);
        DeclareCodeOptions(options, line);
        DeclareEventSelection(options, line, "describe");
        DeclareProbeDate(options, line);
      },
      RunStationXml);
}

TCliCommand ReportCommand() {
  return MakeCommand<TReportLine>(
      {.Name = "report",
       .Summary = "write a quality report of cards' events",
       .Help = "Writes the quality report of the events of one or more cards into DIR (created "
               "when missing): report.json for scripts and report.html, one page with the card "
               "summary, a row per event and a plot of each event's channels, with peak, RMS, "
               "saturated and dead channels flagged; of several cards, one report with a part "
               "per card, in the order given. The cards are only read.",
       .Notes = "Prints the paths of the two files. An existing report is never replaced: the "
                "names move on to report_a, report_b, ...",
       .Success = "when the report was written"},
      [](TCommandOptions& options, TReportLine& line) {
        options.Arguments("CARD", line.Cards);
        options.Value("--to", "DIR", line.To, "the directory to write into", true);
        DeclareEventSelection(options, line, "report");
        DeclareProbeDate(options, line);
        DeclareCodeOptions(options, line);
      },
      RunReport);
}
