// The download command of the command-line tool: converts events of a card into a directory.

#include <unistd.h>

#include <charconv>
#include <iostream>
#include <optional>

#include "app/Settings.h"
#include "app/WUtil.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "convert/DownloadHost.h"
#include "convert/TarqConvert.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"

namespace {

struct TDownloadLine {
  std::string Card;
  std::string To;
  bool Record = false, Sensor = false, Binary = false, Sac = false;
  bool NoSerial = false;
  bool Restore = false;
  std::optional<std::vector<std::pair<int, int>>> Events;
  std::vector<std::string> Comment;
  std::optional<TProbeDate> ProbeDate;
};

bool ParseNumber(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end && !text.empty();
}

// "1,3-5" into ranges of 1-based event numbers.
std::optional<std::vector<std::pair<int, int>>> ParseEventList(const std::string& list) {
  std::vector<std::pair<int, int>> ranges;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string item = list.substr(start, comma - start);
    const size_t dash = item.find('-');
    int first = 0;
    int last = 0;
    bool ok = dash == std::string::npos ? ParseNumber(item, first) && (last = first, true)
                                        : ParseNumber(item.substr(0, dash), first) &&
                                              ParseNumber(item.substr(dash + 1), last);
    if (!ok || first < 1 || last < first) return std::nullopt;
    ranges.push_back({first, last});
    start = comma + 1;
  }
  return ranges;
}

std::optional<TProbeDate> ParseProbeDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !ParseNumber(text.substr(0, 4), year) || !ParseNumber(text.substr(5, 2), month) ||
      !ParseNumber(text.substr(8, 2), day) || year < 1000 || month < 1 || month > 12 || day < 1) {
    return std::nullopt;
  }
  uint16_t d = 0, m = 0, y = 0;
  WUtil::DayNumberToDate(
      WUtil::DateToDayNumber(static_cast<uint16_t>(day), static_cast<uint16_t>(month),
                             static_cast<uint16_t>(year)),
      d, m, y);
  if (d != day || m != month || y != year) return std::nullopt;
  return TProbeDate{y, m, d};
}

class TCliHost : public TDownloadHost {
 public:
  TCliHost(TTarqConvert& convert, std::vector<bool> selected, std::ostream& out,
           std::ostream& err, bool progress)
      : Convert(convert),
        Selected(std::move(selected)),
        Out(out),
        Err(err),
        ShowsProgress(progress) {}

  void Deselect(int line) override {
    Selected[static_cast<size_t>(line)] = false;
    ClearProgress();
    Out << PrintableText(CurrentName);
    for (const std::string& name : Convert.OutputNames()) Out << "\t" << PrintableText(name);
    Out << "\n" << std::flush;
  }
  void ShowFileName(const std::string& name) override { CurrentName = name; }
  void SetProgress(int percent) override {
    if (!ShowsProgress) return;
    Err << "\r" << PrintableText(CurrentName) << " " << percent << "%" << std::flush;
    ProgressShown = true;
  }
  void RunFinished(bool succeeded, int) override {
    ClearProgress();
    Succeeded = succeeded;
  }
  void ShowError(const std::string& text) override {
    ClearProgress();
    Err << text << "\n";
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

  TTarqConvert& Convert;
  std::vector<bool> Selected;
  std::ostream& Out;
  std::ostream& Err;
  bool ShowsProgress;
  bool ProgressShown = false;
  std::string CurrentName;
};

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
  std::string error;
  const std::optional<TCardLocation> location =
      ResolveCardArgument(line.Card, error, platform::DriveTable());
  if (!location) throw TUsageError(error);
  TStreamMessages messages(err, false);
  // The run's error boxes and a failing close go to the message boxes in use.
  TMessagesScope messagesScope(messages);

  TSettings settings;
  settings.DataDir = line.To.size() > 1 ? WUtil::WithoutTrailingBackslash(line.To) : line.To;
  const bool anyKind = line.Record || line.Sensor || line.Binary || line.Sac;
  settings.RecordFile = line.Record || !anyKind;
  settings.SensorFiles = line.Sensor;
  settings.BinaryFile = line.Binary;
  settings.SacFiles = line.Sac;
  settings.SerialNr = !line.NoSerial;
  TTarqCard card(messages, platform::DriveTable());
  card.Root = location->Root;
  TTarqConvert convert(card, settings);

  try {
    card.ProbeCard();
    card.RestoreMode = line.Restore;
    if (card.CardValid && !card.NewCard) card.ScanEvents();
    const int lines = static_cast<int>(card.Entries.size());
    if (!card.CardValid) {
      err << card_layout::NotValidCardText << "\n";
      return 1;
    }
    if (line.ProbeDate) card.ProbeDate = *line.ProbeDate;

    std::vector<bool> selected(static_cast<size_t>(lines), !line.Events.has_value());
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
    if (!platform::ForceDirectories(settings.DataDir)) {
      err << "Cannot create directory " << settings.DataDir << "\n";
      return 1;
    }

    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO);
    TCliHost host(convert, selected, out, err, progress);
    convert.DownloadEvents(MakeDownloadSnapshot(settings, FlaggedLines(selected), comment), host);
    return host.Succeeded && !host.AnySelected() ? 0 : 1;
  } catch (const platform::EInOutError& e) {
    err << platform::IoErrorText(e.Code()) << "\n";
    return 1;
  }
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
                "on to _a, _b, ...",
       .Success = "when every chosen event was converted"},
      [](TCommandOptions& options, TDownloadLine& line) {
        options.Argument("CARD", line.Card);
        options.Value("--to", "DIR", line.To, "the directory to write into", true);
        options.Flag("--record", line.Record,
                     "one text file per event with all channels (alone when no kind is given)");
        options.Flag("--sensor", line.Sensor,
                     "one text file per three-channel sensor (Capt_ names)");
        options.Flag("--binary", line.Binary,
                     "a copy of the event as the recorder wrote it (Bin_ names)");
        options.Flag("--sac", line.Sac, "one SAC file per channel");
        options.Flag("--no-serial", line.NoSerial,
                     "leave the station serial number out of the names");
        options.Parsed<std::vector<std::pair<int, int>>>(
            "--events", "LIST", line.Events,
            "the events to convert, numbered from 1 as 'list' shows them: 1,3-5 (all events "
            "when absent)",
            "numbers from 1 and ranges such as 1,3-5", ParseEventList);
        options.Flag("--restore", line.Restore, "convert the erased events (restore mode)");
        options.Repeated("--comment", "TEXT", line.Comment,
                         "a comment line for the text headers (repeat for more lines)");
        options.Parsed<TProbeDate>("--probe-date", "YYYY-MM-DD", line.ProbeDate,
                                   "the date that gives the events their year (today when "
                                   "absent: a card recorded in an earlier year needs the date "
                                   "of its reading)",
                                   "a date YYYY-MM-DD", ParseProbeDate);
      },
      RunDownload);
}
