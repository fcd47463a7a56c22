#include "seed/SdsArchive.h"

#include <fcntl.h>
#include <libmseed.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "seed/SdsLock.h"
#include "seed/SeedError.h"
#include "seed/SeedText.h"
#include "seed/SeedTime.h"
#include "platform/DurableFlush.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"

namespace seed {

namespace {

namespace fs = std::filesystem;

struct TRecordInfo {
  TChannelCodes Codes;
  int64_t Start = 0;  // microseconds since 1970
  int64_t SampleCount = 0;
  std::string_view Bytes;

  // What makes a record the same record as another.
  auto Key() const {
    return std::make_tuple(Start, SampleCount, Codes.Network, Codes.Station, Codes.Location,
                           Codes.Channel);
  }
};
using TRecordKey = decltype(std::declval<TRecordInfo>().Key());

std::string Trimmed(const char* code) {
  std::string text(code);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The records of a buffer, in their order. `source` names the buffer in errors.
std::vector<TRecordInfo> ParseRecords(std::string_view bytes, const std::string& source) {
  std::vector<TRecordInfo> records;
  MSRecord* msr = nullptr;
  size_t at = 0;
  // libmseed reads but does not change the record; its interface takes a char*.
  std::vector<char> copy;
  while (at < bytes.size()) {
    const int available = static_cast<int>(std::min<size_t>(bytes.size() - at, 1 << 20));
    const int length = ms_detect(bytes.data() + at, available);
    if (length <= 0 || static_cast<size_t>(length) > bytes.size() - at) {
      msr_free(&msr);
      throw ESeedError(source + ": no miniSEED record at byte " +
                       DecimalText(static_cast<int64_t>(at)));
    }
    copy.assign(bytes.data() + at, bytes.data() + at + length);
    if (msr_parse(copy.data(), length, &msr, length, 0, 0) != MS_NOERROR) {
      msr_free(&msr);
      throw ESeedError(source + ": unreadable miniSEED record at byte " +
                       DecimalText(static_cast<int64_t>(at)));
    }
    TRecordInfo info;
    info.Codes = {Trimmed(msr->network), Trimmed(msr->station), Trimmed(msr->location),
                  Trimmed(msr->channel)};
    info.Start = msr->starttime;
    info.SampleCount = msr->samplecnt;
    info.Bytes = bytes.substr(at, static_cast<size_t>(length));
    records.push_back(std::move(info));
    at += static_cast<size_t>(length);
  }
  msr_free(&msr);
  return records;
}

bool EarlierStart(const TRecordInfo& a, const TRecordInfo& b) {
  return a.Start < b.Start;
}

enum class TEntry { Missing, File, Directory, Link, Other };

// What a name of the archive is, its symbolic links not followed.
TEntry EntryAt(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return TEntry::Missing;
    throw platform::EInOutError(platform::IoCodeFromErrno(errno), path);
  }
  if (S_ISLNK(info.st_mode)) return TEntry::Link;
  if (S_ISDIR(info.st_mode)) return TEntry::Directory;
  return S_ISREG(info.st_mode) ? TEntry::File : TEntry::Other;
}

// A link in the archive could lead its writes anywhere: to a file of someone else's that a
// day file's rewrite or append would overwrite.
[[noreturn]] void RefuseLink(const std::string& path) {
  throw ESeedError(path + ": a symbolic link, which the SDS archive does not follow");
}

// The names a day file's writer uses beside it: the new file before it replaces the day file,
// and a second name of the old day file until the replacement is final.
constexpr std::string_view PartialSuffix = ".partial";
constexpr std::string_view PreviousSuffix = ".previous";

std::string HiddenName(const std::string& dayFile, std::string_view suffix) {
  const fs::path path(dayFile);
  std::string name = ".";
  name += path.filename().string();
  name += suffix;
  return (path.parent_path() / name).string();
}

bool AllDigits(std::string_view text, size_t length) {
  return text.size() == length &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// ".NET.STA.LOC.CHA.D.YEAR.DDD.partial" or ".previous": a name that only an archive writer
// gives a file.
bool IsHiddenName(std::string_view name) {
  if (name.empty() || name.front() != '.') return false;
  name.remove_prefix(1);
  if (name.ends_with(PartialSuffix)) {
    name.remove_suffix(PartialSuffix.size());
  } else if (name.ends_with(PreviousSuffix)) {
    name.remove_suffix(PreviousSuffix.size());
  } else {
    return false;
  }
  std::vector<std::string_view> fields;
  for (size_t at = 0;;) {
    const size_t dot = name.find('.', at);
    fields.push_back(name.substr(at, dot == std::string_view::npos ? dot : dot - at));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  return fields.size() == 7 && fields[4] == "D" && AllDigits(fields[5], 4) &&
         AllDigits(fields[6], 3);
}

// The changes that one insertion makes to the archive, taken back together when one of them
// fails: new and rewritten day files wait under their temporary names until every write has
// succeeded, appends are cut back, directories created for them are removed.
class TFiling {
 public:
  explicit TFiling(std::string root) : Root(std::move(root)) {}

  // Makes the directories of a day file's path (relative to the root) that are missing. A
  // link on the way is refused; in the day file's directory, what a writer killed half-way
  // left is removed.
  void MakeDirectories(const std::string& relativeDirectory) {
    fs::path path(Root);
    int level = 0;
    for (const fs::path& part : fs::path(relativeDirectory)) {
      ++level;
      const std::string parent = path.string();
      path /= part;
      const std::string name = path.string();
      switch (EntryAt(name)) {
        case TEntry::Directory:
          break;
        case TEntry::Missing:
          if (::mkdir(name.c_str(), 0777) != 0) {
            // The year's and the network's directories are shared with writers of other
            // stations, who may have just made them.
            if (errno == EEXIST && EntryAt(name) == TEntry::Directory) break;
            throw platform::EInOutError(platform::IoCodeFromErrno(errno), name);
          }
          // Those of the station are this writer's alone to remove again.
          if (level >= StationLevel) Created.push_back(name);
          AddToFlush(parent);
          break;
        case TEntry::Link:
          RefuseLink(name);
        default:
          throw ESeedError(name + ": not a directory");
      }
    }
    if (Swept.insert(path.string()).second) RemoveLeftovers(path.string());
  }

  // Writes the whole new content of a day file under its temporary name; it replaces the day
  // file (`exists`: there is one) when the insertion is committed.
  void Replace(const std::string& path, bool exists, const std::vector<std::string_view>& parts) {
    TReplacement& replacement = Replacements.emplace_back();
    replacement.Path = path;
    replacement.Temporary = HiddenName(path, PartialSuffix);
    if (exists) replacement.Previous = HiddenName(path, PreviousSuffix);
    CheckFree(replacement.Previous);
    platform::TRecordFile file;
    // Never opened through a link planted at the name, nor over a file of someone else's.
    const int code = file.CreateNew(replacement.Temporary, 1);
    if (code == platform::TRecordFile::NameTaken) {
      CheckFree(replacement.Temporary);
      throw ESeedError(TakenText(replacement.Temporary));
    }
    if (code != 0) throw platform::EInOutError(code, replacement.Temporary);
    replacement.Created = true;
    for (const std::string_view part : parts) {
      file.Write(part.data(), static_cast<int64_t>(part.size()));
    }
    if (const int closed = file.Close(); closed != 0) {
      throw platform::EInOutError(closed, replacement.Temporary);
    }
    // On the medium before it replaces the old file, so that a crash leaves one of them whole.
    platform::SyncFile(replacement.Temporary);
    AddToFlush(platform::ParentDirectory(path));
  }

  // Appends to a day file of `oldSize` bytes.
  void Append(const std::string& path, int64_t oldSize,
              const std::vector<std::string_view>& parts) {
    Appends.push_back({path, oldSize});
    platform::TRecordFile file;
    if (const int code = file.Reset(path, 1); code != 0) throw platform::EInOutError(code, path);
    file.Seek(oldSize);
    for (const std::string_view part : parts) {
      file.Write(part.data(), static_cast<int64_t>(part.size()));
    }
    if (const int code = file.Close(); code != 0) throw platform::EInOutError(code, path);
    platform::SyncFile(path);
  }

  // Every write succeeded: the new files take their day files' names.
  void Commit() {
    for (TReplacement& replacement : Replacements) {
      if (!replacement.Previous.empty()) {
        // The old day file keeps a name until the last replacement is on the medium, so that
        // a failure on the way can put it back.
        if (::linkat(AT_FDCWD, replacement.Path.c_str(), AT_FDCWD, replacement.Previous.c_str(),
                     0) != 0) {
          throw platform::EInOutError(platform::IoCodeFromErrno(errno), replacement.Path);
        }
        replacement.Kept = true;
      }
      if (!platform::RenameFile(replacement.Temporary, replacement.Path)) {
        throw platform::EInOutError(platform::IoCodeFromErrno(errno), replacement.Path);
      }
      replacement.Renamed = true;
    }
    for (const std::string& directory : ToFlush) platform::SyncDirectory(directory);
    for (const TReplacement& replacement : Replacements) {
      if (replacement.Kept) ::unlink(replacement.Previous.c_str());
    }
    Replacements.clear();
    Appends.clear();
    Created.clear();
  }

  // Takes back what was done; never throws.
  void Undo() noexcept {
    for (auto r = Replacements.rbegin(); r != Replacements.rend(); ++r) {
      if (r->Renamed) {
        if (r->Kept) {
          ::rename(r->Previous.c_str(), r->Path.c_str());
        } else {
          ::unlink(r->Path.c_str());
        }
      } else {
        if (r->Kept) ::unlink(r->Previous.c_str());
        if (r->Created) ::unlink(r->Temporary.c_str());
      }
    }
    for (const TAppend& append : Appends) {
      if (::truncate(append.Path.c_str(), static_cast<off_t>(append.OldSize)) == 0) {
        try {
          platform::SyncFile(append.Path);
        } catch (const platform::EInOutError&) {
        }
      }
    }
    for (auto directory = Created.rbegin(); directory != Created.rend(); ++directory) {
      ::rmdir(directory->c_str());
    }
    Replacements.clear();
    Appends.clear();
    Created.clear();
  }

 private:
  struct TReplacement {
    std::string Path;
    std::string Temporary;
    std::string Previous;  // empty for a new day file
    bool Created = false;  // the temporary file
    bool Kept = false;     // the old day file under its second name too
    bool Renamed = false;  // the temporary file over the day file
  };
  struct TAppend {
    std::string Path;
    int64_t OldSize;
  };

  void AddToFlush(const std::string& directory) {
    if (std::find(ToFlush.begin(), ToFlush.end(), directory) == ToFlush.end()) {
      ToFlush.push_back(directory);
    }
  }

  // Files of a writer that died before it could remove them; this writer holds the lock, so
  // no living writer is using them.
  static void RemoveLeftovers(const std::string& directory) {
    for (const std::string& name : platform::ListDirectory(directory)) {
      if (!IsHiddenName(name)) continue;
      const std::string path = directory + "/" + name;
      if (EntryAt(path) == TEntry::File) ::unlink(path.c_str());
    }
  }

  static std::string TakenText(const std::string& path) {
    return path + ": the name is taken; the SDS archive needs it for its writes";
  }

  // A name of ours that the archive cannot take: a link planted there, a directory.
  static void CheckFree(const std::string& path) {
    if (path.empty()) return;
    switch (EntryAt(path)) {
      case TEntry::Missing:
        return;
      case TEntry::Link:
        RefuseLink(path);
      default:
        throw ESeedError(TakenText(path));
    }
  }

  static constexpr int StationLevel = 3;  // YEAR/NET/STA

  std::string Root;
  std::vector<std::string> Created;  // directories of the station, parents first
  std::set<std::string> Swept;
  std::vector<std::string> ToFlush;  // directories whose entries changed
  std::vector<TReplacement> Replacements;
  std::vector<TAppend> Appends;
};

}  // namespace

std::string TSdsArchive::DayFilePath(const TChannelCodes& codes, int year, int dayOfYear) {
  const std::string yearText = DecimalText(year, 4);
  return yearText + "/" + codes.Network + "/" + codes.Station + "/" + codes.Channel + ".D/" +
         codes.Network + "." + codes.Station + "." + codes.Location + "." + codes.Channel + ".D." +
         yearText + "." + DecimalText(dayOfYear, 3);
}

TSdsInsertResult TSdsArchive::Insert(std::string_view records) {
  TSdsInsertResult result;
  // Group by day file, keeping the records' order within each.
  std::map<std::string, std::vector<TRecordInfo>> byFile;
  for (TRecordInfo& record : ParseRecords(records, "new records")) {
    CheckCodes(record.Codes);
    const TSeedTime start = TSeedTime::FromEpochMicroseconds(record.Start);
    byFile[DayFilePath(record.Codes, start.Year, start.DayOfYear())].push_back(std::move(record));
  }
  if (byFile.empty()) return result;

  std::error_code error;
  fs::create_directories(Root, error);
  if (error) throw platform::EInOutError(platform::IoCodeFromErrno(error.value()), Root);
  std::set<std::pair<std::string, std::string>> stations;
  for (const auto& [relative, incoming] : byFile) {
    stations.emplace(incoming.front().Codes.Network, incoming.front().Codes.Station);
  }
  std::vector<std::unique_ptr<TSdsLock>> locks;  // in the order of the codes
  for (const auto& [network, station] : stations) {
    locks.push_back(std::make_unique<TSdsLock>(Root, network, station));
  }
  TFiling filing(Root);
  try {
    for (auto& [relative, incoming] : byFile) {
      const std::string path = (fs::path(Root) / relative).string();
      filing.MakeDirectories(fs::path(relative).parent_path().string());
      const TEntry entry = EntryAt(path);
      if (entry == TEntry::Link) RefuseLink(path);
      if (entry != TEntry::Missing && entry != TEntry::File) {
        throw ESeedError(path + ": not a file");
      }
      const bool exists = entry == TEntry::File;
      std::string existingBytes;
      std::vector<TRecordInfo> existing;
      if (exists) {
        existingBytes = platform::ReadWholeFile(path);
        existing = ParseRecords(existingBytes, path);
      }

      // The new records that the file does not hold yet (nor the batch twice).
      std::set<TRecordKey> known;
      for (const TRecordInfo& record : existing) known.insert(record.Key());
      std::vector<TRecordInfo> fresh;
      for (TRecordInfo& record : incoming) {
        if (known.insert(record.Key()).second) {
          fresh.push_back(std::move(record));
        } else {
          ++result.RecordsPresent;
        }
      }
      if (fresh.empty()) continue;
      std::stable_sort(fresh.begin(), fresh.end(), EarlierStart);

      std::vector<std::string_view> parts;
      if (exists && std::all_of(existing.begin(), existing.end(), [&](const TRecordInfo& record) {
            return record.Start <= fresh.front().Start;
          })) {
        for (const TRecordInfo& record : fresh) parts.push_back(record.Bytes);
        filing.Append(path, static_cast<int64_t>(existingBytes.size()), parts);
      } else {
        std::vector<TRecordInfo> merged = std::move(existing);
        merged.insert(merged.end(), fresh.begin(), fresh.end());
        std::stable_sort(merged.begin(), merged.end(), EarlierStart);
        for (const TRecordInfo& record : merged) parts.push_back(record.Bytes);
        filing.Replace(path, exists, parts);
      }
      result.RecordsWritten += static_cast<int>(fresh.size());
      ++result.FilesWritten;
    }
    filing.Commit();
  } catch (...) {
    filing.Undo();
    throw;
  }
  return result;
}

}  // namespace seed
