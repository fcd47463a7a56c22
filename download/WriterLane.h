#pragma once
// A second thread for the run: the writers of an event share the frames with it, and an
// event's files are flushed on one while the next event converts. The run hands it one piece
// of work at a time and waits for it before it touches what that work reads.

#include <condition_variable>
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
