// The card commands of the command-line tool: status, list, erase and initialize.

#include <functional>

#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "cli/LedgerCommands.h"
#include "quality/CardReport.h"
#include "platform/Drives.h"
#include "platform/IoError.h"

namespace {

// The command line of a card command: CARD and the options of every card command.
struct TCommandLine {
  std::string Card;
  bool Restore = false;
  bool Yes = false;
  bool Saved = false;
  bool Force = false;
  std::optional<int64_t> Size;
  bool Json = false;
  std::optional<TProbeDate> ProbeDate;
};

std::string WithoutLeadingBlank(const std::string& text) {
  return !text.empty() && text[0] == ' ' ? text.substr(1) : text;
}

void PrintField(std::ostream& out, const char* label, const std::string& value) {
  out << label << (value.empty() ? "" : " ") << PrintableText(value) << "\n";
}

// The fields of the main window's card infos, as the window shows them after a refresh.
void PrintSummary(std::ostream& out, const TCardSummary& summary) {
  PrintField(out, "Status:", summary.Status.Text);
  if (summary.Scanned) {
    PrintField(out, "Number of files:", summary.CountText());
    PrintField(out, "Used size:",
               WithoutLeadingBlank(UsedSizeText(summary.UsedBytes, summary.TotalBytes)));
    PrintField(out, "Total size:", WithoutLeadingBlank(TotalSizeText(summary.TotalBytes)));
    PrintField(out, "Eprom version:", EpromVersionText(summary.EpromVersion));
  } else {
    for (const char* label : {"Number of files:", "Used size:", "Total size:", "Eprom version:"}) {
      PrintField(out, label, {});
    }
  }
}

// Runs a card command: resolves CARD (a directory given a size stands for a blank drive that
// large), reports input/output errors.
int RunCardCommand(
    const TCommandLine& line, std::ostream& err, std::optional<int64_t> directorySize,
    const std::function<int(const TCommandLine&, const TCardLocation&, TTarqCard&)>& body) {
  TCliCard cli(line.Card, err, line.Yes, directorySize);
  try {
    return body(line, cli.Location, cli.Card);
  } catch (const platform::EInOutError& e) {
    err << e.what() << "\n";  // a close failure's text names the file
    return 1;
  }
}

int RunStatus(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  return RunCardCommand(commandLine, err, std::nullopt,
                        [&](const TCommandLine& line, const TCardLocation&, TTarqCard& card) {
                          card.RestoreMode = line.Restore;
                          const TCardSummary summary = card.ReadSummary();
                          if (line.Json) {
                            out << JsonText(StatusJson(CardFactsOf(summary))) << "\n";
                            return summary.Valid ? 0 : 1;
                          }
                          PrintSummary(out, summary);
                          if (line.Saved && summary.Valid) {
                            const std::optional<std::string> saved = SavedCountText(card, err);
                            PrintField(out, "Saved:",
                                       saved ? *saved
                                             : "unknown, the download ledger cannot "
                                               "be read");
                            if (!saved) return 1;
                          } else if (line.Saved) {
                            PrintField(out, "Saved:", "");
                          }
                          return summary.Valid ? 0 : 1;
                        });
}

int RunList(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  return RunCardCommand(
      commandLine, err, std::nullopt,
      [&](const TCommandLine& line, const TCardLocation&, TTarqCard& card) {
        card.RestoreMode = line.Restore;
        card.ProbeCard();
        if (!card.CardValid) {
          err << card.CardStatus().Text << "\n";
          return 1;
        }
        if (line.Json) {
          if (!card.NewCard) card.ScanEvents();
          if (!card.CardValid) return 1;
          std::vector<TListEntry> entries;
          for (const TEventEntry& entry : card.Entries) {
            entries.push_back(ListEntryOf(entry, line.ProbeDate.value_or(card.ProbeDate)));
          }
          out << JsonText(ListJson(entries)) << "\n";
          return 0;
        }
        if (card.NewCard) return 0;
        card.ScanEvents(
            [&](const TEventEntry& entry) { out << PrintableText(EventLine(entry)) << "\n"; });
        return card.CardValid ? 0 : 1;
      });
}

void NeedsYes(const TCommandLine& line, const char* why) {
  if (!line.Yes) throw TUsageError(std::string(why) + "; add --yes to go ahead");
}

int RunErase(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  NeedsYes(commandLine, "erase marks every event of the card as erased");
  return RunCardCommand(commandLine, err, std::nullopt,
                        [&](const TCommandLine& line, const TCardLocation&, TTarqCard& card) {
                          card.ProbeCard();
                          if (!card.CardValid) {
                            card.Boxes.Error(card_layout::NotValidCardText);
                            return 1;
                          }
                          if (card.WriteProtected) {
                            card.Boxes.Error(WriteProtectedText);
                            return 1;
                          }
                          if (EraseGuardRefuses(card, line.Force, err)) return 1;
                          if (!card.Boxes.Confirm("Erase flash card")) return 1;
                          const bool erased = card.EraseCard();
                          PrintField(out, "Status:", card.ReadSummary().Status.Text);
                          return erased ? 0 : 1;
                        });
}

int RunInitialize(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  NeedsYes(commandLine, "initialize replaces the card files of the drive");
  if (commandLine.Size && IsDriveLetterArgument(commandLine.Card)) {
    throw TUsageError("--size applies to a directory only");
  }
  // A directory stands for a blank drive whose free space is --size, or that of its file
  // system.
  std::optional<int64_t> directorySize;
  if (!IsDriveLetterArgument(commandLine.Card)) {
    directorySize =
        commandLine.Size ? *commandLine.Size : platform::FileSystemFree(commandLine.Card);
  }
  return RunCardCommand(
      commandLine, err, directorySize,
      [&](const TCommandLine&, const TCardLocation& location, TTarqCard& card) {
        card.ProbeCard();
        if (card.WriteProtected) {
          err << "readtarq-cli initialize: " << WriteProtectedText << "\n";
          return 1;
        }
        if (location.IsDirectory() && HoldsCardFiles(location.Directory)) {
          err << "readtarq-cli initialize: " << location.Directory << " already holds card files\n";
          return 1;
        }
        if (!card.BlankDrive) {
          err << "readtarq-cli initialize: not a blank drive (" << card.CardStatus().Text
              << "): only a drive without card files and entirely free is initialized\n";
          return 1;
        }
        if (!card.Boxes.Confirm("Initialize flash card")) return 1;
        const bool initialized = card.InitializeCard();
        const TCardSummary summary = card.ReadSummary();
        PrintField(out, "Status:", summary.Status.Text);
        PrintField(out, "Total size:",
                   summary.Scanned ? WithoutLeadingBlank(TotalSizeText(summary.TotalBytes)) : "");
        return initialized && summary.Valid ? 0 : 1;
      });
}

std::optional<int64_t> ParseBytes(const std::string& text) {
  int64_t bytes = 0;
  if (!ParseNumber(text, bytes) || bytes <= 0) return std::nullopt;
  return bytes;
}

}  // namespace

TCliCommand StatusCommand() {
  return MakeCommand<TCommandLine>(
      {.Name = "status",
       .Summary = "show the status, size and version of a card",
       .Help = "Prints what the main window shows of the card: its status, the number of "
               "files, the used and total size and the Eprom version.",
       .Success = "for a valid card (with --saved, and a download ledger that can be read)"},
      [](TCommandOptions& options, TCommandLine& line) {
        options.Argument("CARD", line.Card);
        options.Flag("--restore", line.Restore, "read the erased events (restore mode)");
        options.Flag("--saved", line.Saved,
                     "add a line 'Saved: N of M events': the events with a saved copy whose "
                     "files still exist at their recorded size, from the download ledger (erase "
                     "checks more: the card's samples and the files' contents)");
        options.Flag("--json", line.Json,
                     "print one JSON object: status, events, used_bytes, total_bytes, "
                     "eprom_version (null where the card shows none)");
      },
      RunStatus);
}

TCliCommand ListCommand() {
  return MakeCommand<TCommandLine>(
      {.Name = "list",
       .Summary = "list the events of a card",
       .Help = "Prints one line per event, in card order: original file name, sample rate, "
               "duration, gain, station serial number and channel count.",
       .Success = "for a valid card"},
      [](TCommandOptions& options, TCommandLine& line) {
        options.Argument("CARD", line.Card);
        options.Flag("--restore", line.Restore, "list the erased events (restore mode)");
        options.Flag("--json", line.Json,
                     "print a JSON array, one object per event: index, file, sample_rate, "
                     "duration_minutes, gain, station, channels, start (UTC)");
        options.Parsed<TProbeDate>("--probe-date", "YYYY-MM-DD", line.ProbeDate,
                                   "with --json: the date that gives the start times their year "
                                   "(today when absent)",
                                   "a date YYYY-MM-DD", ParseProbeDate);
      },
      RunList);
}

TCliCommand EraseCommand() {
  return MakeCommand<TCommandLine>(
      {.Name = "erase",
       .Summary = "erase a card for new recordings (reversibly)",
       .Help = "Erases the card for new recordings: every event is marked as erased and the "
               "card is labelled as new. The samples stay; 'list --restore' shows the erased "
               "events again. The erase is refused while events of the card have no saved "
               "copy in the download ledger that holds what the card holds: the event's "
               "samples, read again from the card, are those recorded when it was saved, and "
               "the copy's files still hold their recorded size and SHA-256. Their names are "
               "printed, with why where a copy was recorded; --force erases all the same.",
       .Success = "when the card was erased"},
      [](TCommandOptions& options, TCommandLine& line) {
        options.Argument("CARD", line.Card);
        options.Confirmation("--yes", line.Yes, "confirm the erase (required)");
        options.Flag("--force", line.Force,
                     "erase even when events of the card have no saved copy in the download "
                     "ledger");
      },
      RunErase);
}

TCliCommand InitializeCommand() {
  return MakeCommand<TCommandLine>(
      {.Name = "initialize",
       .Summary = "create the card files on a blank drive",
       .Help = "Creates the card files on a blank drive: the data file fills the free space "
               "(at most 2147483646 bytes). On a directory, the directory must hold no card "
               "files.",
       .Success = "when the card was initialized"},
      [](TCommandOptions& options, TCommandLine& line) {
        options.Argument("CARD", line.Card);
        options.Confirmation("--yes", line.Yes, "confirm the initialization (required)");
        options.Parsed<int64_t>("--size", "BYTES", line.Size,
                                "for a directory: the free space to use (default: the free "
                                "space of its file system)",
                                "a positive whole number of bytes", ParseBytes);
      },
      RunInitialize);
}
