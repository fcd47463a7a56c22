#pragma once
// Opening and closing files with one success flag per thread (IoOk, AtEof).

#include <string>

#include "platform/RecordFile.h"

namespace WUtil {

// Set by the file helpers, read by their callers, one set per thread.
struct TFileFlags {
  bool IoOk = false;  // the last open or create succeeded
  bool AtEof = true;  // the file just opened is at its end, or the open failed
  int IoResult = 0;   // the code of the last open or create
};
TFileFlags& FileFlags();
inline bool IoOk() {
  return FileFlags().IoOk;
}
inline bool AtEof() {
  return FileFlags().AtEof;
}

// The process-wide open mode of the run-time file layer: 2 (read and write) at start, 66 after
// a record file had to be opened read-only.
int OpenMode();

// Opens an existing file (recordSize 0: text). Where access to a record file is denied, it is
// opened read-only instead, and later opens use mode 66.
bool OpenForReading(platform::TRecordFile& file, const std::string& path, int recordSize);
// Creates or truncates a file.
bool OpenForWriting(platform::TRecordFile& file, const std::string& path, int recordSize);
// Closes the file. A failing close throws platform::ECloseError, which the programs treat as
// fatal; a failing flush of buffered writes throws EInOutError like any failing write.
void CloseChecked(platform::TRecordFile& file);

}  // namespace WUtil
