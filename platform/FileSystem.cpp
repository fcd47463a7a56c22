#include "platform/FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
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

bool RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool DirectoryWritable(const std::string& path) {
  return DirectoryExists(path) && ::access(path.c_str(), W_OK) == 0;
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

std::string UserConfigDirectory() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    return std::string(xdg) + PathDelim + "readtarq";
  }
  return HomeDirectory() + PathDelim + ".config" + PathDelim + "readtarq";
}

}  // namespace platform
