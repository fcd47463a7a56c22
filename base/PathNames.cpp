#include "base/PathNames.h"

#include "platform/FileSystem.h"

namespace WUtil {

using platform::PathDelim;

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty() || (path.size() == 2 && path[1] == ':')) return path + PathDelim;
  return path;
}

std::string WithoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path.substr(0, path.size() - 1);
  return path;
}

std::string DirectoryPart(const std::string& path) {
  size_t last = path.find_last_of(std::string(1, PathDelim) + ":");
  if (last == std::string::npos) return {};
  std::string dir = path.substr(0, last + 1);
  if (dir.back() == PathDelim) {
    const bool keep =
        dir.size() >= 2 && (dir[dir.size() - 2] == ':' || dir[dir.size() - 2] == PathDelim);
    if (!keep) dir.pop_back();
  }
  return dir;
}

}  // namespace WUtil
