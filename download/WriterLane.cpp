#include "download/WriterLane.h"

TWriterLane::~TWriterLane() {
  {
    std::unique_lock lock(Mutex);
    Wake.wait(lock, [this] { return !Busy; });
    Quit = true;
  }
  Wake.notify_all();
  if (Thread.joinable()) Thread.join();
}

void TWriterLane::Start(std::function<void()> work) {
  {
    std::lock_guard lock(Mutex);
    if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    Work = std::move(work);
    Busy = true;
  }
  Wake.notify_all();
}

void TWriterLane::Wait() {
  std::unique_lock lock(Mutex);
  Wake.wait(lock, [this] { return !Busy; });
  if (Error) std::rethrow_exception(std::exchange(Error, nullptr));
}

bool TWriterLane::Idle() {
  std::lock_guard lock(Mutex);
  return !Busy;
}

void TWriterLane::Run() {
  std::unique_lock lock(Mutex);
  for (;;) {
    Wake.wait(lock, [this] { return Quit || (Busy && Work); });
    if (Quit) return;
    std::function<void()> work = std::move(Work);
    Work = nullptr;
    lock.unlock();
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    Error = error;
    Busy = false;
    Wake.notify_all();
  }
}
