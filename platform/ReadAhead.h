#pragma once
// Reads ahead on a thread of its own, so that a slow medium delivers the next blocks while the
// caller handles those read before.
//
// A pass reads `records` records in reads of at most `blockRecords`, each by the pass's read
// function (given the block's bytes, the first record of the read counted from the pass's
// start, and how many), into a block of the caller's pool. Take hands the blocks out in order,
// each with what its read returned. A read that returns fewer records than it asked (an
// input/output error or the end of the data) ends the pass: no read follows it, and the error
// comes with the block where it happened. At most Depth blocks are held by the pass (read and
// not yet taken, being read, or waiting to be), whatever its size.
//
// The blocks are acquired and given back on the caller's thread only (at Start, one per Take,
// at Cancel): the reading thread never allocates, so the process's memory stays that of the
// caller's pool and the allocator needs no arena for the reader.

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
#include <vector>

#include "platform/RecordFile.h"

namespace platform {

template <class TBlockPtr>
class TReadAhead {
 public:
  using TAcquire = std::function<TBlockPtr()>;
  using TRelease = std::function<void(TBlockPtr)>;
  // Reads `count` records from record `first` of the pass into `bytes`; runs on the reading
  // thread, never while the caller could touch what it reads.
  using TRead = std::function<TReadResult(char* bytes, int64_t first, int64_t count)>;

  // `acquire` gives an empty block and `release` takes back one that was not handed out.
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

  // Starts a pass; one that was going on is cancelled first.
  void Start(TRead read, int64_t records, int64_t blockRecords) {
    Cancel();
    {
      std::lock_guard lock(Mutex);
      Reader = std::move(read);
      Next = 0;
      Remaining = records > 0 ? records : 0;
      BlockRecords = blockRecords > 0 ? blockRecords : 1;
      if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    }
    Refill();
  }

  // The next block of the pass and what its read returned, waited for; null when the pass has
  // no block left. What the pool raised when asked for a block is raised here, once the blocks
  // it gave before are taken.
  TBlockPtr Take(TReadResult& result) {
    result = {};
    TBlockPtr block;
    {
      std::unique_lock lock(Mutex);
      Ready.wait(lock, [this] { return !Blocks.empty() || !Pending(); });
      if (Blocks.empty()) {
        Remaining = 0;
        if (Error) std::rethrow_exception(std::exchange(Error, nullptr));
        return nullptr;
      }
      result = Blocks.front().Result;
      block = std::move(Blocks.front().Block);
      Blocks.pop_front();
    }
    Refill();  // room for one more
    return block;
  }

  // Ends the pass: no read starts any more, the one in progress is waited for and the blocks
  // not handed out go back to the pool. What the pass read is then the caller's again.
  void Cancel() {
    std::vector<TBlockPtr> dropped;
    {
      std::unique_lock lock(Mutex);
      Remaining = 0;
      Ready.wait(lock, [this] { return !Reading; });
      for (TBlockRead& read : Blocks) dropped.push_back(std::move(read.Block));
      Blocks.clear();
      for (TBlockPtr& block : Free) dropped.push_back(std::move(block));
      Free.clear();
      Reader = nullptr;
      Error = nullptr;
    }
    for (TBlockPtr& block : dropped) Release(std::move(block));
  }

 private:
  struct TBlockRead {
    TBlockPtr Block;
    TReadResult Result;
  };

  // A read is going on, or can still start (with the mutex held).
  bool Pending() const { return Reading || (Remaining > 0 && !Free.empty()); }

  // Acquires the blocks the pass will want, up to Depth held; after the pool failed, none.
  void Refill() {
    size_t wanted = 0;
    {
      std::lock_guard lock(Mutex);
      if (Error) return;
      const size_t held = Blocks.size() + (Reading ? 1 : 0);
      const auto reads = static_cast<size_t>((Remaining + BlockRecords - 1) / BlockRecords);
      const size_t target = std::min(Depth, held + reads);
      wanted = target > held + Free.size() ? target - held - Free.size() : 0;
    }
    if (wanted == 0) return;
    std::vector<TBlockPtr> fresh;
    std::exception_ptr error;
    try {
      while (fresh.size() < wanted) fresh.push_back(Acquire());
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(Mutex);
      for (TBlockPtr& block : fresh) Free.push_back(std::move(block));
      if (error) Error = error;
    }
    Wake.notify_all();
    Ready.notify_all();  // a failure with nothing left to read ends a waiting Take
  }

  void Run() {
    std::unique_lock lock(Mutex);
    for (;;) {
      Wake.wait(lock, [this] { return Quit || (Remaining > 0 && !Free.empty()); });
      if (Quit) return;
      const int64_t wanted = std::min(Remaining, BlockRecords);
      const int64_t first = Next;
      Next += wanted;
      Remaining -= wanted;
      TBlockPtr block = std::move(Free.back());
      Free.pop_back();
      const TRead& read = Reader;
      Reading = true;
      lock.unlock();
      TReadResult result;
      try {
        result = read(block->Bytes.data(), first, wanted);
      } catch (...) {
        // The read functions report errors in their result; one that throws ends the pass.
        result.Records = 0;
        result.Error = IoDataError;
      }
      lock.lock();
      Reading = false;
      Blocks.push_back({std::move(block), result});
      if (result.Records < wanted) Remaining = 0;
      Ready.notify_all();
    }
  }

  const size_t Depth;
  const TAcquire Acquire;
  const TRelease Release;
  std::mutex Mutex;
  std::condition_variable Wake;   // a free block, a pass started, or the end
  std::condition_variable Ready;  // a block was read, or a read ended
  std::deque<TBlockRead> Blocks;  // read, not yet taken
  std::vector<TBlockPtr> Free;    // acquired by the caller, not yet read into
  TRead Reader;
  int64_t Next = 0;       // the first record of the next read, from the pass's start
  int64_t Remaining = 0;  // records of the pass not yet asked for
  int64_t BlockRecords = 1;
  bool Reading = false;
  bool Quit = false;
  std::exception_ptr Error;
  std::thread Thread;
};

}  // namespace platform
