#pragma once
// Paths, directories and the program's own location.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/IoError.h"

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
// Creates the directory and any missing parents, level by level. True when the directory
// exists afterwards.
bool ForceDirectories(const std::string& path);
// Renames a file, replacing the target; false on failure (errno tells why).
bool RenameFile(const std::string& from, const std::string& to);
// The file a path names once its symbolic links are followed (each link's target, relative
// ones taken from the link's directory), so that replacing it keeps the links. A dangling
// link gives the path its target would have; a loop leaves the path as it is.
std::string FollowSymbolicLinks(const std::string& path);
// True when the file exists and must not be replaced: it has no write permission bit at all
// (as it is even for root, who could write it anyway), or this process may not write it.
bool FileReadOnly(const std::string& path);
// True when files may be created in the directory.
bool DirectoryWritable(const std::string& path);

// True for the directories a package manager installs programs into (/bin, /sbin and all
// under /usr): nothing of a user's may be written there, even by root.
bool IsSystemDirectory(const std::string& path);

// The entry of `directory` whose name equals `name` in any letter case, as a full path; a
// copied card may hold FICHBASE.DAT. When none exists, the path with `name` as given.
std::string FindCaseInsensitive(const std::string& directory, const std::string& name);

// Size of a regular file, -1 when there is none at the path (a symbolic link is none).
int64_t RegularFileSize(const std::string& path);

// Reads a regular file from start to end, handing each piece read to `consume`, and returns the
// number of bytes read. A symbolic link is not followed and anything but a regular file (a
// FIFO would block the read, a device could act on it) is not read: ENotRegularFile. A file
// that cannot be opened or read throws EInOutError with the run-time layer's code.
int64_t ReadRegularFile(const std::string& path,
                        const std::function<void(const char* data, size_t size)>& consume);

// The path names no regular file (a directory, a link, a FIFO, a device).
class ENotRegularFile : public EInOutError {
 public:
  explicit ENotRegularFile(std::string fileName);
};

// Names of the entries of a directory ("." and ".." left out); empty when unreadable.
std::vector<std::string> ListDirectory(const std::string& directory);

std::string ExecutablePath();
std::string CurrentDirectory();
std::string HomeDirectory();
// $XDG_CONFIG_HOME/readtarq, or ~/.config/readtarq.
std::string UserConfigDirectory();
// The program's directory of the user's data: $XDG_DATA_HOME/readtarq, else
// ~/.local/share/readtarq.
std::string UserDataDirectory();

}  // namespace platform
