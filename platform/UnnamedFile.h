#pragma once
// An unnamed file in a directory (O_TMPFILE): never seen under a name, and gone with the
// process whatever ends it, so that bytes set aside for a while (an event's records, a batch
// waiting for its rewrite) never stay behind. Bytes are appended and read back by offset.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class TUnnamedFile {
 public:
  TUnnamedFile() = default;
  ~TUnnamedFile();
  TUnnamedFile(const TUnnamedFile&) = delete;
  TUnnamedFile& operator=(const TUnnamedFile&) = delete;

  // Opens one in `directory`; false, with errno set, where none can be had (a file system
  // without unnamed files, a directory that is not there).
  bool Open(const std::string& directory);
  bool IsOpen() const { return Handle >= 0; }
  int Descriptor() const { return Handle; }
  const std::string& Directory() const { return Dir; }
  int64_t Size() const { return Bytes; }

  // Appends `bytes` at its end and returns where they start. Throws EInOutError naming the
  // directory (a write that makes no progress: ENOSPC).
  int64_t Append(std::string_view bytes);
  // Empties it for reuse; one that cannot be emptied is closed, to be opened again.
  void Clear();

 private:
  int Handle = -1;
  std::string Dir;
  int64_t Bytes = 0;
};

}  // namespace platform
