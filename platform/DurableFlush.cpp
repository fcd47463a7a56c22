#include "platform/DurableFlush.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/IoError.h"

namespace platform {

TSyncHook SyncHook = &SystemSync;

int SystemSync(int handle, const std::string&, bool directory) {
  int result;
  do {
    result = directory ? ::fsync(handle) : ::fdatasync(handle);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

namespace {

// Opens `path` read-only (a directory when asked), runs the hook on it and closes it.
void SyncPath(const std::string& path, bool directory) {
  int flags = O_RDONLY | O_CLOEXEC;
  if (directory) flags |= O_DIRECTORY;
  const int handle = ::open(path.c_str(), flags);
  if (handle < 0) throw EInOutError(IoCodeFromErrno(errno), path);
  const int error = SyncHook(handle, path, directory);
  ::close(handle);
  if (error != 0) throw EInOutError(IoCodeFromErrno(error), path);
}

}  // namespace

void SyncFile(const std::string& path) {
  SyncPath(path, false);
}

void SyncDirectory(const std::string& path) {
  SyncPath(path, true);
}

void SyncSavedFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> directories;
  for (const std::string& path : paths) {
    SyncFile(path);
    std::string directory = ParentDirectory(path);
    if (std::find(directories.begin(), directories.end(), directory) == directories.end()) {
      directories.push_back(std::move(directory));
    }
  }
  for (const std::string& directory : directories) SyncDirectory(directory);
}

std::string ParentDirectory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace platform
