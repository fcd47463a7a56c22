#pragma once
// The drive table: the drives present, each with a letter and a root directory, and the size
// and free space of a drive by number (A: = 1). A failed size query gives -1.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct TDrive {
  char Letter = 'c';     // lower case
  std::string Root;      // the drive's root directory, with its separator
  std::string ItemText;  // the text of the drive selector's item: letter, ":", then a name
};

class TDriveTable {
 public:
  virtual ~TDriveTable() = default;
  virtual std::vector<TDrive> Drives() = 0;
  // The drive of the current directory.
  virtual char CurrentDrive() = 0;
  virtual int64_t TotalSize(int driveNumber) = 0;
  virtual int64_t FreeSpace(int driveNumber) = 0;

  // The root of the drive with this letter (any case); empty when no such drive is present.
  std::string RootOf(char letter);
  // The number of the drive whose root is `root` (with or without its separator).
  std::optional<int> DriveAt(const std::string& root);
  // The size and free space of the drive whose root is `root`; for a directory that is no
  // drive's root, those of the file system that holds it (-1 on failure, and for no root).
  virtual int64_t TotalSizeAt(const std::string& root);
  virtual int64_t FreeSpaceAt(const std::string& root);
};

// Drive number of a letter: upper case letter - 'A' + 1.
int DriveNumber(char letter);

// The real drives of this computer. On POSIX systems c: is "/", every other mounted file
// system that holds user data gets the next letter in the order of its mount point, and
// whatever is mounted under /media, /mnt or /run/media is always a drive.
class TSystemDriveTable : public TDriveTable {
 public:
  std::vector<TDrive> Drives() override;
  char CurrentDrive() override;
  int64_t TotalSize(int driveNumber) override;
  int64_t FreeSpace(int driveNumber) override;
  // A drive's sizes are those of the file system at its root: no need to find the drive.
  int64_t TotalSizeAt(const std::string& root) override;
  int64_t FreeSpaceAt(const std::string& root) override;
};

// Letters mapped to directories, with sizes chosen by the caller. Tests use it, and the
// command-line tool uses it for a card given as a directory.
class TMappedDriveTable : public TDriveTable {
 public:
  struct TMapping {
    char Letter;
    std::string Directory;
    // Fixed sizes; -1 makes the query fail.
    int64_t Total = -1;
    int64_t Free = -1;
    // When Capacity >= 0 the drive is Capacity bytes large and its free space is Capacity
    // minus the bytes of the files in the directory, so that writing fills it up.
    int64_t Capacity = -1;
    // When true, Total and Free are those of the file system that holds the directory.
    bool Measure = false;
  };
  void Map(const TMapping& mapping);  // replaces a mapping of the same letter
  void Unmap(char letter);
  void SetCurrent(char letter) { Current = letter; }

  std::vector<TDrive> Drives() override;
  char CurrentDrive() override;
  int64_t TotalSize(int driveNumber) override;
  int64_t FreeSpace(int driveNumber) override;

 private:
  const TMapping* Find(int driveNumber) const;
  std::vector<TMapping> Mappings;
  char Current = 0;
};

// Size and free space of the file system holding a path (-1 on failure).
int64_t FileSystemTotal(const std::string& path);
int64_t FileSystemFree(const std::string& path);

// The drive table in use: the system's, unless one was installed.
TDriveTable& DriveTable();
void SetDriveTable(std::shared_ptr<TDriveTable> table);  // null restores the system's

}  // namespace platform
