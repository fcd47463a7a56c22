#include "platform/StagedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <random>
#include <set>
#include <string_view>

#include "platform/DurableFlush.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"

namespace platform {

namespace {

const std::string PartSuffix = ".readtarq-part";
const std::string LockSuffix = ".readtarq-lock";

std::string Join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name: "." then the parts.
std::string Hidden(std::initializer_list<std::string_view> parts) {
  std::string name(1, '.');
  for (std::string_view part : parts) name += part;
  return name;
}

std::string LockPath(const std::string& directory, const std::string& tag) {
  return Join(directory, Hidden({tag, LockSuffix}));
}

// The process and a random number: unique among the runs that may share a directory.
std::string NewTag() {
  std::random_device random;
  char text[64];
  char* end = std::to_chars(text, text + 20, static_cast<unsigned>(::getpid()), 16).ptr;
  *end++ = '-';
  for (int i = 0; i < 2; ++i) end = std::to_chars(end, end + 20, random(), 16).ptr;
  return std::string(text, end);
}

bool IsTag(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-')) return false;
  }
  return true;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The tag of one of our temporaries (".NAME.TAG.readtarq-part") or lock files
// (".TAG.readtarq-lock"); "" for any other name.
std::string TagOf(const std::string& name) {
  if (name.empty() || name[0] != '.') return {};
  if (EndsWith(name, LockSuffix)) {
    const std::string tag = name.substr(1, name.size() - 1 - LockSuffix.size());
    return IsTag(tag) ? tag : std::string();
  }
  if (!EndsWith(name, PartSuffix)) return {};
  const std::string stem = name.substr(0, name.size() - PartSuffix.size());
  const size_t dot = stem.find_last_of('.');
  if (dot == std::string::npos || dot <= 1) return {};
  const std::string tag = stem.substr(dot + 1);
  return IsTag(tag) ? tag : std::string();
}

// The handle still holds the file of that name (nobody removed it to make another).
bool StillNamed(int handle, const std::string& path) {
  struct stat byHandle {};
  struct stat byName {};
  return ::fstat(handle, &byHandle) == 0 && ::lstat(path.c_str(), &byName) == 0 &&
         byHandle.st_dev == byName.st_dev && byHandle.st_ino == byName.st_ino;
}

}  // namespace

int TStaging::Enter(const std::string& directory) {
  if (Locks.count(directory) != 0) return 0;
  // A lock file of ours that a cleaning run locked before we did (it took it for a crashed
  // run's) is given up for a new tag.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string tag = NewTag();
    const std::string path = LockPath(directory, tag);
    const int handle =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (handle < 0) {
      if (errno == EEXIST) continue;
      return IoCodeFromErrno(errno);
    }
    if (::flock(handle, LOCK_EX | LOCK_NB) == 0 && StillNamed(handle, path)) {
      Locks[directory] = {tag, handle};
      CleanStaleStaging(directory);
      return 0;
    }
    ::close(handle);
  }
  return IoCodeFromErrno(EEXIST);
}

void TStaging::Leave() {
  for (auto& [directory, lock] : Locks) {
    ::unlink(LockPath(directory, lock.Tag).c_str());
    ::close(lock.Handle);
  }
  Locks.clear();
}

std::string TStaging::StagedPath(const std::string& finalPath) const {
  const auto lock = Locks.find(ParentDirectory(finalPath));
  if (lock == Locks.end()) return {};
  return Join(lock->first, Hidden({BaseName(finalPath), ".", lock->second.Tag, PartSuffix}));
}

int TStaging::Create(TRecordFile& file, const std::string& finalPath, int recordSize) {
  if (const int code = Enter(ParentDirectory(finalPath))) return code;
  struct stat info {};
  if (::lstat(finalPath.c_str(), &info) == 0) return TRecordFile::NameTaken;
  return file.CreateNew(StagedPath(finalPath), recordSize);
}

int PublishStaged(const std::string& stagedPath, const std::string& finalPath) {
  if (::renameat2(AT_FDCWD, stagedPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) ==
      0) {
    return 0;
  }
  if (errno == EEXIST) return TRecordFile::NameTaken;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP) {
    return IoCodeFromErrno(errno);
  }
  // A file system without the exclusive rename: a second name, which cannot replace either,
  // then the temporary one removed (one left behind goes with the next cleaning).
  if (::link(stagedPath.c_str(), finalPath.c_str()) == 0) {
    ::unlink(stagedPath.c_str());
    return 0;
  }
  if (errno == EEXIST) return TRecordFile::NameTaken;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP) return IoCodeFromErrno(errno);
  // Nor hard links (some removable media): a rename right after the name was found free.
  struct stat info {};
  if (::lstat(finalPath.c_str(), &info) == 0) return TRecordFile::NameTaken;
  if (::rename(stagedPath.c_str(), finalPath.c_str()) == 0) return 0;
  return IoCodeFromErrno(errno);
}

void PublishDurably(const std::vector<std::string>& stagedPaths,
                    const std::vector<std::string>& finalPaths, size_t& published) {
  published = 0;
  for (size_t i = 0; i < stagedPaths.size(); ++i) {
    try {
      SyncFile(stagedPaths[i]);
    } catch (const EInOutError& error) {
      throw EInOutError(error.Code(), finalPaths[i]);
    }
  }
  std::vector<std::string> directories;
  for (size_t i = 0; i < stagedPaths.size(); ++i) {
    const int code = PublishStaged(stagedPaths[i], finalPaths[i]);
    if (code == TRecordFile::NameTaken) throw EInOutError(IoCodeFromErrno(EEXIST), finalPaths[i]);
    if (code != 0) throw EInOutError(code, finalPaths[i]);
    ++published;
    std::string directory = ParentDirectory(finalPaths[i]);
    if (std::find(directories.begin(), directories.end(), directory) == directories.end()) {
      directories.push_back(std::move(directory));
    }
  }
  for (const std::string& directory : directories) SyncDirectory(directory);
}

std::string FinalPathOf(const std::string& path) {
  const std::string name = BaseName(path);
  if (!EndsWith(name, PartSuffix) || TagOf(name).empty()) return path;
  const std::string stem = name.substr(0, name.size() - PartSuffix.size());
  return path.substr(0, path.size() - name.size()) + stem.substr(1, stem.find_last_of('.') - 1);
}

void CleanStaleStaging(const std::string& directory) {
  const std::vector<std::string> names = ListDirectory(directory);
  std::set<std::string> tags;
  for (const std::string& name : names) {
    std::string tag = TagOf(name);
    if (!tag.empty()) tags.insert(std::move(tag));
  }
  for (const std::string& tag : tags) {
    const std::string lockPath = LockPath(directory, tag);
    const int handle = ::open(lockPath.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    // A live staging holds its lock from before its first temporary until after its last, so
    // temporaries without a lock file are left over too.
    bool stale = handle < 0
                     ? errno == ENOENT
                     : ::flock(handle, LOCK_EX | LOCK_NB) == 0 && StillNamed(handle, lockPath);
    if (stale) {
      for (const std::string& name : names) {
        if (EndsWith(name, PartSuffix) && TagOf(name) == tag) {
          ::unlink(Join(directory, name).c_str());
        }
      }
      if (handle >= 0) ::unlink(lockPath.c_str());
    }
    if (handle >= 0) ::close(handle);
  }
}

}  // namespace platform
