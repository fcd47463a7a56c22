#include "ui/WindowCalls.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace WindowCalls {

namespace {

std::mutex Mutex;
std::condition_variable Arrived;
std::deque<std::function<void()>> Queue;

bool OnWindowThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

// Takes the oldest queued call; false when none is queued.
bool TakeCall(std::function<void()>& call) {
  std::lock_guard lock(Mutex);
  if (Queue.empty()) return false;
  call = std::move(Queue.front());
  Queue.pop_front();
  return true;
}

void DeliverQueued() {
  std::function<void()> call;
  while (TakeCall(call)) call();
}

}  // namespace

void Post(std::function<void()> call) {
  if (OnWindowThread()) {
    call();
    return;
  }
  {
    std::lock_guard lock(Mutex);
    Queue.push_back(std::move(call));
  }
  Arrived.notify_all();
  // The event loop delivers it unless a waiting window thread took it first.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &DeliverQueued, Qt::QueuedConnection);
}

void Invoke(const std::function<void()>& call) {
  if (OnWindowThread()) {
    call();
    return;
  }
  struct TDone {
    std::mutex Mutex;
    std::condition_variable Signal;
    bool Done = false;
    std::exception_ptr Error;
  };
  auto done = std::make_shared<TDone>();
  Post([&call, done] {
    std::exception_ptr error;
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(done->Mutex);
      done->Done = true;
      done->Error = error;
    }
    done->Signal.notify_all();
  });
  std::unique_lock lock(done->Mutex);
  done->Signal.wait(lock, [&] { return done->Done; });
  if (done->Error) std::rethrow_exception(done->Error);
}

void ServeUntil(const std::function<bool()>& done) {
  for (;;) {
    std::function<void()> call;
    {
      std::unique_lock lock(Mutex);
      Arrived.wait(lock, [&] { return !Queue.empty() || done(); });
      if (Queue.empty()) return;
      call = std::move(Queue.front());
      Queue.pop_front();
    }
    call();
  }
}

}  // namespace WindowCalls
