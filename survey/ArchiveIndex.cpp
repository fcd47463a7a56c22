#include "survey/ArchiveIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <unordered_map>
#include <utility>

#include "survey/RecordHeader.h"

namespace survey {

namespace {

// Deeper than any SDS archive: a tree this deep is taken for a loop.
constexpr int DeepestLevel = 24;
// The step at which a damaged file is searched for its next record: every record of
// version 2 is a power of two of at least 128 bytes, so records begin at multiples of it.
constexpr int64_t SearchStep = 128;

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

class TWalker {
 public:
  explicit TWalker(std::vector<TArchiveProblem>& problems) : Problems(problems) {}

  void Walk(const std::string& directory, int level) {
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) {
      Problems.push_back({directory, std::string("cannot read the directory: ") +
                                         std::strerror(errno)});
      return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) Visit(JoinPath(directory, name), name, level);
  }

  bool Enter(const std::string& directory) {
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0) return false;
    return Visited.insert({info.st_dev, info.st_ino}).second;
  }

  std::vector<std::string> Files;

 private:
  void Visit(const std::string& path, const std::string& name, int level) {
    if (name[0] == '.') return;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      const int error = errno;
      if (error == ELOOP) {
        Problems.push_back({path, "symbolic link loop: skipped"});
      } else if (error == ENOENT) {
        Problems.push_back({path, "symbolic link to nothing: skipped"});
      } else {
        Problems.push_back({path, std::string("cannot read: ") + std::strerror(error)});
      }
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      if (!Visited.insert({info.st_dev, info.st_ino}).second) {
        Problems.push_back({path, "symbolic link loop (directory already read): skipped"});
      } else if (level >= DeepestLevel) {
        Problems.push_back({path, "directory too deep: skipped"});
      } else {
        Walk(path, level + 1);
      }
      return;
    }
    if (!S_ISREG(info.st_mode)) {
      Problems.push_back({path, "not a regular file: skipped"});
      return;
    }
    if (!IsDayFileName(name)) {
      Problems.push_back({path, "not a day file of the SDS layout: skipped"});
      return;
    }
    Files.push_back(path);
  }

  std::vector<TArchiveProblem>& Problems;
  std::set<std::pair<dev_t, ino_t>> Visited;
};

// Reads a file by windows: a small read per record header, or larger blocks when the records
// are small, so that a header costs about one read whatever the record length.
class TFileWindow {
 public:
  TFileWindow(int handle, int64_t size) : Handle(handle), Size(size) {}

  // The bytes [offset, offset + count), count clipped to the file's end; null on a read error
  // (errno tells why).
  const unsigned char* At(int64_t offset, size_t& count, size_t readAhead) {
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), Size - offset));
    if (offset >= First && offset + static_cast<int64_t>(count) <= First + Filled) {
      return Buffer.data() + (offset - First);
    }
    const size_t want = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(std::max(count, readAhead)), Size - offset));
    Buffer.resize(std::max(Buffer.size(), want));
    size_t filled = 0;
    while (filled < want) {
      const ssize_t got = ::pread(Handle, Buffer.data() + filled, want - filled,
                                  static_cast<off_t>(offset + static_cast<int64_t>(filled)));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return nullptr;
      if (got == 0) break;
      filled += static_cast<size_t>(got);
    }
    First = offset;
    Filled = static_cast<int64_t>(filled);
    count = std::min(count, filled);
    return Buffer.data();
  }

 private:
  int Handle;
  int64_t Size;
  std::vector<unsigned char> Buffer;
  int64_t First = 0;
  int64_t Filled = 0;
};

class TFileScanner {
 public:
  TFileScanner(TArchiveIndex& index, std::unordered_map<std::string, size_t>& channels)
      : Index(index), ChannelOf(channels) {}

  void Scan(uint32_t fileNumber) {
    const std::string& path = Index.Files[fileNumber];
    const int handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (handle < 0) {
      Report(path, std::string("cannot open: ") + std::strerror(errno));
      return;
    }
    struct stat info {};
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
      Report(path, "not a regular file: skipped");
      ::close(handle);
      return;
    }
    TFileWindow window(handle, info.st_size);
    ScanRecords(window, info.st_size, fileNumber);
    ::close(handle);
  }

 private:
  void Report(const std::string& path, std::string text) {
    Index.Problems.push_back({path, std::move(text)});
  }

  // The header at `offset`, reading more when its blockettes lie further.
  THeaderRead ReadAt(TFileWindow& window, int64_t offset, int64_t size, bool& readError) {
    size_t count = HeaderProbeBytes;
    const unsigned char* bytes = window.At(offset, count, ReadAhead);
    readError = bytes == nullptr;
    if (readError) return {};
    THeaderRead read = ReadRecordHeader(bytes, count);
    if (read.Kind == THeaderRead::TKind::NeedMore && offset + int64_t(read.Needed) <= size) {
      count = read.Needed;
      bytes = window.At(offset, count, ReadAhead);
      readError = bytes == nullptr;
      if (readError) return {};
      read = ReadRecordHeader(bytes, count);
    }
    return read;
  }

  // A version 2 record without blockette 1000 ends where the next record begins.
  int64_t FindLength(TFileWindow& window, int64_t offset, int64_t size) {
    for (int64_t length = 128; length <= 65536; length *= 2) {
      if (offset + length == size) return length;
      if (offset + length > size) return 0;
      size_t count = 48;
      const unsigned char* bytes = window.At(offset + length, count, ReadAhead);
      if (bytes && LooksLikeRecordStart(bytes, count)) return length;
    }
    return 0;
  }

  // The next offset after `offset` where a readable header begins; `size` when none.
  int64_t NextRecord(TFileWindow& window, int64_t offset, int64_t size) {
    for (int64_t at = (offset / SearchStep + 1) * SearchStep; at < size; at += SearchStep) {
      bool readError = false;
      const THeaderRead read = ReadAt(window, at, size, readError);
      if (readError) return size;
      if (read.Kind == THeaderRead::TKind::Header) return at;
    }
    return size;
  }

  void ScanRecords(TFileWindow& window, int64_t size, uint32_t fileNumber) {
    const std::string& path = Index.Files[fileNumber];
    int64_t offset = 0;
    int good = 0;
    while (offset < size) {
      bool readError = false;
      const THeaderRead read = ReadAt(window, offset, size, readError);
      if (readError) {
        Report(path, "byte " + std::to_string(offset) + ": read error (" +
                         std::strerror(errno) + "); the rest of the file skipped");
        return;
      }
      if (read.Kind == THeaderRead::TKind::NeedMore && good == 0 && offset == 0) {
        Report(path, "too short for a miniSEED record: skipped");
        return;
      }
      if (read.Kind == THeaderRead::TKind::NeedMore) {
        Report(path, "byte " + std::to_string(offset) + ": truncated record header; skipped");
        return;
      }
      if (read.Kind == THeaderRead::TKind::Invalid) {
        Skip(window, path, offset, size, good == 0 && offset == 0 && !LooksLikeStart(window),
             read.Problem);
        continue;
      }
      TRecordHeader header = read.Header;
      if (header.Length == 0) header.Length = FindLength(window, offset, size);
      if (header.Length == 0) {
        Skip(window, path, offset, size, false, "record length unknown (no blockette 1000)");
        continue;
      }
      if (header.Length < 40 || header.DataOffset > header.Length) {
        Skip(window, path, offset, size, false, "impossible record length");
        continue;
      }
      if (offset + header.Length > size) {
        Report(path, "byte " + std::to_string(offset) + ": truncated record (" +
                         std::to_string(size - offset) + " of " +
                         std::to_string(header.Length) + " bytes); skipped");
        return;
      }
      if (header.Length <= 1024) ReadAhead = 65536;
      Add(header, offset, fileNumber);
      ++good;
      offset += header.Length;
    }
  }

  bool LooksLikeStart(TFileWindow& window) {
    size_t count = 48;
    const unsigned char* bytes = window.At(0, count, ReadAhead);
    return bytes && LooksLikeRecordStart(bytes, count);
  }

  // Reports the bad record at `offset` and moves `offset` to the next readable one.
  void Skip(TFileWindow& window, const std::string& path, int64_t& offset, int64_t size,
            bool notMiniSeed, const std::string& problem) {
    if (notMiniSeed) {
      Report(path, "not a miniSEED file: skipped");
      offset = size;
      return;
    }
    const int64_t next = NextRecord(window, offset, size);
    std::string text = "byte " + std::to_string(offset) + ": " + problem + "; ";
    text += next < size ? "skipped to the record at byte " + std::to_string(next)
                        : "the rest of the file skipped";
    Report(path, text);
    offset = next;
  }

  void Add(const TRecordHeader& header, int64_t offset, uint32_t fileNumber) {
    if (header.Samples == 0) return;  // a log record: no samples to survey
    auto [place, inserted] = ChannelOf.try_emplace(header.Id, Index.Channels.size());
    if (inserted) Index.Channels.push_back({header.Id, {}});
    TRecordEntry entry;
    entry.Start = header.Start;
    entry.End = header.End();
    entry.Offset = offset;
    entry.File = fileNumber;
    entry.Length = static_cast<uint32_t>(header.Length);
    entry.Samples = static_cast<uint32_t>(header.Samples);
    entry.Rate = header.Rate;
    Index.Channels[place->second].Records.push_back(entry);
    ++Index.RecordCount;
  }

  TArchiveIndex& Index;
  std::unordered_map<std::string, size_t>& ChannelOf;
  size_t ReadAhead = HeaderProbeBytes;
};

}  // namespace

void ThrowIfCancelled(const TSurveyProgress* progress) {
  if (progress && progress->Cancelled()) throw ESurveyCancelled();
}

bool IsDayFileName(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t dot = name.find('.', start);
    parts.push_back(name.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 7) return false;
  auto digits = [](std::string_view text, size_t count) {
    return text.size() == count &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return !parts[0].empty() && !parts[1].empty() && !parts[3].empty() && parts[4].size() == 1 &&
         digits(parts[5], 4) && digits(parts[6], 3);
}

std::vector<std::string> FindDayFiles(const std::string& root,
                                      std::vector<TArchiveProblem>& problems) {
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    throw EArchiveError("Cannot read the archive " + root + ": not a directory");
  }
  TWalker walker(problems);
  walker.Enter(root);
  walker.Walk(root, 0);
  return std::move(walker.Files);
}

TArchiveIndex IndexArchive(const std::string& root, TSurveyProgress* progress) {
  TArchiveIndex index;
  index.Root = root;
  index.Files = FindDayFiles(root, index.Problems);
  std::unordered_map<std::string, size_t> channels;
  TFileScanner scanner(index, channels);
  const int64_t total = static_cast<int64_t>(index.Files.size());
  for (uint32_t i = 0; i < index.Files.size(); ++i) {
    if (progress) progress->Step("headers", i, total, index.Files[i]);
    ThrowIfCancelled(progress);
    scanner.Scan(i);
  }
  if (progress) progress->Step("headers", total, total, "");
  std::sort(index.Channels.begin(), index.Channels.end(),
            [](const TChannelRecords& a, const TChannelRecords& b) { return a.Id < b.Id; });
  for (TChannelRecords& channel : index.Channels) {
    std::sort(channel.Records.begin(), channel.Records.end(),
              [](const TRecordEntry& a, const TRecordEntry& b) {
                return a.Start != b.Start ? a.Start < b.Start : a.End < b.End;
              });
  }
  return index;
}

}  // namespace survey
