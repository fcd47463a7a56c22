#pragma once
// A second thread for the run: the writers of an event share the frames with it. The run hands
// it one piece of work at a time and waits for it before it touches what that work reads.
// And a queue of work on a thread of its own: the events' files are flushed on it, one event
// after another, while the next events convert.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

class TWriterLane {
 public:
  TWriterLane() = default;
  ~TWriterLane();
  TWriterLane(const TWriterLane&) = delete;
  TWriterLane& operator=(const TWriterLane&) = delete;

  // Starts the work on the lane's thread; the work given before must have been waited for.
  void Start(std::function<void()> work);
  // Waits until the work is done; raises what it raised.
  void Wait();
  // The work given last is done (or none was given): Wait will not wait.
  bool Idle();

 private:
  void Run();
  std::mutex Mutex;
  std::condition_variable Wake;
  std::function<void()> Work;
  bool Busy = false;
  bool Quit = false;
  std::exception_ptr Error;
  std::thread Thread;
};

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
