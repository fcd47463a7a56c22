// The drives command of the command-line tool: the drive table with the status of the card on
// each drive.

#include <algorithm>
#include <cctype>

#include "base/TextFields.h"
#include "card/TarqCard.h"
#include "cli/CardArgument.h"
#include "cli/Commands.h"
#include "quality/JsonViews.h"
#include "platform/Drives.h"
#include "platform/IoError.h"

namespace {

struct TDrivesLine {
  bool Json = false;
};

// The mount point of a drive: its root without the trailing separator ("/" stays).
std::string MountPoint(const std::string& root) {
  if (root.size() > 1 && root.back() == '/') return root.substr(0, root.size() - 1);
  return root;
}

std::vector<TDriveEntry> DriveEntries(std::ostream& err) {
  TStreamMessages messages(err, false);
  TMessagesScope messagesScope(messages);
  platform::TDriveTable& drives = platform::DriveTable();
  std::vector<TDriveEntry> entries;
  for (const platform::TDrive& drive : drives.Drives()) {
    TDriveEntry entry;
    entry.Letter = drive.Letter;
    entry.Path = MountPoint(drive.Root);
    const int64_t size = drives.TotalSize(platform::DriveNumber(drive.Letter));
    if (size >= 0) entry.Size = size;
    TTarqCard card(messages, drives);
    card.Root = drive.Root;
    try {
      entry.Status = card.ReadSummary().Status.Text;
    } catch (const platform::ECloseError&) {
      throw;  // the command fails
    } catch (const platform::EInOutError& e) {
      entry.Status = platform::IoErrorText(e.Code());
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

int RunDrives(const TDrivesLine& line, std::ostream& out, std::ostream& err) {
  const std::vector<TDriveEntry> entries = DriveEntries(err);
  if (line.Json) {
    out << JsonText(DrivesJson(entries)) << "\n";
    return 0;
  }
  // Columns: letter, mount point, size in bytes (right-aligned), status.
  std::vector<std::string> sizes;
  size_t pathWidth = 0;
  size_t sizeWidth = 0;
  for (const TDriveEntry& entry : entries) {
    sizes.push_back(entry.Size ? WUtil::GroupThousands(*entry.Size) : "?");
    pathWidth = std::max(pathWidth, PrintableText(entry.Path).size());
    sizeWidth = std::max(sizeWidth, sizes.back().size());
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string path = PrintableText(entries[i].Path);
    out << static_cast<char>(std::tolower(static_cast<unsigned char>(entries[i].Letter))) << ":  "
        << path << std::string(pathWidth - path.size(), ' ') << "  "
        << std::string(sizeWidth - sizes[i].size(), ' ') << sizes[i] << "  "
        << PrintableText(entries[i].Status) << "\n";
  }
  return 0;
}

}  // namespace

TCliCommand DrivesCommand() {
  return MakeCommand<TDrivesLine>(
      {.Name = "drives",
       .Summary = "list the drives and the card status of each",
       .Help = "Prints one line per drive of the drive table: its letter, its mount point, its "
               "size in bytes and the status of the card it holds, as 'status' prints it.",
       .Success = "when the drives were listed"},
      [](TCommandOptions& options, TDrivesLine& line) {
        options.Flag("--json", line.Json,
                     "print a JSON array, one object per drive: letter, path, size (bytes, "
                     "null when unknown), status");
      },
      RunDrives);
}
