#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#endif

namespace platform {

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeDirectory(const std::string& path) {
  if (path.empty()) return false;
#ifdef _WIN32
  return ::_mkdir(path.c_str()) == 0;
#else
  return ::mkdir(path.c_str(), 0777) == 0;
#endif
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string directory = path;
  while (directory.size() > 1 && directory.back() == PathDelim) directory.pop_back();
  const size_t last = directory.find_last_of(PathDelim);
  if (last != std::string::npos && last > 0) {
    if (!ForceDirectories(directory.substr(0, last))) return false;
  }
  MakeDirectory(directory);
  return DirectoryExists(directory);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::string FollowSymbolicLinks(const std::string& path) {
#ifdef _WIN32
  return path;
#else
  std::string current = path;
  // As many links as the system itself follows in one path before it gives up (ELOOP).
  for (int links = 0; links < 40; ++links) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) return current;
    target.resize(static_cast<size_t>(length));
    if (target[0] != PathDelim) {
      const size_t slash = current.rfind(PathDelim);
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  return path;
#endif
}

bool FileReadOnly(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return false;
#ifdef _WIN32
  return (info.st_mode & _S_IWRITE) == 0;
#else
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0;
#endif
}

bool DirectoryWritable(const std::string& path) {
  return DirectoryExists(path) && ::access(path.c_str(), W_OK) == 0;
}

bool IsSystemDirectory(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return path == "/bin" || path == "/sbin" || path == "/usr" || path.rfind("/usr/", 0) == 0;
#endif
}

std::vector<std::string> ListDirectory(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

std::string FindCaseInsensitive(const std::string& directory, const std::string& name) {
  std::string base = directory;
  if (!base.empty() && base.back() != PathDelim) base += PathDelim;
  if (PathExists(base + name)) return base + name;
  for (const std::string& entry : ListDirectory(directory)) {
    if (entry.size() == name.size() && ::strcasecmp(entry.c_str(), name.c_str()) == 0) {
      return base + entry;
    }
  }
  return base + name;
}

std::string ExecutablePath() {
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, n);
#else
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  buffer.resize(static_cast<size_t>(n));
  return buffer;
#endif
}

std::string CurrentDirectory() {
  std::string buffer(4096, '\0');
  if (!::getcwd(buffer.data(), buffer.size())) return {};
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
#ifdef _WIN32
  if (const char* profile = std::getenv("USERPROFILE"); profile && *profile) return profile;
#endif
  return CurrentDirectory();
}

namespace {

// $variable/readtarq, or ~/fallback/readtarq when the variable is unset or empty.
std::string XdgDirectory(const char* variable, const char* fallback) {
  if (const char* xdg = std::getenv(variable); xdg && *xdg) {
    return std::string(xdg) + PathDelim + "readtarq";
  }
  return HomeDirectory() + PathDelim + fallback + PathDelim + "readtarq";
}

}  // namespace

std::string UserConfigDirectory() {
  return XdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::string UserDataDirectory() {
  return XdgDirectory("XDG_DATA_HOME", ".local/share");
}

ENotRegularFile::ENotRegularFile(std::string fileName)
    : EInOutError(IoAccessDenied, std::move(fileName), "not a regular file") {}

int64_t RegularFileSize(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

int64_t ReadRegularFile(const std::string& path,
                        const std::function<void(const char* data, size_t size)>& consume) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) throw EInOutError(IoCodeFromErrno(errno), path);
  if (!S_ISREG(info.st_mode)) throw ENotRegularFile(path);
  // Swapped for something else since: still neither followed nor waited for.
  const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (handle < 0) {
    if (errno == ELOOP) throw ENotRegularFile(path);
    throw EInOutError(IoCodeFromErrno(errno), path);
  }
  struct THandle {
    int Value;
    ~THandle() { ::close(Value); }
  } owned{handle};
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) throw ENotRegularFile(path);
  std::vector<char> buffer(1 << 20);
  int64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(handle, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw EInOutError(IoCodeFromErrno(errno), path);
    if (got == 0) break;
    consume(buffer.data(), static_cast<size_t>(got));
    total += got;
  }
  return total;
}

}  // namespace platform
