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
  const int intact = counts[static_cast<int>(TFileState::Intact)];
  const int changed = counts[static_cast<int>(TFileState::Changed)];
  const int missing = counts[static_cast<int>(TFileState::Missing)];
  if (line.Json) {
    out << JsonText(json{
               {"files", list}, {"intact", intact}, {"changed", changed}, {"missing", missing}})
        << "\n";
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
  std::string key;
  if (!line.Card.empty()) {
    TCliCard cli(line.Card, err);
    try {
      const TCardEvents events = ReadCardEvents(cli.Card);
      if (!events.Valid) {
        err << card_layout::NotValidCardText << "\n";
        return 1;
      }
      key = events.Card.Key;
    } catch (const platform::EInOutError& e) {
      err << e.what() << "\n";  // a close failure's text names the file
      return 1;
    }
  }
  TLedger ledger;
  if (!OpenLedger(ledger, "ledger", err, TLedger::TAccess::ReadOnly)) return 1;
  const std::vector<TSavedCopy> copies = ledger.List(key);
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
        << copy.Files.size() << (copy.Files.size() == 1 ? " file" : " files") << "\n";
  }
  return 0;
}

}  // namespace

TCliCommand VerifyCommand() {
  return MakeCommand<TVerifyLine>(
      {.Name = "verify",
       .Summary = "check the saved files against the download ledger",
       .Help = "Re-reads every file the download ledger says was written (under DIR, or all "
               "of them) and compares its size and SHA-256 with those recorded when it was "
               "written. Only regular files are read: anything else at a path (a FIFO, a "
               "device, a symbolic link) is missing, not a regular file.",
       .Notes = "Prints one line per file: intact, changed or missing, its path and why, then "
                "the counts.",
       .Success = "when no file is missing or changed"},
      [](TCommandOptions& options, TVerifyLine& line) {
        options.OptionalArgument("DIR", line.Directory);
        options.Flag("--json", line.Json, "print the result as JSON");
      },
      RunVerify);
}

TCliCommand LedgerCommand() {
  return MakeCommand<TLedgerLine>(
      {.Name = "ledger",
       .Summary = "list the saved events recorded in the download ledger",
       .Help = "Lists every saved event the download ledger holds, oldest first, or those of "
               "one card (recognised by its signature and size, wherever it is read).",
       .Notes = "Prints one line per saved event: the time (UTC), its name on the card, the "
                "card's label, the destination and the number of files.",
       .Success = "when the ledger could be read"},
      [](TCommandOptions& options, TLedgerLine& line) {
        options.Value("--card", "CARD", line.Card, "only the events of this card");
        options.Flag("--json", line.Json, "print the events and their files as JSON");
      },
      RunLedger);
}
