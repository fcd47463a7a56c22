#include "writers/OutputWriter.h"

#include <string_view>

TOutputWriter::~TOutputWriter() {
  {
    std::unique_lock lock(Mutex);
    Done.wait(lock, [this] { return Queue.empty() && !Busy; });
    Quit = true;
  }
  Wake.notify_all();
  if (Thread.joinable()) Thread.join();
}

TOutputWriter::TBufferPtr TOutputWriter::Acquire() {
  std::unique_lock lock(Mutex);
  Done.wait(lock, [this] { return Queue.size() < MaxQueued; });
  if (Free.empty()) return std::make_unique<TBuffer>();
  TBufferPtr buffer = std::move(Free.back());
  Free.pop_back();
  buffer->Used = 0;
  return buffer;
}

void TOutputWriter::Release(TBufferPtr buffer) {
  if (!buffer) return;
  std::lock_guard lock(Mutex);
  Free.push_back(std::move(buffer));
}

void TOutputWriter::RaiseError() {
  if (ErrorCode == 0) return;
  const int code = ErrorCode;
  const std::string file = ErrorFile;
  ErrorCode = 0;
  ErrorFile.clear();
  throw platform::EInOutError(code, file);
}

void TOutputWriter::Submit(platform::TRecordFile& file, TBufferPtr buffer) {
  {
    std::unique_lock lock(Mutex);
    if (ErrorCode != 0) {
      Free.push_back(std::move(buffer));
      RaiseError();
    }
    if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    Queue.push_back({&file, std::move(buffer)});
  }
  Wake.notify_one();
}

void TOutputWriter::Drain() {
  std::unique_lock lock(Mutex);
  Done.wait(lock, [this] { return Queue.empty() && !Busy; });
  RaiseError();
}

void TOutputWriter::Abandon() {
  std::unique_lock lock(Mutex);
  for (TJob& job : Queue) Free.push_back(std::move(job.Buffer));
  Queue.clear();
  Done.wait(lock, [this] { return !Busy; });
  ErrorCode = 0;
  ErrorFile.clear();
  Done.notify_all();
}

void TOutputWriter::Run() {
  std::unique_lock lock(Mutex);
  for (;;) {
    Wake.wait(lock, [this] { return Quit || !Queue.empty(); });
    if (Queue.empty()) return;
    TJob job = std::move(Queue.front());
    Queue.pop_front();
    // After an error the rest of the queue is dropped: the run ends and its files go.
    if (ErrorCode == 0) {
      Busy = true;
      lock.unlock();
      int code = 0;
      std::string name;
      try {
        platform::TRecordFile& file = *job.File;
        const TBuffer& buffer = *job.Buffer;
        if (file.RecordSize() == 0) {
          file.WriteText(std::string_view(buffer.Bytes.data(), buffer.Used));
        } else {
          file.Write(buffer.Bytes.data(), static_cast<int64_t>(buffer.Used) / file.RecordSize());
        }
      } catch (const platform::EInOutError& error) {
        code = error.Code();
        name = error.FileName();
      } catch (...) {
        code = platform::IoDataError;
        name = job.File->Name();
      }
      lock.lock();
      Busy = false;
      if (code != 0 && ErrorCode == 0) {
        ErrorCode = code;
        ErrorFile = name;
      }
    }
    Free.push_back(std::move(job.Buffer));
    Done.notify_all();
  }
}
