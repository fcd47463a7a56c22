#include "platform/RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#ifdef READTARQ_FAULT_SEAM
#include <mutex>
#include <thread>
#endif

#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace platform {

namespace {

constexpr size_t WriteBufferSize = 256 * 1024;
constexpr size_t TextReadChunk = 64 * 1024;
constexpr int NegativeSeekCode = 131;

#ifdef READTARQ_FAULT_SEAM
// The fault plan of test builds: every operation on a file asks it, under its lock.
std::mutex FaultMutex;
TFaultPlan Plan;
bool PlanActive = false;

bool PlanCovers(const std::string& path) {
  return PlanActive &&
         (Plan.PathContains.empty() || path.find(Plan.PathContains) != std::string::npos);
}

// Returns the code that an operation on path must fail with (0: none) for the simple faults.
int InjectedCode(const std::string& path, int TFaultPlan::*code) {
  std::lock_guard lock(FaultMutex);
  return PlanCovers(path) ? Plan.*code : 0;
}

// How many of `wanted` bytes may pass; -1 when no limit applies.
int64_t AllowedBytes(const std::string& path, int64_t TFaultPlan::*left, int64_t wanted) {
  std::lock_guard lock(FaultMutex);
  if (!PlanCovers(path) || Plan.*left < 0) return -1;
  int64_t allowed = std::min(wanted, Plan.*left);
  Plan.*left -= allowed;
  return allowed;
}

bool SeekAllowed(const std::string& path, int* code) {
  std::lock_guard lock(FaultMutex);
  if (!PlanCovers(path) || Plan.SeeksLeft < 0) return true;
  if (Plan.SeeksLeft == 0) {
    *code = Plan.SeekErrorCode;
    return false;
  }
  --Plan.SeeksLeft;
  return true;
}

// The code a read or write cut short by the plan fails with.
int PlannedCode(int TFaultPlan::*code) {
  std::lock_guard lock(FaultMutex);
  return Plan.*code;
}

// A read of `bytes` from path that started at `start` returns no earlier than a slow card
// would have delivered them.
void PaceRead(const std::string& path, std::chrono::steady_clock::time_point start, int64_t bytes) {
  int64_t rate = 0;
  int64_t latency = 0;
  {
    std::lock_guard lock(FaultMutex);
    if (!PlanCovers(path)) return;
    rate = Plan.ReadBytesPerSecond;
    latency = Plan.ReadLatencyMicros;
  }
  if (rate <= 0 && latency <= 0) return;
  const int64_t transfer = rate > 0 ? bytes * 1'000'000'000 / rate : 0;
  std::this_thread::sleep_until(start + std::chrono::microseconds(latency) +
                                std::chrono::nanoseconds(transfer));
}
#else
// Product builds: no plan, nothing to ask.
constexpr int InjectedCode(const std::string&, int TFaultPlan::*) {
  return 0;
}
constexpr int64_t AllowedBytes(const std::string&, int64_t TFaultPlan::*, int64_t) {
  return -1;
}
constexpr bool SeekAllowed(const std::string&, int*) {
  return true;
}
constexpr int PlannedCode(int TFaultPlan::*) {
  return 0;
}
constexpr void PaceRead(const std::string&, std::chrono::steady_clock::time_point, int64_t) {}
#endif

int LastCode() {
  return IoCodeFromErrno(errno);
}

}  // namespace

#ifdef READTARQ_FAULT_SEAM
void SetFaultPlan(const TFaultPlan& plan) {
  std::lock_guard lock(FaultMutex);
  Plan = plan;
  PlanActive = true;
}

void ClearFaultPlan() {
  std::lock_guard lock(FaultMutex);
  Plan = TFaultPlan{};
  PlanActive = false;
}
#endif

TRecordFile::~TRecordFile() {
  if (Handle >= 0) {
    try {
      FlushWrites();
    } catch (const EInOutError&) {
    }
    ::close(Handle);
  }
}

int TRecordFile::Reset(const std::string& path, int recordSize, TOpenMode mode) {
  if (Handle >= 0) Close();
  Path = path;
  RecSize = recordSize;
  BytePos = 0;
  Tap = nullptr;
  ReadBuffer.clear();
  ReadPos = 0;
  ReadAtEnd = false;
  if (int code = InjectedCode(path, &TFaultPlan::OpenErrorCode)) return code;
  if (mode == TOpenMode::ReadWrite) {
    if (int code = InjectedCode(path, &TFaultPlan::WriteAccessErrorCode)) return code;
  }
  if (path.empty()) return IoFileNotFound;
  int flags = (mode == TOpenMode::ReadOnly ? O_RDONLY : O_RDWR) | O_BINARY | O_CLOEXEC;
  int handle = ::open(path.c_str(), flags);
  if (handle < 0) return LastCode();
  struct stat info {};
  if (::fstat(handle, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(handle);
    return IoAccessDenied;
  }
  Handle = handle;
  return 0;
}

int TRecordFile::Rewrite(const std::string& path, int recordSize) {
  return Open(path, recordSize, O_TRUNC);
}

int TRecordFile::CreateNew(const std::string& path, int recordSize) {
  const int code = Open(path, recordSize, O_EXCL | O_NOFOLLOW);
  return code == IoCodeFromErrno(EEXIST) ? NameTaken : code;
}

int TRecordFile::Open(const std::string& path, int recordSize, int createFlags) {
  if (Handle >= 0) Close();
  Path = path;
  RecSize = recordSize;
  BytePos = 0;
  Tap = nullptr;
  ReadBuffer.clear();
  ReadPos = 0;
  ReadAtEnd = false;
  if (int code = InjectedCode(path, &TFaultPlan::CreateErrorCode)) return code;
  if (path.empty()) return IoFileNotFound;
  int handle = ::open(path.c_str(), O_RDWR | O_CREAT | createFlags | O_BINARY | O_CLOEXEC, 0666);
  if (handle < 0) return LastCode();
  Handle = handle;
  return 0;
}

void TRecordFile::CheckOpen() const {
  if (Handle < 0) throw EInOutError(103, Path);  // file not open
}

TReadResult TRecordFile::Read(void* buffer, int64_t records) {
  TReadResult result;
  if (Handle < 0) {
    result.Error = 103;
    return result;
  }
  try {
    FlushWrites();
  } catch (const EInOutError& e) {
    result.Error = e.Code();
    return result;
  }
#ifdef READTARQ_FAULT_SEAM
  const auto started = std::chrono::steady_clock::now();
#else
  constexpr std::chrono::steady_clock::time_point started{};
#endif
  const int recSize = RecSize > 0 ? RecSize : 1;
  int64_t wanted = records * recSize;
  int64_t limit = AllowedBytes(Path, &TFaultPlan::ReadBytesLeft, wanted);
  int64_t toRead = limit < 0 ? wanted : limit;
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < toRead) {
    ssize_t n = ::read(Handle, out + done, static_cast<size_t>(toRead - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      result.Error = LastCode();
      break;
    }
    if (n == 0) break;
    done += n;
  }
  PaceRead(Path, started, done);
  if (result.Error == 0 && limit >= 0 && limit < wanted && done == toRead) {
    result.Error = PlannedCode(&TFaultPlan::ReadErrorCode);
  }
  BytePos += done;
  result.Records = done / recSize;
  return result;
}

void TRecordFile::Write(const void* buffer, int64_t records) {
  CheckOpen();
  int64_t bytes = records * RecSize;
  int64_t limit = AllowedBytes(Path, &TFaultPlan::WriteBytesLeft, bytes);
  const char* in = static_cast<const char*>(buffer);
  int64_t toWrite = limit < 0 ? bytes : limit;
  if (toWrite > 0) {
    if (WriteBuffer.capacity() < WriteBufferSize) WriteBuffer.reserve(WriteBufferSize);
    if (WriteBuffer.size() + static_cast<size_t>(toWrite) > WriteBufferSize) FlushWrites();
    if (static_cast<size_t>(toWrite) >= WriteBufferSize) {
      int64_t done = 0;
      while (done < toWrite) {
        ssize_t n = ::write(Handle, in + done, static_cast<size_t>(toWrite - done));
        if (n < 0) {
          if (errno == EINTR) continue;
          throw EInOutError(LastCode(), Path);
        }
        done += n;
      }
    } else {
      WriteBuffer.insert(WriteBuffer.end(), in, in + toWrite);
    }
    if (Tap) Tap->Written(in, static_cast<size_t>(toWrite));
    BytePos += toWrite;
  }
  if (limit >= 0 && limit < bytes) {
    FlushWrites();
    throw EInOutError(PlannedCode(&TFaultPlan::WriteErrorCode), Path);
  }
}

void TRecordFile::FlushWrites() {
  if (WriteBuffer.empty() || Handle < 0) return;
  size_t done = 0;
  while (done < WriteBuffer.size()) {
    ssize_t n = ::write(Handle, WriteBuffer.data() + done, WriteBuffer.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int code = LastCode();
      WriteBuffer.clear();
      throw EInOutError(code, Path);
    }
    done += static_cast<size_t>(n);
  }
  WriteBuffer.clear();
}

void TRecordFile::Flush() {
  FlushWrites();
}

void TRecordFile::Seek(int64_t record) {
  CheckOpen();
  FlushWrites();
  int code = 0;
  if (!SeekAllowed(Path, &code)) throw EInOutError(code, Path);
  if (record < 0) throw EInOutError(NegativeSeekCode, Path);
  int64_t target = record * RecSize;
  if (::lseek(Handle, static_cast<off_t>(target), SEEK_SET) < 0)
    throw EInOutError(LastCode(), Path);
  BytePos = target;
  ReadBuffer.clear();
  ReadPos = 0;
  ReadAtEnd = false;
}

int64_t TRecordFile::Position() const {
  return RecSize > 0 ? BytePos / RecSize : BytePos;
}

int64_t TRecordFile::Size() {
  CheckOpen();
  FlushWrites();
  struct stat info {};
  if (::fstat(Handle, &info) != 0) throw EInOutError(LastCode(), Path);
  return RecSize > 0 ? static_cast<int64_t>(info.st_size) / RecSize : info.st_size;
}

bool TRecordFile::Eof() {
  if (Handle < 0) return true;
  if (RecSize == 0) {
    if (ReadPos < ReadBuffer.size()) return false;
    // Fill the buffer to look ahead.
    ReadBuffer.resize(TextReadChunk);
    ssize_t n;
    do {
      n = ::read(Handle, ReadBuffer.data(), TextReadChunk);
    } while (n < 0 && errno == EINTR);
    ReadBuffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    ReadPos = 0;
    return ReadBuffer.empty();
  }
  struct stat info {};
  if (::fstat(Handle, &info) != 0) return true;
  return BytePos >= info.st_size;
}

void TRecordFile::Truncate() {
  CheckOpen();
  FlushWrites();
  if (::ftruncate(Handle, static_cast<off_t>(BytePos)) != 0) throw EInOutError(LastCode(), Path);
}

bool TRecordFile::ReadLine(std::string& line) {
  line.clear();
  if (Handle < 0) return false;
  bool any = false;
  for (;;) {
    if (ReadPos >= ReadBuffer.size()) {
      ReadBuffer.resize(TextReadChunk);
      ssize_t n;
      do {
        n = ::read(Handle, ReadBuffer.data(), TextReadChunk);
      } while (n < 0 && errno == EINTR);
      ReadBuffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
      ReadPos = 0;
      if (ReadBuffer.empty()) return any;
    }
    auto begin = ReadBuffer.begin() + static_cast<std::ptrdiff_t>(ReadPos);
    auto newline = std::find(begin, ReadBuffer.end(), '\n');
    line.append(begin, newline);
    any = true;
    if (newline != ReadBuffer.end()) {
      ReadPos = static_cast<size_t>(newline - ReadBuffer.begin()) + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    ReadPos = ReadBuffer.size();
  }
}

void TRecordFile::WriteText(std::string_view text) {
  int saved = RecSize;
  RecSize = 1;
  try {
    Write(text.data(), static_cast<int64_t>(text.size()));
  } catch (...) {
    RecSize = saved;
    throw;
  }
  RecSize = saved;
}

void TRecordFile::WriteLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  WriteText(line);
}

int TRecordFile::Close() {
  if (Handle < 0) return 103;
  int handle = Handle;
  std::string path = Path;
  try {
    FlushWrites();
  } catch (...) {
    ::close(handle);
    Handle = -1;
    throw;
  }
  Handle = -1;
  int result = ::close(handle) == 0 ? 0 : LastCode();
  if (result == 0) result = InjectedCode(path, &TFaultPlan::CloseErrorCode);
  return result;
}

void TRecordFile::Erase(const std::string& path) {
  if (int code = InjectedCode(path, &TFaultPlan::DeleteErrorCode)) throw EInOutError(code, path);
  if (::unlink(path.c_str()) != 0) throw EInOutError(LastCode(), path);
}

void TRecordFile::EraseQuietly(const std::string& path) {
  try {
    Erase(path);
  } catch (const EInOutError&) {
  }
}

std::string ReadWholeFile(const std::string& path) {
  TRecordFile file;
  if (const int code = file.Reset(path, 1, TOpenMode::ReadOnly); code != 0) {
    throw EInOutError(code, path);
  }
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  const TReadResult read = file.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
  if (read.Error != 0) throw EInOutError(read.Error, path);
  bytes.resize(static_cast<size_t>(read.Records));
  file.Close();
  return bytes;
}

}  // namespace platform
