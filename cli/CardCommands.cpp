// The card commands of the command-line tool: status, list, erase and initialize.

#include <charconv>
#include <functional>

#include "app/Settings.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "platform/Drives.h"
#include "platform/IoError.h"

namespace {

// The command line of a card command: CARD and the options of every card command.
struct TCommandLine {
  std::string Card;
  bool Restore = false;
  bool Yes = false;
  std::optional<int64_t> Size;
};

// What the main window shows of a card after a refresh.
struct TCardDisplay {
  bool Valid = false;
  std::string Status;
  std::string Files;
  std::string Used;
  std::string Total;
  std::string Eprom;
};

class TCountView : public TDirectoryView {
 public:
  explicit TCountView(std::function<void(const std::string&)> line = nullptr)
      : OnLine(std::move(line)) {}
  void SetCount(const std::string& text) override { Count = text; }
  void AddLine(const std::string& line) override {
    if (OnLine) OnLine(line);
  }
  std::string Count;

 private:
  std::function<void(const std::string&)> OnLine;
};

std::string WithoutLeadingBlank(const std::string& text) {
  return !text.empty() && text[0] == ' ' ? text.substr(1) : text;
}

// The refresh of the main window: probe, scan unless invalid or new, sizes, status.
TCardDisplay Refresh(TTarqCard& card, TCountView& view) {
  TCardDisplay display;
  card.ProbeCard();
  if (card.CardValid) {
    if (!card.NewCard) card.ScanDirectory(view);
    const auto [used, total] = card.CardSizes();
    display.Files = view.Count;
    display.Used = WithoutLeadingBlank(UsedSizeText(used, total));
    display.Total = WithoutLeadingBlank(TotalSizeText(total));
    display.Eprom = EpromVersionText(card.EpromVersion);
  }
  display.Valid = card.CardValid;
  display.Status = card.CardStatus().Text;
  return display;
}

void PrintField(std::ostream& out, const char* label, const std::string& value) {
  out << label << (value.empty() ? "" : " ") << PrintableText(value) << "\n";
}

// Runs a card command: resolves CARD, reports input/output errors.
int RunCardCommand(
    const TCommandLine& line, std::ostream& err,
    const std::function<TCardArgumentOptions(const TCommandLine&)>& options,
    const std::function<int(const TCommandLine&, const TCardLocation&, TTarqCard&)>& body) {
  std::string error;
  const TCardArgumentOptions cardOptions = options ? options(line) : TCardArgumentOptions{};
  const std::optional<TCardLocation> location = ResolveCardArgument(line.Card, error, cardOptions);
  if (!location) throw TUsageError(error);
  TCardLocationScope scope(*location);
  TStreamMessages messages(err, line.Yes);
  TMessagesScope messagesScope(messages);
  TSettings settings;
  settings.FlashUnit = location->Letter;
  TTarqCard card(settings);
  try {
    return body(line, *location, card);
  } catch (const platform::EInOutError& e) {
    err << platform::IoErrorText(e.Code()) << "\n";
    return 1;
  }
}

int RunStatus(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  return RunCardCommand(commandLine, err, nullptr,
                        [&](const TCommandLine& line, const TCardLocation&, TTarqCard& card) {
                          card.RestoreMode = line.Restore;
                          TCountView view;
                          const TCardDisplay display = Refresh(card, view);
                          PrintField(out, "Status:", display.Status);
                          PrintField(out, "Number of files:", display.Files);
                          PrintField(out, "Used size:", display.Used);
                          PrintField(out, "Total size:", display.Total);
                          PrintField(out, "Eprom version:", display.Eprom);
                          return display.Valid ? 0 : 1;
                        });
}

int RunList(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  return RunCardCommand(
      commandLine, err, nullptr,
      [&](const TCommandLine& line, const TCardLocation&, TTarqCard& card) {
        card.RestoreMode = line.Restore;
        card.ProbeCard();
        if (!card.CardValid) {
          err << card.CardStatus().Text << "\n";
          return 1;
        }
        if (card.NewCard) return 0;
        TCountView view([&](const std::string& text) { out << PrintableText(text) << "\n"; });
        card.ScanDirectory(view);
        return card.CardValid ? 0 : 1;
      });
}

void NeedsYes(const TCommandLine& line, const char* why) {
  if (!line.Yes) throw TUsageError(std::string(why) + "; add --yes to go ahead");
}

int RunErase(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  NeedsYes(commandLine, "erase marks every event of the card as erased");
  return RunCardCommand(
      commandLine, err, nullptr,
      [&](const TCommandLine&, const TCardLocation&, TTarqCard& card) {
        card.ProbeCard();
        if (!card.CardValid) {
          Messages().Error(card_layout::NotValidCardText);
          return 1;
        }
        if (card.WriteProtected) {
          Messages().Error(WriteProtectedText);
          return 1;
        }
        if (!Messages().Confirm("Erase flash card")) return 1;
        const bool erased = card.EraseCard();
        TCountView view;
        const TCardDisplay display = Refresh(card, view);
        PrintField(out, "Status:", display.Status);
        return erased ? 0 : 1;
      });
}

int RunInitialize(const TCommandLine& commandLine, std::ostream& out, std::ostream& err) {
  NeedsYes(commandLine, "initialize replaces the card files of the drive");
  if (commandLine.Size && IsDriveLetterArgument(commandLine.Card)) {
    throw TUsageError("--size applies to a directory only");
  }
  return RunCardCommand(
      commandLine, err,
      [](const TCommandLine& line) {
        TCardArgumentOptions options;
        // A directory stands for a blank drive whose free space is --size, or that of its
        // file system.
        if (!IsDriveLetterArgument(line.Card)) {
          options.DriveSize = line.Size ? *line.Size : platform::FileSystemFree(line.Card);
        }
        return options;
      },
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
        if (!Messages().Confirm("Initialize flash card")) return 1;
        const bool initialized = card.InitializeCard();
        TCountView view;
        const TCardDisplay display = Refresh(card, view);
        PrintField(out, "Status:", display.Status);
        PrintField(out, "Total size:", display.Total);
        return initialized && display.Valid ? 0 : 1;
      });
}

std::optional<int64_t> ParseBytes(const std::string& text) {
  int64_t bytes = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, bytes);
  if (error != std::errc() || stop != end || bytes <= 0) return std::nullopt;
  return bytes;
}

}  // namespace

TCliCommand StatusCommand() {
  return MakeCommand<TCommandLine>(
      {.Name = "status",
       .Summary = "show the status, size and version of a card",
       .Help = "Prints what the main window shows of the card: its status, the number of "
               "files, the used and total size and the Eprom version.",
       .Success = "for a valid card"},
      [](TCommandOptions& options, TCommandLine& line) {
        options.Argument("CARD", line.Card);
        options.Flag("--restore", line.Restore, "read the erased events (restore mode)");
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
      },
      RunList);
}

TCliCommand EraseCommand() {
  return MakeCommand<TCommandLine>(
      {.Name = "erase",
       .Summary = "erase a card for new recordings (reversibly)",
       .Help = "Erases the card for new recordings: every event is marked as erased and the "
               "card is labelled as new. The samples stay; 'list --restore' shows the erased "
               "events again.",
       .Success = "when the card was erased"},
      [](TCommandOptions& options, TCommandLine& line) {
        options.Argument("CARD", line.Card);
        options.Confirmation("--yes", line.Yes, "confirm the erase (required)");
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
