#include "base/FileFlags.h"

#include <atomic>

#include "platform/IoError.h"

namespace WUtil {

namespace {
std::atomic<int> ProcessOpenMode{2};
}

TFileFlags& FileFlags() {
  thread_local TFileFlags flags;
  return flags;
}

int OpenMode() {
  return ProcessOpenMode.load();
}

bool OpenForReading(platform::TRecordFile& file, const std::string& path, int recordSize) {
  TFileFlags& flags = FileFlags();
  int code =
      file.Reset(path, recordSize,
                 recordSize == 0 ? platform::TOpenMode::ReadOnly : platform::TOpenMode::ReadWrite);
  if (code == platform::IoAccessDenied && recordSize > 0) {
    // Another program holds the file, or it is write-protected: read it all the same.
    code = file.Reset(path, recordSize, platform::TOpenMode::ReadOnly);
    ProcessOpenMode.store(66);
  }
  flags.IoResult = code;
  flags.IoOk = code == 0;
  flags.AtEof = flags.IoOk ? file.Eof() : true;
  return flags.IoOk;
}

bool OpenForWriting(platform::TRecordFile& file, const std::string& path, int recordSize) {
  TFileFlags& flags = FileFlags();
  int code = file.Rewrite(path, recordSize);
  flags.IoResult = code;
  flags.IoOk = code == 0;
  flags.AtEof = true;
  return flags.IoOk;
}

void CloseChecked(platform::TRecordFile& file) {
  const std::string name = file.Name();
  FileFlags().IoOk = false;
  int code = file.Close();
  if (code != 0) throw platform::ECloseError(code, name);
}

}  // namespace WUtil
