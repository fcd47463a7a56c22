#pragma once
// Files of fixed-size records over the system's file handles.
//
// A record file is opened with a record size (0 for a text file). Reads return the whole
// records read, positions and sizes count records. Opening never throws: it returns the
// run-time layer's code (0 on success). A failing write, seek, size query, truncate or delete
// throws EInOutError. Writes go through a buffer, so a full disk may surface at a later write,
// a seek or the close; the buffered bytes are then lost with the error, as on any full disk.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IoError.h"
#include "platform/WriteTap.h"

namespace platform {

enum class TOpenMode { ReadWrite, ReadOnly };

struct TReadResult {
  int64_t Records = 0;  // whole records read
  int Error = 0;        // 0, or the code of the input/output error that ended the read
};

class TRecordFile {
 public:
  TRecordFile() = default;
  ~TRecordFile();  // closes an open file, ignoring errors
  TRecordFile(const TRecordFile&) = delete;
  TRecordFile& operator=(const TRecordFile&) = delete;

  // Opens an existing file. Returns 0 or the run-time layer's code.
  int Reset(const std::string& path, int recordSize, TOpenMode mode = TOpenMode::ReadWrite);
  // Creates a file, or truncates an existing one, for reading and writing.
  int Rewrite(const std::string& path, int recordSize);
  // Creates a new file for reading and writing, never opening what exists already: returns 0,
  // NameTaken when the name is taken (a file, a directory, a link, dangling or not), or the
  // run-time layer's code.
  int CreateNew(const std::string& path, int recordSize);
  static constexpr int NameTaken = -1;

  bool IsOpen() const { return Handle >= 0; }
  const std::string& Name() const { return Path; }
  int RecordSize() const { return RecSize; }

  // Record files.
  TReadResult Read(void* buffer, int64_t records);  // never throws
  void Write(const void* buffer, int64_t records);
  void Seek(int64_t record);
  int64_t Position() const;  // in records
  int64_t Size();            // in records
  bool Eof();
  void Truncate();  // the file ends at the current position (it may grow, sparse)

  // Text files: lines end with CR LF when written; CR LF or a lone LF when read.
  bool ReadLine(std::string& line);  // false at the end of the file
  void WriteText(std::string_view text);
  void WriteLine(std::string_view text);  // text + CR LF

  // Every byte accepted for writing from now on also goes to `tap` (null: none), in order, on
  // the writing thread. Opening the file again drops it.
  void SetTap(TWriteTap* tap) { Tap = tap; }

  // Writes what is buffered.
  void Flush();
  // Flushes (a failure throws, after the handle is closed) and closes. Returns 0 or the code
  // of a failing close.
  int Close();

  // Deletes a file; throws on failure.
  static void Erase(const std::string& path);
  // Deletes a file whose deletion may fail without harm (cleaning up after an error).
  static void EraseQuietly(const std::string& path);

 private:
  void FlushWrites();
  void CheckOpen() const;
  // Rewrite and CreateNew: O_CREAT with these flags besides.
  int Open(const std::string& path, int recordSize, int createFlags);
  std::string Path;
  int Handle = -1;
  int RecSize = 1;
  int64_t BytePos = 0;  // logical position, buffered bytes included
  std::vector<char> WriteBuffer;
  std::vector<char> ReadBuffer;  // text reading only
  size_t ReadPos = 0;
  bool ReadAtEnd = false;
  TWriteTap* Tap = nullptr;
};

// Fault injection for tests: makes operations on matching files fail as a full disk, a bad
// card or a refused close would. One plan for the process. Only test builds (the core library
// compiled with READTARQ_FAULT_SEAM) hold a plan; the programs' file operations ask none.
struct TFaultPlan {
  std::string PathContains = {};  // the plan applies to paths containing this (all when empty)
  int64_t WriteBytesLeft = -1;    // bytes that may still be written (-1: no fault)
  int WriteErrorCode = IoDiskFull;
  int64_t ReadBytesLeft = -1;  // bytes that may still be read (-1: no fault)
  int ReadErrorCode = IoDataError;
  // A slow card: each read of a matching file takes ReadLatencyMicros plus its bytes at
  // ReadBytesPerSecond (0: as fast as the file gives them), as a card reader would.
  int64_t ReadBytesPerSecond = 0;
  int64_t ReadLatencyMicros = 0;
  int SeeksLeft = -1;  // seeks that still succeed (-1: no fault)
  int SeekErrorCode = IoDataError;
  int OpenErrorCode = 0;         // Reset of a matching file fails with this code
  int WriteAccessErrorCode = 0;  // read-write Resets fail with it (a write-protected card)
  int CreateErrorCode = 0;       // Rewrite of a matching file fails with this code
  int CloseErrorCode = 0;        // closing a matching file fails with this code
  int DeleteErrorCode = 0;       // deleting a matching file fails with this code
};
// The bytes of a whole file; an input/output error throws EInOutError.
std::string ReadWholeFile(const std::string& path);

#ifdef READTARQ_FAULT_SEAM
void SetFaultPlan(const TFaultPlan& plan);
void ClearFaultPlan();
#endif

}  // namespace platform
