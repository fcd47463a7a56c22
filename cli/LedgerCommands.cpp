// The download ledger in the command-line tool: the verify and ledger commands, the guard that
// keeps erase from losing unsaved events, and the saved count of status.

#include "cli/LedgerCommands.h"

#include <nlohmann/json.hpp>

#include "card/CardLayout.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "quality/JsonViews.h"
#include "ledger/SavedEvents.h"
#include "base/Utf8Text.h"
#include "platform/Drives.h"
#include "platform/IoError.h"

bool OpenLedger(TLedger& ledger, const std::string& command, std::ostream& err,
                TLedger::TAccess access) {
  if (std::optional<std::string> warning = ledger.Open(TLedger::DefaultPath(), access)) {
    err << "readtarq-cli " << command << ": warning: " << *warning << " " << LedgerOffText << "\n";
    return false;
  }
  return true;
}

bool EraseGuardRefuses(const TTarqCard& card, bool force, std::ostream& err) {
  TLedger ledger;
  const bool open = OpenLedger(ledger, "erase", err, TLedger::TAccess::ReadOnly);
  const std::vector<TCardEvent> unsaved =
      UnsavedEvents(ReadCardEvents(card), &ledger, TSavedCheck::Content);
  if (unsaved.empty()) return false;
  const size_t n = unsaved.size();
  err << "readtarq-cli erase: " << n << (n == 1 ? " event has" : " events have") << " no saved copy"
      << (open ? "" : " (the download ledger is off)") << ":\n";
  for (const TCardEvent& event : unsaved) {
    err << "  " << PrintableText(event.OriginalFileName);
    if (!event.Why.empty()) err << " (" << PrintableText(event.Why) << ")";
    err << "\n";
  }
  if (force) {
    err << "readtarq-cli erase: --force: erasing all the same\n";
    return false;
  }
  err << "readtarq-cli erase: download them first, or add --force to erase anyway\n";
  return true;
}

std::optional<std::string> SavedCountText(const TTarqCard& card, std::ostream& err) {
  TLedger ledger;
  if (!OpenLedger(ledger, "status", err, TLedger::TAccess::ReadOnly)) return std::nullopt;
  const TCardEvents events = ScannedCardEvents(card);
  const size_t all = events.Events.size();
  const size_t saved = all - UnsavedEvents(events, &ledger).size();
  return std::to_string(saved) + " of " + std::to_string(all) + " events";
}

namespace {

using nlohmann::json;

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    uint32_t low = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
      low = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      low = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      low = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    uint32_t value = lead & (0x7fu >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      value = value << 6 | (next & 0x3fu);
    }
    if (value < low || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return false;
    i += length;
  }
  return true;
}

// The bytes of a name that is not UTF-8, for a script to find the file: printable ASCII stays,
// every other byte and '%' becomes %XX (upper-case hexadecimal), as in a URI.
std::string EscapedBytes(const std::string& text) {
  return PercentEncoded(
      text, [](unsigned char byte) { return byte >= 0x20 && byte < 0x7f && byte != '%'; });
}

// A name into JSON: as text (bytes that are not UTF-8 shown as U+FFFD), and when it is not
// UTF-8 also as NAME_escaped, which gives its bytes back.
void PutName(json& object, const std::string& key, const std::string& name) {
  object[key] = name;
  if (!IsUtf8(name)) object[key + "_escaped"] = EscapedBytes(name);
}

json FileJson(const TSavedFile& file) {
  json object = {{"size", file.Size}, {"sha256", file.Sha256}, {"kind", file.Kind}};
  PutName(object, "path", file.Path);
  return object;
}

json ChannelJson(const TArchivedChannel& channel) {
  json object = {{"codes", channel.Codes},
                 {"record_count", channel.RecordStarts.size()},
                 {"record_starts", channel.RecordStarts},
                 {"sha256", channel.Sha256}};
  PutName(object, "root", channel.Root);
  PutName(object, "day_file", channel.DayFile);
  return object;
}

json CopyJson(const TSavedCopy& copy) {
  json files = json::array();
  for (const TSavedFile& file : copy.Files) files.push_back(FileJson(file));
  json object = {{"event", copy.EventIdentity},
                 {"card_sha256", copy.CardSha256},
                 {"card",
                  {{"key", copy.Card.Key},
                   {"signature", copy.Card.Signature},
                   {"label", copy.Card.Label},
                   {"data_file_size", copy.Card.DataFileSize},
                   {"used_size", copy.Card.UsedSize}}},
                 {"saved_at", copy.SavedAt},
                 {"program_version", copy.ProgramVersion},
                 {"files", files}};
  // Only saves filed into an archive have channels: other objects keep their shape.
  if (!copy.Channels.empty()) {
    json channels = json::array();
    for (const TArchivedChannel& channel : copy.Channels) channels.push_back(ChannelJson(channel));
    object["archived"] = channels;
  }
  PutName(object, "original_file_name", copy.OriginalFileName);
  PutName(object, "destination", copy.Destination);
  return object;
}

struct TVerifyLine {
  std::string Directory;
  bool Json = false;
};

int RunVerify(const TVerifyLine& line, std::ostream& out, std::ostream& err) {
  TLedger ledger;
  if (!OpenLedger(ledger, "verify", err, TLedger::TAccess::ReadOnly)) return 1;
  const std::vector<TVerifiedFile> files = ledger.Verify(line.Directory);
  const std::vector<TVerifiedChannel> channels = ledger.VerifyArchive(line.Directory);
  int counts[3] = {0, 0, 0};
  json list = json::array();
  for (const TVerifiedFile& file : files) {
    ++counts[static_cast<int>(file.State)];
    if (line.Json) {
      json entry = FileJson(file.File);
      entry["state"] = FileStateText(file.State);
      entry["actual_size"] = file.ActualSize;
      entry["detail"] = file.Detail;
      entry["event"] = file.EventIdentity;
      PutName(entry, "original_file_name", file.OriginalFileName);
      entry["saved_at"] = file.SavedAt;
      list.push_back(entry);
    } else {
      out << FileStateText(file.State) << "\t" << PrintableText(file.File.Path);
      if (!file.Detail.empty()) out << "\t" << file.Detail;
      out << "\n";
    }
  }
  // An event's records in a day file: the line names the event, since other events' records
  // share the file.
  json records = json::array();
  for (const TVerifiedChannel& channel : channels) {
    ++counts[static_cast<int>(channel.State)];
    const TArchivedChannel& recorded = channel.Channel;
    if (line.Json) {
      json entry = ChannelJson(recorded);
      PutName(entry, "path", recorded.Path());
      entry["state"] = FileStateText(channel.State);
      entry["records_found"] = channel.RecordsFound;
      entry["detail"] = channel.Detail;
      entry["event"] = channel.EventIdentity;
      PutName(entry, "original_file_name", channel.OriginalFileName);
      entry["saved_at"] = channel.SavedAt;
      records.push_back(entry);
    } else {
      const size_t n = recorded.RecordStarts.size();
      out << FileStateText(channel.State) << "\t" << PrintableText(recorded.Path()) << "\t"
          << PrintableText(recorded.Codes) << ", " << n << (n == 1 ? " record" : " records")
          << " of " << PrintableText(channel.OriginalFileName);
      if (!channel.Detail.empty()) out << ": " << channel.Detail;
      out << "\n";
    }
  }
  const int intact = counts[static_cast<int>(TFileState::Intact)];
  const int changed = counts[static_cast<int>(TFileState::Changed)];
  const int missing = counts[static_cast<int>(TFileState::Missing)];
  if (line.Json) {
    json result = {{"files", list}, {"intact", intact}, {"changed", changed}, {"missing", missing}};
    if (!records.empty()) result["archived"] = records;
    out << JsonText(result) << "\n";
  } else {
    out << intact << " intact, " << changed << " changed, " << missing << " missing\n";
  }
  return changed + missing > 0 ? 1 : 0;
}

struct TLedgerLine {
  std::string Card;
  bool Json = false;
};

int RunLedger(const TLedgerLine& line, std::ostream& out, std::ostream& err) {
  // A card is known by the events it holds, live or erased: two cards of one recorder share
  // their signature, size and label, never their events.
  std::vector<std::string> identities;
  if (!line.Card.empty()) {
    TCliCard cli(line.Card, err);
    try {
      for (const bool erased : {false, true}) {
        const TCardEvents events = ReadCardEvents(cli.Card, erased);
        if (!events.Valid) {
          err << card_layout::NotValidCardText << "\n";
          return 1;
        }
        for (const TCardEvent& event : events.Events) identities.push_back(event.Identity);
      }
    } catch (const platform::EInOutError& e) {
      err << e.what() << "\n";  // a close failure's text names the file
      return 1;
    }
  }
  TLedger ledger;
  if (!OpenLedger(ledger, "ledger", err, TLedger::TAccess::ReadOnly)) return 1;
  const std::vector<TSavedCopy> copies =
      line.Card.empty() ? ledger.List() : ledger.ListEvents(identities);
  if (line.Json) {
    json list = json::array();
    for (const TSavedCopy& copy : copies) list.push_back(CopyJson(copy));
    out << JsonText(list) << "\n";
    return 0;
  }
  for (const TSavedCopy& copy : copies) {
    const std::string card = copy.Card.Label.empty() ? copy.Card.Signature : copy.Card.Label;
    out << copy.SavedAt << "\t" << PrintableText(copy.OriginalFileName) << "\t"
        << PrintableText(card) << "\t" << PrintableText(copy.Destination) << "\t"
        << copy.Files.size() << (copy.Files.size() == 1 ? " file" : " files");
    if (const size_t n = copy.Channels.size(); n > 0) {
      out << ", " << n << (n == 1 ? " channel" : " channels") << " archived";
    }
    out << "\n";
  }
  return 0;
}

struct TRelocateLine {
  std::string From;
  std::string To;
};

int RunRelocate(const TRelocateLine& line, std::ostream& out, std::ostream& err) {
  TLedger ledger;
  if (!OpenLedger(ledger, "relocate", err, TLedger::TAccess::ReadWrite)) return 1;
  std::vector<TLedger::TRelocated> found;
  if (std::optional<std::string> warning = ledger.Relocate(line.From, line.To, found)) {
    err << "readtarq-cli relocate: " << *warning << "\n";
    return 1;
  }
  if (found.empty()) {
    err << "readtarq-cli relocate: nothing saved is recorded under " << PrintableText(line.From)
        << "\n";
    return 1;
  }
  int intact = 0;
  for (const TLedger::TRelocated& place : found) {
    intact += place.State == TFileState::Intact ? 1 : 0;
    out << FileStateText(place.State) << "\t" << PrintableText(place.NewPath);
    if (!place.Detail.empty()) out << "\t" << place.Detail;
    out << "\n";
  }
  const auto others = static_cast<int>(found.size()) - intact;
  out << intact << " found intact, " << others << " not\n";
  if (others > 0) {
    err << "readtarq-cli relocate: the saves of the files not found intact keep their old "
           "place\n";
  }
  return others > 0 ? 1 : 0;
}

}  // namespace

TCliCommand VerifyCommand() {
  return MakeCommand<TVerifyLine>(
      {.Name = "verify",
       .Summary = "check the saved files against the download ledger",
       .Help = "Re-reads every file the download ledger says was written (under DIR, or all "
               "of them) and compares its size and SHA-256 with those recorded when it was "
               "written; and every event's records in an SDS archive: found again in their day "
               "file by their codes and start times, their bytes must have the SHA-256 "
               "recorded. Only regular files are read: anything else at a path (a FIFO, a "
               "device, a symbolic link) is missing, not a regular file.",
       .Notes = "Prints one line per file: intact, changed or missing, its path and why; one per "
                "event's channel in a day file, with its codes, number of records and event; "
                "then the counts.",
       .Success = "when no file is missing or changed"},
      [](TCommandOptions& options, TVerifyLine& line) {
        options.OptionalArgument("DIR", line.Directory);
        options.Flag("--json", line.Json, "print the result as JSON");
      },
      RunVerify);
}

TCliCommand RelocateCommand() {
  return MakeCommand<TRelocateLine>(
      {.Name = "relocate",
       .Summary = "record that saved copies moved to another directory",
       .Help = "For saved copies moved or copied from OLD to NEW (a backup disk): every file "
               "the download ledger recorded under OLD, and every archived record whose "
               "archive lies under OLD, is read at the same place under NEW and compared with "
               "its recorded SHA-256. The saves whose files and records are all found intact "
               "there are recorded at their new place, so that verify and the erase guard count "
               "them again; nothing is recorded of a save with one changed or missing.",
       .Notes = "Prints one line per file or day file: intact, changed or missing, its new path "
                "and why, then the counts.",
       .Success = "when everything recorded under OLD was found intact under NEW"},
      [](TCommandOptions& options, TRelocateLine& line) {
        options.Argument("OLD", line.From);
        options.Argument("NEW", line.To);
      },
      RunRelocate);
}

TCliCommand LedgerCommand() {
  return MakeCommand<TLedgerLine>(
      {.Name = "ledger",
       .Summary = "list the saved events recorded in the download ledger",
       .Help = "Lists every saved event the download ledger holds, oldest first, or those of "
               "one card (the events it holds, live or erased, wherever it is read).",
       .Notes = "Prints one line per saved event: the time (UTC), its name on the card, the "
                "card's label, the destination and the number of files.",
       .Success = "when the ledger could be read"},
      [](TCommandOptions& options, TLedgerLine& line) {
        options.Value("--card", "CARD", line.Card, "only the events of this card");
        options.Flag("--json", line.Json, "print the events and their files as JSON");
      },
      RunLedger);
}
