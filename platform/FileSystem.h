#pragma once
// Paths, directories and the program's own location.

#include <string>
#include <vector>

namespace platform {

// The platform's directory separator.
#ifdef _WIN32
constexpr char PathDelim = '\\';
#else
constexpr char PathDelim = '/';
#endif

// True when the attributes of the path can be read: a file or a directory of that name exists.
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates one directory; false when it could not be created (it may exist already).
bool MakeDirectory(const std::string& path);
// Renames a file, replacing the target; false on failure (errno tells why).
bool RenameFile(const std::string& from, const std::string& to);
// True when files may be created in the directory.
bool DirectoryWritable(const std::string& path);

// The entry of `directory` whose name equals `name` in any letter case, as a full path; a
// copied card may hold FICHBASE.DAT. When none exists, the path with `name` as given.
std::string FindCaseInsensitive(const std::string& directory, const std::string& name);

// Names of the entries of a directory ("." and ".." left out); empty when unreadable.
std::vector<std::string> ListDirectory(const std::string& directory);

std::string ExecutablePath();
std::string CurrentDirectory();
std::string HomeDirectory();
// $XDG_CONFIG_HOME/readtarq, or ~/.config/readtarq.
std::string UserConfigDirectory();

}  // namespace platform
