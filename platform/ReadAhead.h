#pragma once
// Reads a file ahead on a thread of its own, so that a slow medium delivers the next blocks
// while the caller handles those read before.
//
// A pass reads `records` records from the file's position, in reads of at most `blockRecords`,
// each into a block the caller's pool gives (its Bytes hold a read). Take hands the blocks out
// in the order of the file, each with what its read returned. A read that returns fewer
// records than it asked (an input/output error or the end of the file) ends the pass: the file
// is left where reading it block by block on the caller's thread would have left it, and the
// error comes with the block where it happened. At most Depth blocks are read and not yet
// taken, whatever the size of the pass. The file must not be touched between Start and the
// end of the pass (its last block taken, or Cancel).

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/RecordFile.h"

namespace platform {

template <class TBlockPtr>
class TReadAhead {
 public:
  using TAcquire = std::function<TBlockPtr()>;
  using TRelease = std::function<void(TBlockPtr)>;

  // `acquire` gives an empty block and `release` takes back one that was not handed out; both
  // are called on the reading thread too.
  TReadAhead(size_t depth, TAcquire acquire, TRelease release)
      : Depth(depth > 0 ? depth : 1), Acquire(std::move(acquire)), Release(std::move(release)) {}
  ~TReadAhead() {
    Cancel();
    {
      std::lock_guard lock(Mutex);
      Quit = true;
    }
    Wake.notify_all();
    if (Thread.joinable()) Thread.join();
  }
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Starts a pass over `file`; one that was going on is cancelled first.
  void Start(TRecordFile& file, int64_t records, int64_t blockRecords) {
    Cancel();
    {
      std::lock_guard lock(Mutex);
      File = &file;
      Remaining = records > 0 ? records : 0;
      BlockRecords = blockRecords > 0 ? blockRecords : 1;
      if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    }
    Wake.notify_all();
  }

  // The next block of the pass and what its read returned, waited for; null when the pass has
  // no block left. What the pool raised when asked for a block is raised here, in its place.
  TBlockPtr Take(TReadResult& result) {
    std::unique_lock lock(Mutex);
    Ready.wait(lock, [this] { return !Blocks.empty() || Error || !Pending(); });
    result = {};
    if (Blocks.empty()) {
      if (Error) {
        Remaining = 0;
        std::rethrow_exception(std::exchange(Error, nullptr));
      }
      return nullptr;
    }
    TRead read = std::move(Blocks.front());
    Blocks.pop_front();
    lock.unlock();
    Wake.notify_all();  // room for one more
    result = read.Result;
    return std::move(read.Block);
  }

  // Ends the pass: no read starts any more, the one in progress is waited for and the blocks
  // not taken go back to the pool. The file is then the caller's again.
  void Cancel() {
    std::deque<TRead> dropped;
    {
      std::unique_lock lock(Mutex);
      Remaining = 0;
      Ready.wait(lock, [this] { return !Reading; });
      dropped.swap(Blocks);
      File = nullptr;
      Error = nullptr;
    }
    for (TRead& read : dropped) Release(std::move(read.Block));
  }

 private:
  struct TRead {
    TBlockPtr Block;
    TReadResult Result;
  };

  // A read is going on or still to start (with the mutex held).
  bool Pending() const { return Reading || Remaining > 0; }

  void Run() {
    std::unique_lock lock(Mutex);
    for (;;) {
      Wake.wait(lock, [this] { return Quit || (Remaining > 0 && Blocks.size() < Depth); });
      if (Quit) return;
      const int64_t wanted = std::min(Remaining, BlockRecords);
      TRecordFile& file = *File;
      Reading = true;
      lock.unlock();
      TBlockPtr block;
      TReadResult result;
      std::exception_ptr error;
      try {
        block = Acquire();
        result = file.Read(block->Bytes.data(), wanted);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      Reading = false;
      if (error) {
        Error = error;
        Remaining = 0;
      } else {
        Blocks.push_back({std::move(block), result});
        // Cancelled meanwhile: Remaining is 0 already, and Cancel releases the block.
        Remaining = result.Records < wanted ? 0 : std::max<int64_t>(Remaining - wanted, 0);
      }
      Ready.notify_all();
    }
  }

  const size_t Depth;
  const TAcquire Acquire;
  const TRelease Release;
  std::mutex Mutex;
  std::condition_variable Wake;   // room for a block, a pass started, or the end
  std::condition_variable Ready;  // a block was read, or a read ended
  std::deque<TRead> Blocks;       // read, not yet taken
  TRecordFile* File = nullptr;
  int64_t Remaining = 0;  // records of the pass not yet asked for
  int64_t BlockRecords = 1;
  bool Reading = false;
  bool Quit = false;
  std::exception_ptr Error;
  std::thread Thread;
};

}  // namespace platform
