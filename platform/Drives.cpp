#include "platform/Drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/FileSystem.h"

namespace platform {

namespace {

std::mutex TableMutex;
std::shared_ptr<TDriveTable> Installed;

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string WithSeparator(std::string path) {
  if (path.empty() || path.back() != PathDelim) path += PathDelim;
  return path;
}

// Mount points in /proc/self/mounts escape blanks and a few other characters as \ooo.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::isdigit(static_cast<unsigned char>(field[i + 1]))) {
      out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool UnderPrefix(const std::string& path, const std::string& prefix) {
  return path == prefix ||
         (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
          path[prefix.size()] == '/');
}

bool HoldsUserData(const std::string& type, const std::string& mountPoint) {
  if (UnderPrefix(mountPoint, "/media") || UnderPrefix(mountPoint, "/mnt") ||
      UnderPrefix(mountPoint, "/run/media")) {
    return true;
  }
  static const std::set<std::string> dataTypes = {
      "ext2", "ext3",  "ext4",    "xfs",     "btrfs", "vfat",     "msdos", "exfat",
      "ntfs", "ntfs3", "fuseblk", "f2fs",    "jfs",   "reiserfs", "zfs",   "nfs",
      "nfs4", "cifs",  "smb3",    "iso9660", "udf",   "hfsplus",  "9p",    "virtiofs"};
  if (!dataTypes.count(type)) return false;
  for (const char* system : {"/boot", "/proc", "/sys", "/dev", "/run", "/snap", "/var/lib"}) {
    if (UnderPrefix(mountPoint, system)) return false;
  }
  return true;
}

}  // namespace

int DriveNumber(char letter) {
  return std::toupper(static_cast<unsigned char>(letter)) - 'A' + 1;
}

std::string TDriveTable::RootOf(char letter) {
  for (const TDrive& drive : Drives()) {
    if (drive.Letter == Lower(letter)) return drive.Root;
  }
  return {};
}

std::optional<int> TDriveTable::DriveAt(const std::string& root) {
  if (root.empty()) return std::nullopt;
  const std::string wanted = WithSeparator(root);
  for (const TDrive& drive : Drives()) {
    if (drive.Root == wanted) return DriveNumber(drive.Letter);
  }
  return std::nullopt;
}

int64_t TDriveTable::TotalSizeAt(const std::string& root) {
  if (std::optional<int> drive = DriveAt(root)) return TotalSize(*drive);
  return FileSystemTotal(root);
}

int64_t TDriveTable::FreeSpaceAt(const std::string& root) {
  if (std::optional<int> drive = DriveAt(root)) return FreeSpace(*drive);
  return FileSystemFree(root);
}

int64_t FileSystemTotal(const std::string& path) {
  struct statvfs info {};
  if (path.empty() || ::statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_blocks) * static_cast<int64_t>(info.f_frsize);
}

int64_t FileSystemFree(const std::string& path) {
  struct statvfs info {};
  if (path.empty() || ::statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

std::vector<TDrive> TSystemDriveTable::Drives() {
  std::vector<TDrive> drives;
  drives.push_back({'c', "/", "c: /"});
  std::ifstream mounts("/proc/self/mounts");
  std::set<std::string> points;
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, point, type;
    if (!(fields >> device >> point >> type)) continue;
    point = UnescapeMountField(point);
    if (point == "/" || !HoldsUserData(type, point)) continue;
    points.insert(point);
  }
  char letter = 'd';
  for (const std::string& point : points) {  // std::set keeps mount points in order
    if (letter > 'z') break;
    drives.push_back({letter, WithSeparator(point), std::string(1, letter) + ": " + point});
    ++letter;
  }
  return drives;
}

char TSystemDriveTable::CurrentDrive() {
  std::string cwd = WithSeparator(CurrentDirectory());
  char best = 'c';
  size_t bestLength = 0;
  for (const TDrive& drive : Drives()) {
    if (cwd.compare(0, drive.Root.size(), drive.Root) == 0 && drive.Root.size() > bestLength) {
      best = drive.Letter;
      bestLength = drive.Root.size();
    }
  }
  return best;
}

int64_t TSystemDriveTable::TotalSize(int driveNumber) {
  char letter = static_cast<char>('a' + driveNumber - 1);
  return FileSystemTotal(RootOf(letter));
}

int64_t TSystemDriveTable::FreeSpace(int driveNumber) {
  char letter = static_cast<char>('a' + driveNumber - 1);
  return FileSystemFree(RootOf(letter));
}

int64_t TSystemDriveTable::TotalSizeAt(const std::string& root) {
  return FileSystemTotal(root);
}

int64_t TSystemDriveTable::FreeSpaceAt(const std::string& root) {
  return FileSystemFree(root);
}

void TMappedDriveTable::Map(const TMapping& mapping) {
  Unmap(mapping.Letter);
  TMapping m = mapping;
  m.Letter = Lower(m.Letter);
  Mappings.push_back(m);
  std::sort(Mappings.begin(), Mappings.end(),
            [](const TMapping& a, const TMapping& b) { return a.Letter < b.Letter; });
  if (!Current) Current = m.Letter;
}

void TMappedDriveTable::Unmap(char letter) {
  std::erase_if(Mappings, [&](const TMapping& m) { return m.Letter == Lower(letter); });
}

std::vector<TDrive> TMappedDriveTable::Drives() {
  std::vector<TDrive> drives;
  for (const TMapping& m : Mappings) {
    drives.push_back(
        {m.Letter, WithSeparator(m.Directory), std::string(1, m.Letter) + ": " + m.Directory});
  }
  return drives;
}

char TMappedDriveTable::CurrentDrive() {
  if (Current) return Current;
  return Mappings.empty() ? 'c' : Mappings.front().Letter;
}

const TMappedDriveTable::TMapping* TMappedDriveTable::Find(int driveNumber) const {
  for (const TMapping& m : Mappings) {
    if (DriveNumber(m.Letter) == driveNumber) return &m;
  }
  return nullptr;
}

namespace {
int64_t BytesIn(const std::string& directory) {
  int64_t total = 0;
  for (const std::string& name : ListDirectory(directory)) {
    struct stat info {};
    std::string path = WithSeparator(directory) + name;
    if (::stat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      total += BytesIn(path);
    } else {
      total += static_cast<int64_t>(info.st_size);
    }
  }
  return total;
}
}  // namespace

int64_t TMappedDriveTable::TotalSize(int driveNumber) {
  const TMapping* m = Find(driveNumber);
  if (!m) return -1;
  if (m->Capacity >= 0) return m->Capacity;
  if (m->Measure) return FileSystemTotal(m->Directory);
  return m->Total;
}

int64_t TMappedDriveTable::FreeSpace(int driveNumber) {
  const TMapping* m = Find(driveNumber);
  if (!m) return -1;
  if (m->Capacity >= 0) return std::max<int64_t>(0, m->Capacity - BytesIn(m->Directory));
  if (m->Measure) return FileSystemFree(m->Directory);
  return m->Free;
}

TDriveTable& DriveTable() {
  std::lock_guard lock(TableMutex);
  if (!Installed) Installed = std::make_shared<TSystemDriveTable>();
  return *Installed;
}

void SetDriveTable(std::shared_ptr<TDriveTable> table) {
  std::lock_guard lock(TableMutex);
  Installed = std::move(table);
}

}  // namespace platform
