#pragma once
// Reads ahead on a thread of its own, so that a slow medium delivers the next blocks while the
// caller handles those read before.
//
// A pass reads `records` records in reads of at most `blockRecords`, each by the pass's read
// function (given the block's bytes, the first record of the read counted from the pass's
// start, and how many), into a block of the caller's pool. Passes may be queued behind the one
// in hand: the reader goes on to the next as soon as the one before has asked for all its
// records, so that the medium never waits while the caller finishes a pass. Take hands out the
// blocks of the pass in hand in order, each with what its read returned; EndPass moves on to
// the next pass. A read that returns fewer records than it asked (an input/output error or the
// end of the data), or that throws, ends the pass and every pass queued: no read follows it
// until the next Start, and the error comes with the block where it happened (what the read
// threw is raised by the Take of that block). At most Depth blocks are held (read and not yet
// taken, being read, or waiting to be), whatever the passes' sizes.
//
// The blocks are acquired and given back on the caller's thread only (at Start and Queue, one
// per Take, at Cancel): the reading thread never allocates, so the process's memory stays that
// of the caller's pool and the allocator needs no arena for the reader.

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

  // Starts a pass; what was going on is cancelled first.
  void Start(TRead read, int64_t records, int64_t blockRecords) {
    Cancel();
    Queue(std::move(read), records, blockRecords);
  }

  // Queues a pass behind those started or queued: it is in hand once EndPass ended them. After
  // a read that ended the passes (Ended), it reads nothing.
  void Queue(TRead read, int64_t records, int64_t blockRecords) {
    {
      std::lock_guard lock(Mutex);
      Passes.push_back({NextPass++, std::move(read), 0, records > 0 && !Stopped ? records : 0,
                        blockRecords > 0 ? blockRecords : 1});
      if (!Thread.joinable()) Thread = std::thread([this] { Run(); });
    }
    Refill();
  }

  // The next block of the pass in hand and what its read returned, waited for; null when the
  // pass has no block left. What the pool raised when asked for a block is raised here, once
  // the blocks it gave before are taken.
  TBlockPtr Take(TReadResult& result) {
    result = {};
    TBlockPtr block;
    std::exception_ptr thrown;
    {
      std::unique_lock lock(Mutex);
      Ready.wait(lock, [this] { return BlockInHand() || !PendingInHand(); });
      if (!BlockInHand()) {
        if (TPass* pass = Find(InHand)) pass->Remaining = 0;
        if (Error) std::rethrow_exception(std::exchange(Error, nullptr));
        return nullptr;
      }
      result = Blocks.front().Result;
      block = std::move(Blocks.front().Block);
      thrown = std::move(Blocks.front().Thrown);
      Blocks.pop_front();
      if (thrown) Free.push_back(std::move(block));
    }
    if (thrown) std::rethrow_exception(thrown);
    Refill();  // room for one more
    return block;
  }

  // Ends the pass in hand: its reads not started never start, its blocks not taken serve the
  // passes behind it, the next pass queued is in hand.
  void EndPass() {
    {
      std::lock_guard lock(Mutex);
      if (InHand == NextPass) return;
      if (TPass* pass = Find(InHand)) pass->Remaining = 0;
      ++InHand;
      while (!Blocks.empty() && Blocks.front().Pass < InHand) {
        Free.push_back(std::move(Blocks.front().Block));
        Blocks.pop_front();
      }
    }
    Wake.notify_all();
  }

  // A read ended the passes since the last Start: those queued read nothing.
  bool Ended() {
    std::lock_guard lock(Mutex);
    return Stopped;
  }

  // Ends every pass: no read starts any more, the one in progress is waited for and the blocks
  // not handed out go back to the pool. What the passes read is then the caller's again.
  void Cancel() {
    std::vector<TBlockPtr> dropped;
    {
      std::unique_lock lock(Mutex);
      for (TPass& pass : Passes) pass.Remaining = 0;
      Ready.wait(lock, [this] { return !Reading; });
      for (TBlockRead& read : Blocks) dropped.push_back(std::move(read.Block));
      Blocks.clear();
      for (TBlockPtr& block : Free) dropped.push_back(std::move(block));
      Free.clear();
      Passes.clear();
      InHand = NextPass;
      Stopped = false;
      Error = nullptr;
    }
    for (TBlockPtr& block : dropped) Release(std::move(block));
  }

 private:
  struct TPass {
    uint64_t Id = 0;
    TRead Read;
    int64_t Next = 0;       // the first record of the next read, from the pass's start
    int64_t Remaining = 0;  // records of the pass not yet asked for
    int64_t BlockRecords = 1;
  };
  struct TBlockRead {
    TBlockPtr Block;
    TReadResult Result;
    std::exception_ptr Thrown;
    uint64_t Pass = 0;
  };

  // With the mutex held, from here on.
  TPass* Find(uint64_t id) {
    for (TPass& pass : Passes) {
      if (pass.Id == id) return &pass;
    }
    return nullptr;
  }
  // The pass the reader reads next, or null; passes read to their end are dropped.
  TPass* NextToRead() {
    while (!Passes.empty() && Passes.front().Remaining == 0 &&
           !(Reading && Passes.front().Id == ReadingPass)) {
      Passes.pop_front();
    }
    for (TPass& pass : Passes) {
      if (pass.Remaining > 0) return &pass;
    }
    return nullptr;
  }
  // Blocks are read in the passes' order and those of ended passes serve the later ones: the
  // first block held is the pass in hand's when it has one.
  bool BlockInHand() const { return !Blocks.empty() && Blocks.front().Pass == InHand; }
  // A block of the pass in hand is being read, or can still be.
  bool PendingInHand() {
    if (Reading && ReadingPass == InHand) return true;
    const TPass* pass = Find(InHand);
    return pass && pass->Remaining > 0 && (Reading || !Free.empty());
  }

  // Acquires the blocks the passes will want, up to Depth held; after the pool failed, none.
  void Refill() {
    size_t wanted = 0;
    {
      std::lock_guard lock(Mutex);
      if (Error) return;
      const size_t held = Blocks.size() + (Reading ? 1 : 0);
      size_t reads = 0;
      for (const TPass& pass : Passes) {
        reads += static_cast<size_t>((pass.Remaining + pass.BlockRecords - 1) / pass.BlockRecords);
      }
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
      TPass* pass = nullptr;
      Wake.wait(lock, [&] { return Quit || ((pass = NextToRead()) && !Free.empty()); });
      if (Quit) return;
      const int64_t wanted = std::min(pass->Remaining, pass->BlockRecords);
      const int64_t first = pass->Next;
      pass->Next += wanted;
      pass->Remaining -= wanted;
      TBlockPtr block = std::move(Free.back());
      Free.pop_back();
      // Queue only appends to the passes and Cancel waits for this read: the pass stays.
      const TRead& read = pass->Read;
      Reading = true;
      ReadingPass = pass->Id;
      lock.unlock();
      TReadResult result;
      std::exception_ptr thrown;
      try {
        result = read(block->Bytes.data(), first, wanted);
      } catch (...) {
        thrown = std::current_exception();
        result = {0, IoDataError};
      }
      lock.lock();
      Reading = false;
      if (ReadingPass < InHand) {
        Free.push_back(std::move(block));  // the caller ended the pass meanwhile
      } else {
        Blocks.push_back({std::move(block), result, thrown, ReadingPass});
        if (thrown || result.Records < wanted) {
          for (TPass& ended : Passes) ended.Remaining = 0;
          Stopped = true;
        }
      }
      Ready.notify_all();
    }
  }

  const size_t Depth;
  const TAcquire Acquire;
  const TRelease Release;
  std::mutex Mutex;
  std::condition_variable Wake;   // a free block, a pass started, or the end
  std::condition_variable Ready;  // a block was read, or a read ended
  std::deque<TBlockRead> Blocks;  // read, not yet taken, in the passes' order
  std::vector<TBlockPtr> Free;    // acquired by the caller, not yet read into
  std::deque<TPass> Passes;       // in hand and queued, in order
  uint64_t NextPass = 0;          // the number the next pass queued gets
  uint64_t InHand = 0;            // the pass Take hands out (NextPass: none)
  uint64_t ReadingPass = 0;
  bool Reading = false;
  bool Stopped = false;  // a read ended the passes
  bool Quit = false;
  std::exception_ptr Error;
  std::thread Thread;
};

}  // namespace platform
