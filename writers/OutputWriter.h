#pragma once
// Writes filled buffers to their output files on a thread of its own, so that decoding and
// formatting the next frames overlap with the system copying the last ones into its files.
// Buffers come from a pool; at most a few wait in the queue, so memory stays bounded. Writes
// to one file keep their order. A file must not be touched directly while buffers of it are
// queued (Drain first).

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/RecordFile.h"

class TOutputWriter {
 public:
  static constexpr size_t BufferBytes = 512 * 1024;
  struct TBuffer {
    std::vector<char> Bytes = std::vector<char>(BufferBytes);
    size_t Used = 0;
  };
  using TBufferPtr = std::unique_ptr<TBuffer>;

  TOutputWriter() = default;
  ~TOutputWriter();  // writes what is queued (errors ignored), then ends the thread
  TOutputWriter(const TOutputWriter&) = delete;
  TOutputWriter& operator=(const TOutputWriter&) = delete;

  // An empty buffer; waits while the queue is full.
  TBufferPtr Acquire();
  // Queues the buffer's Used bytes for the file: as text for a text file, else as whole
  // records. An input/output error of an earlier write is raised here (EInOutError).
  void Submit(platform::TRecordFile& file, TBufferPtr buffer);
  // Gives a buffer back unwritten.
  void Release(TBufferPtr buffer);
  // Waits until every queued buffer is written, then raises the first write error if any.
  void Drain();
  // Drops what is queued, waits for the operation in progress and
  // forgets any error: the files are being discarded.
  void Abandon();

 private:
  struct TJob {
    platform::TRecordFile* File = nullptr;
    TBufferPtr Buffer;
  };
  // Enough for a flush of every channel's SAC samples to leave the conversion going.
  static constexpr size_t MaxQueued = 8;

  void Run();
  void RaiseError();  // with the mutex held

  std::mutex Mutex;
  std::condition_variable Wake;  // a job was queued, or the thread must end
  std::condition_variable Done;  // a job was written
  std::deque<TJob> Queue;
  std::vector<TBufferPtr> Free;
  bool Busy = false;  // a write is in progress
  bool Quit = false;
  int ErrorCode = 0;
  std::string ErrorFile;
  std::thread Thread;
};
