#pragma once
// Work on threads of the run's own. A queue runs pieces of work one after another while the run
// goes on: the events' files are flushed on one while the next events convert. A lane is a
// queue given one piece at a time and waited for before the run touches what that piece reads:
// the writers of an event share the frames with it.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// Runs the pieces of work given, one after another in their order, on a thread of its own,
// while the caller goes on; the caller collects them in the same order once they are done.
// Once a piece raised, those given after it are not run: each is collected with what it
// raised, until every piece given is collected.
class TWorkQueue {
 public:
  TWorkQueue() = default;
  ~TWorkQueue();  // runs what was given, then ends the thread
  TWorkQueue(const TWorkQueue&) = delete;
  TWorkQueue& operator=(const TWorkQueue&) = delete;

  void Push(std::function<void()> work);
  // The oldest piece given and not yet collected, when it is done (waited for when `wait`):
  // true, with what it raised in `error` (null when nothing). False when none is done, or
  // none is left to collect.
  bool CollectOldest(bool wait, std::exception_ptr& error);

 private:
  void Run();
  std::mutex Mutex;
  std::condition_variable Wake;  // work was given, or the thread must end
  std::condition_variable Done;  // a piece was done
  std::deque<std::function<void()>> Todo;
  std::deque<std::exception_ptr> Finished;  // done and not collected, in order
  std::exception_ptr Raised;                // by a piece not yet collected with the rest
  bool Busy = false;
  bool Quit = false;
  std::thread Thread;
};

// A queue given one piece of work at a time.
class TWriterLane {
 public:
  // Starts the work on the lane's thread; the work given before must have been waited for.
  void Start(std::function<void()> work) { Queue.Push(std::move(work)); }
  // Waits until the work is done; raises what it raised.
  void Wait() {
    std::exception_ptr error;
    if (Queue.CollectOldest(true, error) && error) std::rethrow_exception(error);
  }

 private:
  TWorkQueue Queue;
};
