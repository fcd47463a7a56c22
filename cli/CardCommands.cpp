// The card commands of the command-line tool: status, list, erase and initialize.

#include <charconv>
#include <functional>
#include <set>

#include "app/Settings.h"
#include "card/TarqCard.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "platform/Drives.h"
#include "platform/IoError.h"

namespace {

struct TCommandLine {
  std::string Card;
  bool Restore = false;
  bool Yes = false;
  bool Help = false;
  std::optional<int64_t> Size;
};

struct TCommandText {
  const char* Name;
  const char* Options;      // after CARD in the usage line
  const char* Description;  // the rest of the help
  std::set<std::string> Allowed;
};

// Reads CARD and the options; returns the reason of a bad command line.
std::optional<std::string> ParseCommandLine(const std::vector<std::string>& args,
                                            const TCommandText& text, TCommandLine& line) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.Help = true;
      return std::nullopt;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::string name = arg;
      std::optional<std::string> value;
      if (size_t equals = arg.find('='); equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
      }
      if (!text.Allowed.count(name)) return "unknown option '" + name + "'";
      if (name == "--size") {
        if (!value) {
          if (i + 1 == args.size()) return "--size needs a number of bytes";
          value = args[++i];
        }
        int64_t bytes = 0;
        const char* end = value->data() + value->size();
        auto [stop, error] = std::from_chars(value->data(), end, bytes);
        if (error != std::errc() || stop != end || bytes <= 0) {
          return "--size needs a positive whole number of bytes, not '" + *value + "'";
        }
        line.Size = bytes;
      } else if (value) {
        return "option " + name + " takes no value";
      } else if (name == "--restore") {
        line.Restore = true;
      } else if (name == "--yes") {
        line.Yes = true;
      }
      continue;
    }
    if (!line.Card.empty()) return "unexpected argument '" + arg + "'";
    line.Card = arg;
  }
  if (line.Card.empty()) return "CARD is missing";
  return std::nullopt;
}

std::string UsageLine(const TCommandText& text) {
  return std::string("Usage: readtarq-cli ") + text.Name + " CARD" + text.Options + "\n";
}

int BadUsage(const TCommandText& text, const std::string& reason, std::ostream& err) {
  err << "readtarq-cli " << text.Name << ": " << reason << "\n"
      << UsageLine(text) << "Run 'readtarq-cli " << text.Name << " --help' for more.\n";
  return 2;
}

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

// Runs a card command: parses its line, resolves CARD, reports input/output errors.
int RunCardCommand(
    const TCommandText& text, const std::vector<std::string>& args, std::ostream& out,
    std::ostream& err, const std::function<std::optional<int>(const TCommandLine&)>& check,
    const std::function<TCardArgumentOptions(const TCommandLine&)>& options,
    const std::function<int(const TCommandLine&, const TCardLocation&, TTarqCard&)>& body) {
  TCommandLine line;
  if (auto reason = ParseCommandLine(args, text, line)) return BadUsage(text, *reason, err);
  if (line.Help) {
    out << UsageLine(text) << "\n" << text.Description;
    out << "\nCARD is a drive letter with its colon (e:) or a directory that holds the card "
           "files.\n";
    return 0;
  }
  if (check) {
    if (auto code = check(line)) return *code;
  }
  std::string error;
  const TCardArgumentOptions cardOptions = options ? options(line) : TCardArgumentOptions{};
  const std::optional<TCardLocation> location = ResolveCardArgument(line.Card, error, cardOptions);
  if (!location) return BadUsage(text, error, err);
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

const TCommandText StatusText{
    "status",
    " [--restore]",
    "Prints what the main window shows of the card: its status, the number of files, the used\n"
    "and total size and the Eprom version.\n\n"
    "  --restore  read the erased events (restore mode)\n\n"
    "Exit code 0 for a valid card, 1 otherwise, 2 for bad usage.\n",
    {"--restore"}};

const TCommandText ListText{
    "list",
    " [--restore]",
    "Prints one line per event, in card order: original file name, sample rate, duration,\n"
    "gain, station serial number and channel count.\n\n"
    "  --restore  list the erased events (restore mode)\n\n"
    "Exit code 0 for a valid card, 1 otherwise, 2 for bad usage.\n",
    {"--restore"}};

const TCommandText EraseText{
    "erase",
    " --yes",
    "Erases the card for new recordings: every event is marked as erased and the card is\n"
    "labelled as new. The samples stay; 'list --restore' shows the erased events again.\n\n"
    "  --yes  confirm the erase (required)\n\n"
    "Exit code 0 when the card was erased, 1 otherwise, 2 for bad usage.\n",
    {"--yes"}};

const TCommandText InitializeText{
    "initialize",
    " --yes [--size BYTES]",
    "Creates the card files on a blank drive: the data file fills the free space (at most\n"
    "2147483646 bytes). On a directory, the directory must hold no card files.\n\n"
    "  --yes          confirm the initialization (required)\n"
    "  --size BYTES   for a directory: the free space to use (default: the free space of\n"
    "                 its file system)\n\n"
    "Exit code 0 when the card was initialized, 1 otherwise, 2 for bad usage.\n",
    {"--yes", "--size"}};

int RunStatus(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunCardCommand(StatusText, args, out, err, nullptr, nullptr,
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

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunCardCommand(
      ListText, args, out, err, nullptr, nullptr,
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

std::optional<int> NeedsYes(const TCommandLine& line, const TCommandText& text, const char* why,
                            std::ostream& err) {
  if (line.Yes) return std::nullopt;
  return BadUsage(text, std::string(why) + "; add --yes to go ahead", err);
}

int RunErase(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunCardCommand(
      EraseText, args, out, err,
      [&](const TCommandLine& line) {
        return NeedsYes(line, EraseText, "erase marks every event of the card as erased", err);
      },
      nullptr,
      [&](const TCommandLine&, const TCardLocation&, TTarqCard& card) {
        card.ProbeCard();
        if (!card.CardValid) {
          Messages().Error("Not a valid flash card");
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

int RunInitialize(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunCardCommand(
      InitializeText, args, out, err,
      [&](const TCommandLine& line) -> std::optional<int> {
        if (auto refused = NeedsYes(line, InitializeText,
                                    "initialize replaces the card files of the drive", err)) {
          return refused;
        }
        if (line.Size && IsDriveLetterArgument(line.Card)) {
          return BadUsage(InitializeText, "--size applies to a directory only", err);
        }
        return std::nullopt;
      },
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

}  // namespace

TCliCommand StatusCommand() {
  return {"status", "show the status, size and version of a card", RunStatus};
}

TCliCommand ListCommand() {
  return {"list", "list the events of a card", RunList};
}

TCliCommand EraseCommand() {
  return {"erase", "erase a card for new recordings (reversibly)", RunErase};
}

TCliCommand InitializeCommand() {
  return {"initialize", "create the card files on a blank drive", RunInitialize};
}
