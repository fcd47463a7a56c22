#include "download/WriterLane.h"

TWorkQueue::~TWorkQueue() {
  {
    std::lock_guard lock(Mutex);
    Quit = true;
  }
  Wake.notify_all();
  if (Thread.joinable()) Thread.join();
}

void TWorkQueue::Push(std::function<void()> work) {
  {
    std::lock_guard lock(Mutex);
    if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    Todo.push_back(std::move(work));
  }
  Wake.notify_all();
}

bool TWorkQueue::CollectOldest(bool wait, std::exception_ptr& error) {
  std::unique_lock lock(Mutex);
  if (wait) Done.wait(lock, [this] { return !Finished.empty() || (Todo.empty() && !Busy); });
  if (Finished.empty()) return false;
  error = std::move(Finished.front());
  Finished.pop_front();
  if (Finished.empty() && Todo.empty() && !Busy) Raised = nullptr;
  return true;
}

void TWorkQueue::Run() {
  std::unique_lock lock(Mutex);
  for (;;) {
    // What was given is done before the thread ends.
    Wake.wait(lock, [this] { return Quit || !Todo.empty(); });
    if (Todo.empty()) return;
    std::function<void()> work = std::move(Todo.front());
    Todo.pop_front();
    if (Raised) {
      Finished.push_back(Raised);
      Done.notify_all();
      continue;
    }
    Busy = true;
    lock.unlock();
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    work = nullptr;
    lock.lock();
    Busy = false;
    if (error) Raised = error;
    Finished.push_back(error);
    Done.notify_all();
  }
}
