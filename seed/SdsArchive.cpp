#include "seed/SdsArchive.h"

#include <fcntl.h>
#include <libmseed.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "base/Sha256.h"

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
  int64_t End = 0;    // after its last sample
  int64_t SampleCount = 0;
  std::string_view Bytes;  // valid while it is handed over
  int32_t Length = 0;
};

std::string Trimmed(const char* code) {
  std::string text(code);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string NoRecordText(const std::string& source, int64_t at) {
  return source + ": no miniSEED record at byte " + DecimalText(at);
}

// Parses the record at the start of `data` (`available` bytes of which are there), its bytes
// left as they are: libmseed reads but does not change the record, yet its interface takes a
// char*, so the record is parsed in `scratch`. Returns its length.
size_t ParseRecord(const char* data, size_t available, std::vector<char>& scratch, MSRecord*& msr,
                   TRecordInfo& info, const std::string& source, int64_t at) {
  const int length =
      ms_detect(data, static_cast<int>(std::min<size_t>(available, size_t{1} << 20)));
  if (length <= 0 || static_cast<size_t>(length) > available) {
    throw ESeedError(NoRecordText(source, at));
  }
  scratch.assign(data, data + length);
  if (msr_parse(scratch.data(), length, &msr, length, 0, 0) != MS_NOERROR) {
    throw ESeedError(source + ": unreadable miniSEED record at byte " + DecimalText(at));
  }
  info.Length = length;
  info.Codes = {Trimmed(msr->network), Trimmed(msr->station), Trimmed(msr->location),
                Trimmed(msr->channel)};
  info.Start = msr->starttime;
  info.SampleCount = msr->samplecnt;
  info.End = info.Start;
  if (msr->samprate > 0 && info.SampleCount > 0) {
    info.End += std::llround(static_cast<double>(info.SampleCount) * 1e6 / msr->samprate);
  }
  return static_cast<size_t>(length);
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
// And while records are appended to it, its size before them: what the next writer cuts it
// back to when this one was killed before the insertion was whole.
constexpr std::string_view AppendSuffix = ".append";

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
  } else if (name.ends_with(AppendSuffix)) {
    name.remove_suffix(AppendSuffix.size());
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

// A day file that a writer killed half-way was appending to (its note beside it) is cut back to
// its size before, so that neither half a record nor part of an insertion stays in it; then
// the note goes. Under the station's lock: no living writer is appending.
void CutBackAppend(const std::string& dayFile) {
  const std::string note = HiddenName(dayFile, AppendSuffix);
  if (EntryAt(note) != TEntry::File) return;
  const std::string text = platform::ReadWholeFile(note);
  int64_t size = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
  // A note without its size was left before the append began.
  if (error == std::errc() && end == text.data() + text.size() && size >= 0 &&
      EntryAt(dayFile) == TEntry::File && static_cast<int64_t>(fs::file_size(dayFile)) > size) {
    if (::truncate(dayFile.c_str(), static_cast<off_t>(size)) != 0) {
      throw platform::EInOutError(platform::IoCodeFromErrno(errno), dayFile);
    }
    platform::SyncFile(dayFile);
  }
  if (::unlink(note.c_str()) != 0 && errno != ENOENT) {
    throw platform::EInOutError(platform::IoCodeFromErrno(errno), note);
  }
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
  using TContent = std::function<void(platform::TRecordFile&)>;

  void Replace(const std::string& path, bool exists, const TContent& content) {
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
    content(file);
    if (const int closed = file.Close(); closed != 0) {
      throw platform::EInOutError(closed, replacement.Temporary);
    }
    // On the medium before it replaces the old file, so that a crash leaves one of them whole.
    platform::SyncFile(replacement.Temporary);
    AddToFlush(platform::ParentDirectory(path));
  }

  // Appends to a day file of `oldSize` bytes.
  void Append(const std::string& path, int64_t oldSize, const TContent& content) {
    WriteNote(path, oldSize);
    Appends.push_back({path, oldSize});
    platform::TRecordFile file;
    if (const int code = file.Reset(path, 1); code != 0) throw platform::EInOutError(code, path);
    file.Seek(oldSize);
    content(file);
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
    // The appends are whole and on the medium: nothing to cut back any more.
    for (const TAppend& append : Appends) ::unlink(HiddenName(append.Path, AppendSuffix).c_str());
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
          ::unlink(HiddenName(append.Path, AppendSuffix).c_str());
        } catch (const platform::EInOutError&) {
          // The note stays: the next writer cuts the day file back.
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

  // Notes an append before it begins. The note is not flushed: a killed writer's notes are in
  // the page cache for the next one, and a flush would cost one more per day file and event
  // (after a power cut, half a record left at a day file's end is refused by the file's name).
  static void WriteNote(const std::string& dayFile, int64_t oldSize) {
    const std::string note = HiddenName(dayFile, AppendSuffix);
    CutBackAppend(dayFile);  // a note left there is of a writer that died
    CheckFree(note);
    const int handle =
        ::open(note.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (handle < 0) throw platform::EInOutError(platform::IoCodeFromErrno(errno), note);
    char text[24];
    const auto [end, error] = std::to_chars(text, text + sizeof text, oldSize);
    (void)error;
    const auto length = static_cast<size_t>(end - text);
    const bool written = ::write(handle, text, length) == static_cast<ssize_t>(length);
    const int code = written ? 0 : platform::IoCodeFromErrno(errno);
    ::close(handle);
    if (!written) {
      ::unlink(note.c_str());
      throw platform::EInOutError(code, note);
    }
  }

  // Files of a writer that died before it could remove them; this writer holds the lock, so
  // no living writer is using them. A day file it was appending to is cut back first.
  static void RemoveLeftovers(const std::string& directory) {
    for (const std::string& name : platform::ListDirectory(directory)) {
      if (!IsHiddenName(name)) continue;
      const std::string path = directory + "/" + name;
      if (name.ends_with(AppendSuffix)) {
        CutBackAppend(directory + "/" + name.substr(1, name.size() - 1 - AppendSuffix.size()));
      } else if (EntryAt(path) == TEntry::File) {
        ::unlink(path.c_str());
      }
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

// What a file was when the session last read or wrote it: a writer that changed it since
// changed its size (the archive only grows: every record written adds bytes) or replaced it
// (another inode), and the times too.
struct TIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  int64_t Modified = 0;  // nanoseconds
  int64_t Changed = 0;
  friend bool operator==(const TIdentity&, const TIdentity&) = default;
};

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

TIdentity IdentityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, Nanoseconds(info.st_mtim),
          Nanoseconds(info.st_ctim)};
}

// What a session knows of a record: of a day file (its offset there), or of a waiting insertion
// (its offset in the batch's store).
struct TIndexed {
  int64_t Start = 0;
  int64_t End = 0;
  int64_t Offset = 0;
  int32_t SampleCount = 0;
  int32_t Length = 0;
  int32_t Codes = 0;      // in the day file's list
  int32_t Insertion = 0;  // waiting: the insertion's number
};

bool StartsEarlier(const TIndexed& a, const TIndexed& b) {
  return a.Start < b.Start;
}

TIndexed IndexedOf(const TRecordInfo& record, int64_t offset, int32_t codes = 0) {
  TIndexed indexed;
  indexed.Start = record.Start;
  indexed.End = record.End;
  indexed.Offset = offset;
  indexed.SampleCount = static_cast<int32_t>(record.SampleCount);
  indexed.Length = record.Length;
  indexed.Codes = codes;
  return indexed;
}

// Record bytes that wait for the batch's flush: in an unnamed file in the archive's file system
// (gone with the process, whatever kills it), or in memory where there is none.
class TStore {
 public:
  explicit TStore(std::string root) : Root(std::move(root)) {}

  int64_t Add(std::string_view bytes) {
    if (!File.IsOpen() && !InMemory) InMemory = !File.Open(Root);
    if (!InMemory) return File.Append(bytes);
    const auto at = static_cast<int64_t>(Memory.size());
    Memory.append(bytes);
    return at;
  }

  void Read(int64_t at, size_t length, char* to) const {
    if (InMemory) {
      Memory.copy(to, length, static_cast<size_t>(at));
      return;
    }
    ReadFully(File.Descriptor(), at, length, to, Root);
  }

  void Clear() {
    Memory.clear();
    Memory.shrink_to_fit();
    // A store that cannot be emptied is dropped; the next batch opens another.
    File.Clear();
  }

  bool InMemoryOnly() const { return InMemory; }
  int64_t Bytes() const { return InMemory ? static_cast<int64_t>(Memory.size()) : File.Size(); }

  static void ReadFully(int handle, int64_t at, size_t length, char* to, const std::string& name) {
    for (size_t done = 0; done < length;) {
      const ssize_t n =
          ::pread(handle, to + done, length - done, static_cast<off_t>(at + static_cast<int64_t>(done)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw platform::EInOutError(platform::IoCodeFromErrno(errno), name);
      if (n == 0) throw ESeedError(name + ": shorter than the SDS archive last found it");
      done += static_cast<size_t>(n);
    }
  }

 private:
  std::string Root;
  platform::TUnnamedFile File;
  bool InMemory = false;
  std::string Memory;
};

// A file opened for reading, never through a link, closed with the object.
class TReading {
 public:
  explicit TReading(const std::string& path)
      : Handle(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)) {
    if (Handle < 0) {
      if (errno == ELOOP) RefuseLink(path);
      throw platform::EInOutError(platform::IoCodeFromErrno(errno), path);
    }
  }
  ~TReading() { ::close(Handle); }
  TReading(const TReading&) = delete;
  TReading& operator=(const TReading&) = delete;
  int Handle;
};

// Reads the records' headers of an open file from offset `from` (a record's start) to its end,
// a window at a time, handing each record (its bytes valid during the call) to `take`.
void ScanRecords(int handle, const std::string& path,
                 const std::function<void(const TRecordInfo&, int64_t offset)>& take,
                 int64_t from = 0) {
  constexpr size_t Window = 1 << 20;
  constexpr size_t Longest = 1 << 17;  // more than any record's length
  std::vector<char> buffer(Window);
  std::vector<char> scratch;
  MSRecord* msr = nullptr;
  int64_t fileAt = from;  // of buffer[0]
  size_t filled = 0;
  size_t at = 0;
  bool more = true;
  try {
    for (;;) {
      if (more && filled - at < Longest) {
        std::copy(buffer.begin() + static_cast<ptrdiff_t>(at),
                  buffer.begin() + static_cast<ptrdiff_t>(filled), buffer.begin());
        fileAt += static_cast<int64_t>(at);
        filled -= at;
        at = 0;
        while (filled < Window) {
          const ssize_t n = ::pread(handle, buffer.data() + filled, Window - filled,
                                    static_cast<off_t>(fileAt + static_cast<int64_t>(filled)));
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) throw platform::EInOutError(platform::IoCodeFromErrno(errno), path);
          if (n == 0) {
            more = false;
            break;
          }
          filled += static_cast<size_t>(n);
        }
      }
      if (at >= filled) break;
      TRecordInfo info;
      const int64_t offset = fileAt + static_cast<int64_t>(at);
      const size_t length =
          ParseRecord(buffer.data() + at, filled - at, scratch, msr, info, path, offset);
      info.Bytes = std::string_view(buffer.data() + at, length);
      take(info, offset);
      at += length;
    }
  } catch (...) {
    msr_free(&msr);
    throw;
  }
  msr_free(&msr);
}

// Where an insertion's records are: a buffer, or the unnamed file they were spooled to.
class TSource {
 public:
  explicit TSource(std::string_view memory) : Memory(memory) {}
  TSource(int handle, std::string name) : Handle(handle), Name(std::move(name)) {}

  // Hands each record's header to `take`, in their order, with its offset and length here.
  void Scan(const std::function<void(const TRecordInfo&, int64_t offset)>& take) const {
    if (Handle >= 0) {
      ScanRecords(Handle, Name, take);
      return;
    }
    MSRecord* msr = nullptr;
    std::vector<char> scratch;
    try {
      for (size_t at = 0; at < Memory.size();) {
        TRecordInfo info;
        const auto offset = static_cast<int64_t>(at);
        const size_t length =
            ParseRecord(Memory.data() + at, Memory.size() - at, scratch, msr, info, Name, offset);
        info.Bytes = Memory.substr(at, length);
        take(info, offset);
        at += length;
      }
    } catch (...) {
      msr_free(&msr);
      throw;
    }
    msr_free(&msr);
  }

  // The bytes [at, at + length): in place, or read into `scratch`.
  std::string_view Bytes(int64_t at, size_t length, std::vector<char>& scratch) const {
    if (Handle < 0) return Memory.substr(static_cast<size_t>(at), length);
    scratch.resize(length);
    TStore::ReadFully(Handle, at, length, scratch.data(), Name);
    return {scratch.data(), length};
  }

  // The bytes of `records` (of this source) in their order, handed to `take` in runs of
  // records that follow each other here, up to about 1 MB a run: few reads of a spooled file.
  void ForRuns(
      const std::vector<TIndexed>& records,
      const std::function<void(size_t first, size_t end, std::string_view bytes)>& take) const {
    std::vector<char> scratch;
    for (size_t first = 0; first < records.size();) {
      int64_t length = records[first].Length;
      size_t end = first + 1;
      while (end < records.size() && records[end].Offset == records[first].Offset + length &&
             length < (1 << 20)) {
        length += records[end].Length;
        ++end;
      }
      take(first, end, Bytes(records[first].Offset, static_cast<size_t>(length), scratch));
      first = end;
    }
  }

 private:
  std::string_view Memory;
  int Handle = -1;
  std::string Name = "new records";
};

// Checks the directories of a day file's path below the root without making any: a link or a
// file on the way is refused. Returns false when one is missing.
bool DirectoriesThere(const std::string& root, const std::string& relativeDirectory) {
  fs::path path(root);
  for (const fs::path& part : fs::path(relativeDirectory)) {
    path /= part;
    const std::string name = path.string();
    switch (EntryAt(name)) {
      case TEntry::Directory:
        break;
      case TEntry::Missing:
        return false;
      case TEntry::Link:
        RefuseLink(name);
      default:
        throw ESeedError(name + ": not a directory");
    }
  }
  return true;
}

// Merges time intervals, each [start, end), into the fewest that cover them.
std::vector<std::pair<int64_t, int64_t>> Merged(std::vector<std::pair<int64_t, int64_t>> spans) {
  std::sort(spans.begin(), spans.end());
  std::vector<std::pair<int64_t, int64_t>> merged;
  for (const auto& span : spans) {
    if (!merged.empty() && span.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, span.second);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

// The records of one insertion that go into one day file and are not there yet.
struct TFresh {
  std::vector<TIndexed> Records;  // by start time
  int32_t Codes = 0;              // theirs, in the insertion's list
  bool Appended = false;          // all start at or after the file's last record
  std::string Sha256;             // of their bytes, once written
};

// The day files' indexes a session keeps (about 40 bytes a record) before it forgets those
// used longest ago that hold nothing waiting, and the records that may wait: 10 and 5 MB.
constexpr size_t IndexedRecordsKept = 1 << 18;
constexpr size_t WaitingRecordsKept = 1 << 17;
// Without an unnamed file, the bytes that may wait in memory.
constexpr int64_t WaitingBytesInMemory = 16 << 20;

}  // namespace

struct TSdsSession::TState {
  explicit TState(std::string root) : Root(std::move(root)), Store(Root) {}

  struct TDayFile {
    std::string Relative;
    std::string Path;
    bool Learned = false;
    bool Exists = false;
    TIdentity Identity;
    std::vector<TChannelCodes> Codes;
    std::vector<TIndexed> Records;  // by start time (the file's order when it is in order)
    std::vector<TIndexed> Waiting;  // by start time, then insertion
    int64_t LongestSpan = 0;
    uint64_t LastUse = 0;

    int32_t CodesIndex(const TChannelCodes& codes) {
      const auto found = std::find(Codes.begin(), Codes.end(), codes);
      if (found != Codes.end()) return static_cast<int32_t>(found - Codes.begin());
      Codes.push_back(codes);
      return static_cast<int32_t>(Codes.size() - 1);
    }
    void Forget() {
      Learned = false;
      Exists = false;
      Codes.clear();
      Records.clear();
      Records.shrink_to_fit();
      LongestSpan = 0;
    }
    // Whether `records` holds the record (of channel `codes`).
    bool Holds(const std::vector<TIndexed>& records, const TIndexed& record,
               const TChannelCodes& codes) const {
      const auto [first, last] = std::equal_range(records.begin(), records.end(),
                                                  TIndexed{record.Start}, StartsEarlier);
      return std::any_of(first, last, [&](const TIndexed& known) {
        return known.SampleCount == record.SampleCount &&
               Codes[static_cast<size_t>(known.Codes)] == codes;
      });
    }
    // The spans where `records` overlap the record's [start, end) on its channel `codes`.
    void Overlapping(const std::vector<TIndexed>& records, const TIndexed& record,
                     const TChannelCodes& codes,
                     std::vector<std::pair<int64_t, int64_t>>& spans) const {
      auto at = std::lower_bound(records.begin(), records.end(), TIndexed{record.End},
                                 StartsEarlier);
      while (at != records.begin()) {
        --at;
        if (at->Start + LongestSpan <= record.Start) break;
        if (at->End > record.Start && Codes[static_cast<size_t>(at->Codes)] == codes) {
          spans.emplace_back(std::max(at->Start, record.Start), std::min(at->End, record.End));
        }
      }
    }
  };

  // Brings a day file's index up to date, under its station's lock: learned again when
  // another writer changed it since.
  void Check(TDayFile& file) {
    file.LastUse = ++Uses;
    struct stat info {};
    const bool directories =
        DirectoriesThere(Root, fs::path(file.Relative).parent_path().string());
    if (directories) CutBackAppend(file.Path);
    if (!directories || ::lstat(file.Path.c_str(), &info) != 0) {
      if (directories && errno != ENOENT) {
        throw platform::EInOutError(platform::IoCodeFromErrno(errno), file.Path);
      }
      if (file.Exists || !file.Learned) Unindex(file);
      file.Learned = true;
      return;
    }
    if (S_ISLNK(info.st_mode)) RefuseLink(file.Path);
    if (!S_ISREG(info.st_mode)) throw ESeedError(file.Path + ": not a file");
    if (file.Learned && file.Exists && file.Identity == IdentityOf(info)) return;
    TReading reading(file.Path);
    struct stat held {};
    if (::fstat(reading.Handle, &held) != 0) {
      throw platform::EInOutError(platform::IoCodeFromErrno(errno), file.Path);
    }
    if (!LearnAppended(file, reading, held)) {
      Unindex(file);
      try {
        ScanRecords(reading.Handle, file.Path, [&](const TRecordInfo& record, int64_t offset) {
          Index(file, IndexedOf(record, offset), record.Codes, file.Records, 0);
        });
      } catch (...) {
        file.Records.clear();
        throw;
      }
      std::stable_sort(file.Records.begin(), file.Records.end(), StartsEarlier);
      Indexed += file.Records.size();
    }
    file.Identity = IdentityOf(held);
    file.Exists = true;
    file.Learned = true;
  }

  // When the day file is the one known, grown: only records were appended to it (the bytes a
  // writer leaves under the lock are never altered in place; a rewrite is a new file). Its
  // records after those known are then indexed and it returns true; false when it is not so,
  // and the index is as it was. Two cards of one station filed at once would otherwise read
  // the whole day file again for each event, under the lock the other card waits for.
  //
  // The same inode is not proof enough, as a rewrite's new file may get the number of one
  // removed before: the last record known must still be at its offset, the same record, and
  // end where the file ended. A rewrite that kept it there added nothing before it, so the
  // records before it are where they were too.
  bool LearnAppended(TDayFile& file, const TReading& reading, const struct stat& held) {
    const TIdentity now = IdentityOf(held);
    if (!file.Learned || !file.Exists || file.Records.empty() ||
        now.Device != file.Identity.Device || now.Inode != file.Identity.Inode ||
        now.Size <= file.Identity.Size) {
      return false;
    }
    const TIndexed& last = *std::max_element(
        file.Records.begin(), file.Records.end(),
        [](const TIndexed& a, const TIndexed& b) { return a.Offset < b.Offset; });
    if (last.Offset + last.Length != static_cast<int64_t>(file.Identity.Size)) return false;
    const TIndexed known = last;
    const size_t before = file.Records.size();
    try {
      ScanRecords(
          reading.Handle, file.Path,
          [&](const TRecordInfo& record, int64_t offset) {
            if (offset == known.Offset) {
              if (record.Start != known.Start || record.SampleCount != known.SampleCount ||
                  record.Length != known.Length ||
                  !(record.Codes == file.Codes[static_cast<size_t>(known.Codes)])) {
                throw TNotAppended();
              }
            } else {
              Index(file, IndexedOf(record, offset), record.Codes, file.Records, 0);
            }
          },
          known.Offset);
    } catch (const TNotAppended&) {
      file.Records.resize(before);
      return false;
    } catch (...) {
      file.Records.resize(before);
      Unindex(file);
      throw;
    }
    const auto added = file.Records.begin() + static_cast<ptrdiff_t>(before);
    std::stable_sort(added, file.Records.end(), StartsEarlier);
    std::inplace_merge(file.Records.begin(), added, file.Records.end(), StartsEarlier);
    Indexed += file.Records.size() - before;
    return true;
  }
  struct TNotAppended {};


  // Adds the record (of channel `codes`, at `record.Offset`) to an index of the day file.
  void Index(TDayFile& file, TIndexed record, const TChannelCodes& codes, std::vector<TIndexed>& to,
             int32_t insertion) {
    record.Codes = file.CodesIndex(codes);
    record.Insertion = insertion;
    to.push_back(record);
    file.LongestSpan = std::max(file.LongestSpan, record.End - record.Start);
  }

  void Unindex(TDayFile& file) {
    Indexed -= file.Records.size();
    // The codes stay: waiting records refer to them.
    file.Learned = false;
    file.Exists = false;
    file.Records.clear();
  }

  // After a change of ours: what the file now is.
  void Restat(TDayFile& file) {
    struct stat info {};
    if (::lstat(file.Path.c_str(), &info) != 0) {
      throw platform::EInOutError(platform::IoCodeFromErrno(errno), file.Path);
    }
    file.Identity = IdentityOf(info);
    file.Exists = true;
    file.Learned = true;
  }

  // Forgets the indexes used longest ago, of files where nothing waits, while there are too
  // many records indexed: they are learned again if needed.
  void Trim() {
    if (Indexed <= IndexedRecordsKept) return;
    std::vector<TDayFile*> files;
    for (auto& [relative, file] : Files) {
      if (file.Waiting.empty()) files.push_back(&file);
    }
    std::sort(files.begin(), files.end(),
              [](const TDayFile* a, const TDayFile* b) { return a->LastUse < b->LastUse; });
    for (TDayFile* file : files) {
      if (Indexed <= IndexedRecordsKept / 2) break;
      Unindex(*file);
      file->Codes.clear();
      file->LongestSpan = 0;
    }
  }

  std::vector<std::unique_ptr<TSdsLock>> Lock(
      const std::set<std::pair<std::string, std::string>>& stations) {
    std::error_code error;
    fs::create_directories(Root, error);
    if (error) throw platform::EInOutError(platform::IoCodeFromErrno(error.value()), Root);
    std::vector<std::unique_ptr<TSdsLock>> locks;  // in the order of the codes
    for (const auto& [network, station] : stations) {
      locks.push_back(std::make_unique<TSdsLock>(Root, network, station));
    }
    return locks;
  }

  TDayFile& FileAt(const std::string& relative) {
    TDayFile& file = Files[relative];
    if (file.Path.empty()) {
      file.Relative = relative;
      file.Path = (fs::path(Root) / relative).string();
    }
    return file;
  }

  // An insertion, then the batch written if it passed its bounds.
  TSdsInsertResult Insert(const TSource& source);
  TSdsInsertResult Insertion(const TSource& source);
  // Adds to an insertion's channels its records that its day files held already (`present`),
  // with those it wrote there (`fresh`); `codes`: the insertion's channels.
  void AddPresent(const std::map<std::string, std::vector<TIndexed>>& present,
                  const std::map<std::string, TFresh>& fresh,
                  const std::vector<TChannelCodes>& codes, TSdsInsertResult& result);
  void Flush();
  void DropWaiting();

  std::string Root;
  std::map<std::string, TDayFile> Files;  // by path relative to the root
  size_t Indexed = 0;                     // records in the files' indexes
  size_t WaitingRecords = 0;
  uint64_t Uses = 0;
  int32_t Insertions = 0;
  std::map<int32_t, TSdsInsertResult> Waiting;  // the insertions in the batch
  std::vector<TSdsInsertResult> Filed;          // made durable by a flush, not yet taken
  TStore Store;
};

namespace {


}  // namespace

TSdsInsertResult TSdsSession::TState::Insertion(const TSource& source) {
  TSdsInsertResult result;
  const int32_t id = ++Insertions;
  result.Id = id;
  // Grouped by day file, keeping the records' order within each: as compact entries and each
  // channel's codes once, so that what an event of any length takes beside its bytes is small.
  std::vector<TChannelCodes> codes;
  std::map<std::pair<int32_t, int64_t>, std::vector<TIndexed>> byChannelDay;
  source.Scan([&](const TRecordInfo& record, int64_t offset) {
    auto found = std::find(codes.begin(), codes.end(), record.Codes);
    if (found == codes.end()) found = codes.insert(codes.end(), record.Codes);
    const auto index = static_cast<int32_t>(found - codes.begin());
    const int64_t day = record.Start / MicrosecondsPerDay - (record.Start % MicrosecondsPerDay < 0);
    byChannelDay[{index, day}].push_back(IndexedOf(record, offset, index));
  });
  for (const TChannelCodes& channel : codes) CheckCodes(channel);
  std::map<std::string, std::vector<TIndexed>> byFile;
  for (auto& [channelDay, records] : byChannelDay) {
    const TSeedTime start = TSeedTime::FromEpochMicroseconds(records.front().Start);
    std::vector<TIndexed>& file = byFile[TSdsArchive::DayFilePath(
        codes[static_cast<size_t>(channelDay.first)], start.Year, start.DayOfYear())];
    if (file.empty()) {
      file = std::move(records);
    } else {
      file.insert(file.end(), records.begin(), records.end());
    }
  }
  byChannelDay.clear();
  if (byFile.empty()) return result;
  const auto codesOf = [&](const TIndexed& record) -> const TChannelCodes& {
    return codes[static_cast<size_t>(record.Codes)];
  };

  std::set<std::pair<std::string, std::string>> stations;
  for (const auto& [relative, incoming] : byFile) {
    stations.emplace(codesOf(incoming.front()).Network, codesOf(incoming.front()).Station);
  }
  const auto locks = Lock(stations);

  std::map<std::string, TFresh> fresh;
  // Records already in their day files (as those of a run killed before it recorded them):
  // they are this insertion's copy there as much as the ones it writes.
  std::map<std::string, std::vector<TIndexed>> present;
  bool presentInBatch = false;
  bool appendOnly = true;
  for (auto& [relative, news] : byFile) {
    TDayFile& file = FileAt(relative);
    Check(file);
    // The new records that the file does not hold yet, nor the batch, nor this insertion twice
    // (the first of equal ones stays), kept in place by start time.
    std::stable_sort(news.begin(), news.end(), StartsEarlier);
    size_t kept = 0;
    for (const TIndexed& record : news) {
      bool twice = false;
      for (size_t k = kept; k > 0 && news[k - 1].Start == record.Start && !twice; --k) {
        twice = news[k - 1].SampleCount == record.SampleCount && news[k - 1].Codes == record.Codes;
      }
      const TChannelCodes& channel = codesOf(record);
      if (twice) {
        ++result.RecordsPresent;
      } else if (file.Holds(file.Records, record, channel)) {
        ++result.RecordsPresent;
        present[relative].push_back(record);
      } else if (file.Holds(file.Waiting, record, channel)) {
        ++result.RecordsPresent;
        presentInBatch = true;
      } else {
        news[kept++] = record;
      }
    }
    news.resize(kept);
    if (news.empty()) continue;
    const TChannelCodes& channel = codesOf(news.front());
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const TIndexed& record : news) {
      file.Overlapping(file.Records, record, channel, spans);
      file.Overlapping(file.Waiting, record, channel, spans);
    }
    for (const auto& [start, end] : Merged(std::move(spans))) {
      result.Overlaps.push_back({channel, start, static_cast<double>(end - start) / 1e6});
    }
    TFresh& entry = fresh[relative];
    entry.Appended = file.Records.empty() || file.Records.back().Start <= news.front().Start;
    appendOnly = appendOnly && entry.Appended;
    result.RecordsWritten += static_cast<int>(news.size());
    ++result.FilesWritten;
    entry.Codes = news.front().Codes;
    entry.Records = std::move(news);
  }
  byFile.clear();
  // Only when the whole of the insertion is on the medium is it a copy to record.
  if (presentInBatch) present.clear();
  if (fresh.empty()) {
    AddPresent(present, fresh, codes, result);
    return result;
  }

  if (!appendOnly) {
    // Into the batch, whole: the insertion is then filed with the batch, all of it or none.
    for (auto& [relative, entry] : fresh) {
      TDayFile& file = FileAt(relative);
      const size_t before = file.Waiting.size();
      source.ForRuns(entry.Records, [&](size_t first, size_t end, std::string_view bytes) {
        int64_t at = Store.Add(bytes);
        for (size_t r = first; r < end; ++r) {
          TIndexed record = entry.Records[r];
          record.Offset = at;
          Index(file, record, codesOf(record), file.Waiting, id);
          at += record.Length;
        }
      });
      std::inplace_merge(file.Waiting.begin(),
                         file.Waiting.begin() + static_cast<ptrdiff_t>(before),
                         file.Waiting.end(), StartsEarlier);
      WaitingRecords += entry.Records.size();
    }
    result.Durable = false;
    Waiting[id] = result;
    return result;
  }

  TFiling filing(Root);
  try {
    for (auto& [relative, entry] : fresh) {
      TDayFile& file = FileAt(relative);
      filing.MakeDirectories(fs::path(relative).parent_path().string());
      const auto content = [&](platform::TRecordFile& to) {
        TSha256 hash;
        source.ForRuns(entry.Records, [&](size_t, size_t, std::string_view bytes) {
          to.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
          hash.Update(bytes);
        });
        entry.Sha256 = hash.FinalHex();
      };
      if (file.Exists) {
        filing.Append(file.Path, file.Identity.Size, content);
      } else {
        filing.Replace(file.Path, false, content);
      }
    }
    filing.Commit();
  } catch (...) {
    filing.Undo();
    for (auto& [relative, entry] : fresh) Unindex(FileAt(relative));
    throw;
  }
  for (auto& [relative, entry] : fresh) {
    TDayFile& file = FileAt(relative);
    int64_t offset = file.Exists ? file.Identity.Size : 0;
    TSdsFiledChannel& channel = result.Channels.emplace_back();
    channel.DayFile = relative;
    channel.Codes = codes[static_cast<size_t>(entry.Codes)];
    for (TIndexed record : entry.Records) {
      record.Offset = offset;
      Index(file, record, channel.Codes, file.Records, 0);
      offset += record.Length;
      channel.RecordStarts.push_back(record.Start);
    }
    Indexed += entry.Records.size();
    channel.RecordCount = static_cast<int>(channel.RecordStarts.size());
    channel.Sha256 = std::move(entry.Sha256);
    Restat(file);
  }
  AddPresent(present, fresh, codes, result);
  Trim();
  return result;
}

void TSdsSession::TState::AddPresent(const std::map<std::string, std::vector<TIndexed>>& present,
                                     const std::map<std::string, TFresh>& fresh,
                                     const std::vector<TChannelCodes>& codes,
                                     TSdsInsertResult& result) {
  if (present.empty()) return;
  for (const auto& [relative, records] : present) {
    TDayFile& file = FileAt(relative);
    // The insertion's records in the day file, those it wrote included, in file order; their
    // bytes as the file holds them, which is what a check hashes again.
    std::vector<TIndexed> mine = records;
    if (const auto wrote = fresh.find(relative); wrote != fresh.end()) {
      mine.insert(mine.end(), wrote->second.Records.begin(), wrote->second.Records.end());
    }
    const TChannelCodes& channelCodes = codes[static_cast<size_t>(records.front().Codes)];
    std::vector<TIndexed> found;
    for (const TIndexed& record : mine) {
      const auto [first, last] = std::equal_range(file.Records.begin(), file.Records.end(),
                                                  TIndexed{record.Start}, StartsEarlier);
      const auto at = std::find_if(first, last, [&](const TIndexed& known) {
        return known.SampleCount == record.SampleCount &&
               file.Codes[static_cast<size_t>(known.Codes)] == channelCodes;
      });
      if (at != last) found.push_back(*at);
    }
    if (found.size() != mine.size()) continue;  // not all where the index says: not recorded
    std::sort(found.begin(), found.end(),
              [](const TIndexed& a, const TIndexed& b) { return a.Offset < b.Offset; });
    TSdsFiledChannel channel;
    channel.DayFile = relative;
    channel.Codes = channelCodes;
    channel.Wrote = fresh.count(relative) != 0;
    TSha256 hash;
    const TReading reading(file.Path);
    std::vector<char> buffer;
    for (const TIndexed& record : found) {
      buffer.resize(static_cast<size_t>(record.Length));
      TStore::ReadFully(reading.Handle, record.Offset, buffer.size(), buffer.data(), file.Path);
      hash.Update(buffer.data(), buffer.size());
      channel.RecordStarts.push_back(record.Start);
    }
    channel.RecordCount = static_cast<int>(channel.RecordStarts.size());
    channel.Sha256 = hash.FinalHex();
    const auto same =
        std::find_if(result.Channels.begin(), result.Channels.end(),
                     [&](const TSdsFiledChannel& c) { return c.DayFile == relative; });
    if (same != result.Channels.end()) {
      *same = std::move(channel);
    } else {
      result.Channels.push_back(std::move(channel));
    }
  }
  std::sort(
      result.Channels.begin(), result.Channels.end(),
      [](const TSdsFiledChannel& a, const TSdsFiledChannel& b) { return a.DayFile < b.DayFile; });
}

void TSdsSession::TState::Flush() {
  if (Waiting.empty()) return;
  std::set<std::pair<std::string, std::string>> stations;
  std::vector<TDayFile*> files;  // in path order
  for (auto& [relative, file] : Files) {
    if (file.Waiting.empty()) continue;
    files.push_back(&file);
    const TChannelCodes& codes = file.Codes[static_cast<size_t>(file.Waiting.front().Codes)];
    stations.emplace(codes.Network, codes.Station);
  }
  const auto locks = Lock(stations);

  // Per insertion and day file: the hash of its records' bytes as written, their starts.
  struct TWritten {
    TSha256 Hash;
    std::vector<int64_t> Starts;
    TChannelCodes Codes;
  };
  std::map<int32_t, std::map<std::string, TWritten>> written;
  std::vector<std::pair<TDayFile*, std::vector<TIndexed>>> indexes;  // once committed
  TFiling filing(Root);
  try {
    for (TDayFile* file : files) {
      filing.MakeDirectories(fs::path(file->Relative).parent_path().string());
      Check(*file);
      // Another writer may have filed some of them since.
      std::vector<TIndexed> waiting;
      for (const TIndexed& record : file->Waiting) {
        if (file->Holds(file->Records, record, file->Codes[static_cast<size_t>(record.Codes)])) {
          TSdsInsertResult& insertion = Waiting[record.Insertion];
          --insertion.RecordsWritten;
          ++insertion.RecordsPresent;
        } else {
          waiting.push_back(record);
        }
      }
      if (waiting.empty()) continue;

      // The day file's records and the waiting ones in time order, a day file's first where
      // they start at the same time.
      struct TPiece {
        const TIndexed* Record;
        bool Waiting;
      };
      std::vector<TPiece> pieces;
      pieces.reserve(file->Records.size() + waiting.size());
      auto old = file->Records.begin();
      for (const TIndexed& record : waiting) {
        while (old != file->Records.end() && old->Start <= record.Start) {
          pieces.push_back({&*old++, false});
        }
        pieces.push_back({&record, true});
      }
      for (; old != file->Records.end(); ++old) pieces.push_back({&*old, false});

      std::vector<TIndexed> index;
      index.reserve(pieces.size());
      std::unique_ptr<TReading> reading;
      if (file->Exists) reading = std::make_unique<TReading>(file->Path);
      filing.Replace(file->Path, file->Exists, [&](platform::TRecordFile& to) {
        std::vector<char> buffer;
        int64_t offset = 0;
        for (size_t p = 0; p < pieces.size();) {
          // Consecutive pieces of one source, one after another there, in one go.
          const TPiece first = pieces[p];
          int64_t length = first.Record->Length;
          size_t q = p + 1;
          while (q < pieces.size() && pieces[q].Waiting == first.Waiting &&
                 pieces[q].Record->Insertion == first.Record->Insertion &&
                 pieces[q].Record->Offset == first.Record->Offset + length &&
                 length < (1 << 20)) {
            length += pieces[q].Record->Length;
            ++q;
          }
          buffer.resize(static_cast<size_t>(length));
          if (first.Waiting) {
            Store.Read(first.Record->Offset, buffer.size(), buffer.data());
            TWritten& mine = written[first.Record->Insertion][file->Relative];
            mine.Codes = file->Codes[static_cast<size_t>(first.Record->Codes)];
            mine.Hash.Update(buffer.data(), buffer.size());
            for (size_t r = p; r < q; ++r) mine.Starts.push_back(pieces[r].Record->Start);
          } else {
            TStore::ReadFully(reading->Handle, first.Record->Offset, buffer.size(), buffer.data(),
                              file->Path);
          }
          to.Write(buffer.data(), length);
          for (size_t r = p; r < q; ++r) {
            TIndexed record = *pieces[r].Record;
            record.Offset = offset;
            record.Insertion = 0;
            offset += record.Length;
            index.push_back(record);
          }
          p = q;
        }
      });
      indexes.emplace_back(file, std::move(index));
    }
    filing.Commit();
  } catch (...) {
    filing.Undo();
    for (TDayFile* file : files) Unindex(*file);
    DropWaiting();
    throw;
  }
  for (auto& [file, index] : indexes) {
    Indexed += index.size() - file->Records.size();
    file->Records = std::move(index);
    Restat(*file);
  }
  for (auto& [id, insertion] : Waiting) {
    insertion.Durable = true;
    insertion.FilesWritten = 0;
    for (auto& [relative, mine] : written[id]) {
      TSdsFiledChannel& channel = insertion.Channels.emplace_back();
      channel.DayFile = relative;
      channel.Codes = std::move(mine.Codes);
      channel.RecordStarts = std::move(mine.Starts);
      channel.RecordCount = static_cast<int>(channel.RecordStarts.size());
      channel.Sha256 = mine.Hash.FinalHex();
      ++insertion.FilesWritten;
    }
    Filed.push_back(std::move(insertion));
  }
  Waiting.clear();
  DropWaiting();
  Trim();
}

void TSdsSession::TState::DropWaiting() {
  for (auto& [relative, file] : Files) {
    file.Waiting.clear();
    file.Waiting.shrink_to_fit();
  }
  Waiting.clear();
  WaitingRecords = 0;
  Store.Clear();
}

TSdsSession::TSdsSession(std::string root) : State(std::make_unique<TState>(std::move(root))) {}

TSdsSession::~TSdsSession() = default;

TSdsInsertResult TSdsSession::TState::Insert(const TSource& source) {
  TSdsInsertResult result = Insertion(source);
  // The bounds of the batch: past them it is written at once, its insertions then durable.
  if (!result.Durable && (WaitingRecords > WaitingRecordsKept ||
                          (Store.InMemoryOnly() && Store.Bytes() > WaitingBytesInMemory))) {
    Flush();
  }
  return result;
}

TSdsInsertResult TSdsSession::Insert(std::string_view records) {
  return State->Insert(TSource(records));
}

TSdsInsertResult TSdsSession::Insert(TSdsRecords& records) {
  records.Spool();
  if (records.File.Size() > 0) {
    return State->Insert(TSource(records.File.Descriptor(), records.File.Directory()));
  }
  return State->Insert(TSource(records.Memory));
}

TSdsRecords::TSdsRecords(std::string root) : Root(std::move(root)) {}

TSdsRecords::~TSdsRecords() = default;

void TSdsRecords::Append(const char* bytes, size_t length) {
  if (Memory.size() + length > MemoryBytes && !NoFile) {
    if (!File.IsOpen()) {
      // The archive's root may not be there before its first records: the nearest directory
      // above it that is, most likely on the same file system.
      fs::path directory = Root.empty() ? fs::path(".") : fs::path(Root);
      for (;;) {
        if (File.Open(directory.string()) || errno != ENOENT || !directory.has_relative_path()) {
          break;
        }
        fs::path parent = directory.parent_path();
        if (parent.empty()) parent = ".";
        if (parent == directory) break;
        directory = std::move(parent);
      }
      NoFile = !File.IsOpen();
    }
    Spool();
  }
  Memory.append(bytes, length);
}

void TSdsRecords::Spool() {
  if (!File.IsOpen() || Memory.empty()) return;
  File.Append(Memory);
  Memory.clear();
}

void TSdsRecords::Clear() {
  Memory.clear();
  if (Memory.capacity() > MemoryBytes) Memory.shrink_to_fit();
  // A spool that cannot be emptied is dropped; the next records open another.
  if (File.Size() > 0) File.Clear();
}

void TSdsSession::Flush() {
  State->Flush();
}

std::vector<TSdsInsertResult> TSdsSession::TakeFiled() {
  return std::exchange(State->Filed, {});
}

bool TSdsSession::Waiting() const {
  return !State->Waiting.empty();
}

TSdsArchive::TSdsArchive(std::string root) : Session(std::move(root)) {}

std::string TSdsArchive::DayFilePath(const TChannelCodes& codes, int year, int dayOfYear) {
  const std::string yearText = DecimalText(year, 4);
  return yearText + "/" + codes.Network + "/" + codes.Station + "/" + codes.Channel + ".D/" +
         codes.Network + "." + codes.Station + "." + codes.Location + "." + codes.Channel + ".D." +
         yearText + "." + DecimalText(dayOfYear, 3);
}

TSdsInsertResult TSdsArchive::Insert(std::string_view records) {
  TSdsInsertResult result = Session.Insert(records);
  if (result.Durable) return result;
  Session.Flush();
  for (TSdsInsertResult& filed : Session.TakeFiled()) {
    if (filed.Id == result.Id) result = std::move(filed);
  }
  return result;
}

TSdsRecordState TSdsArchive::CheckFiled(const std::string& root, const TSdsFiledChannel& filed) {
  const std::string path = (fs::path(root) / filed.DayFile).string();
  const std::set<int64_t> wanted(filed.RecordStarts.begin(), filed.RecordStarts.end());
  size_t found = 0;
  TSha256 hash;
  try {
    if (EntryAt(path) != TEntry::File) return TSdsRecordState::Missing;
    const TReading reading(path);
    ScanRecords(reading.Handle, path, [&](const TRecordInfo& record, int64_t /*offset*/) {
      if (record.Codes == filed.Codes && wanted.count(record.Start) != 0) {
        hash.Update(record.Bytes);
        ++found;
      }
    });
  } catch (const ESeedError&) {
    return TSdsRecordState::Changed;
  }
  if (found == 0) return TSdsRecordState::Missing;
  if (found != filed.RecordStarts.size() || static_cast<int>(found) != filed.RecordCount ||
      hash.FinalHex() != filed.Sha256) {
    return TSdsRecordState::Changed;
  }
  return TSdsRecordState::Intact;
}

}  // namespace seed
