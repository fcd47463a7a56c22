#include "platform/ReadAhead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

using platform::TReadAhead;
using platform::TReadResult;
using platform::TRecordFile;

namespace {

constexpr int RecordSize = 3;
constexpr int64_t FileRecords = 1000;
constexpr int64_t BlockRecords = 64;

struct TBlock {
  std::vector<char> Bytes = std::vector<char>(BlockRecords * RecordSize);
};
using TBlockPtr = std::unique_ptr<TBlock>;

// A pool that counts the blocks it gave and got back, and the most read and not yet taken.
struct TPool {
  std::atomic<int> Given{0};
  std::atomic<int> Back{0};
  std::atomic<int> Taken{0};
  std::atomic<int> MostAhead{0};
  std::atomic<int> FailAt{-1};  // the acquisition that throws (-1: none)
  std::atomic<bool> ElsewhereAcquired{false};  // a block was asked for off the caller's thread
  std::thread::id Caller = std::this_thread::get_id();
  TBlockPtr Acquire() {
    if (std::this_thread::get_id() != Caller) ElsewhereAcquired = true;
    if (Given == FailAt) throw std::runtime_error("no memory");
    const int ahead = ++Given - Taken;
    for (int most = MostAhead; ahead > most && !MostAhead.compare_exchange_weak(most, ahead);) {
    }
    return std::make_unique<TBlock>();
  }
  void Release(TBlockPtr) { ++Back; }
};

class ReadAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream out(Dir / "card.dat", std::ios::binary);
    for (int64_t i = 0; i < FileRecords * RecordSize; ++i) out.put(static_cast<char>(i * 7));
    out.close();
    ASSERT_EQ(File.Reset(Dir / "card.dat", RecordSize, platform::TOpenMode::ReadOnly), 0);
  }
  void TearDown() override { platform::ClearFaultPlan(); }

  // The file read on from where it is.
  TReadAhead<TBlockPtr>::TRead FileRead() {
    return [this](char* bytes, int64_t, int64_t count) { return File.Read(bytes, count); };
  }
  TBlockPtr Take(TReadResult& result) {
    TBlockPtr block = Ahead.Take(result);
    if (block) ++Pool.Taken;
    return block;
  }
  static char ByteAt(int64_t record, int64_t offset) {
    return static_cast<char>((record * RecordSize + offset) * 7);
  }

  testing_support::TTempDir Dir;
  TRecordFile File;
  TPool Pool;
  TReadAhead<TBlockPtr> Ahead{4, [this] { return Pool.Acquire(); },
                              [this](TBlockPtr block) { Pool.Release(std::move(block)); }};
};

// The blocks in the order of the file, up to its end: a pass asking for more than the file
// holds ends with the short block, and leaves the file at its end.
TEST_F(ReadAheadTest, BlocksComeInOrderToTheEndOfTheFile) {
  for (const int64_t asked : {FileRecords, FileRecords + 200}) {
    SCOPED_TRACE(asked);
    // Each read where the pass says it starts.
    Ahead.Start(
        [this](char* bytes, int64_t first, int64_t count) {
          File.Seek(first);
          return File.Read(bytes, count);
        },
        asked, BlockRecords);
    int64_t record = 0;
    TReadResult result;
    while (TBlockPtr block = Take(result)) {
      EXPECT_EQ(result.Error, 0);
      for (int64_t r = 0; r < result.Records; ++r) {
        ASSERT_EQ(block->Bytes[static_cast<size_t>(r * RecordSize)], ByteAt(record + r, 0));
      }
      record += result.Records;
      if (result.Records < BlockRecords) {
        EXPECT_EQ(record, FileRecords);
      }
    }
    EXPECT_EQ(record, FileRecords);
    EXPECT_EQ(File.Position(), FileRecords);
    EXPECT_FALSE(Take(result));
  }
}

// However long the pass and however slow the caller, no more than Depth blocks wait: the
// reader fills the pool up to it, and then waits.
TEST_F(ReadAheadTest, NoMoreThanDepthBlocksAreReadAhead) {
  Ahead.Start(FileRead(), FileRecords, BlockRecords / 4);
  const int blocks = static_cast<int>(FileRecords / (BlockRecords / 4)) + 1;
  TReadResult result;
  for (int taken = 0; taken < blocks; ++taken) {
    const int full = std::min(4, blocks - taken);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Pool.Given - taken < full && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    ASSERT_EQ(Pool.Given - taken, full);
    ++Pool.Taken;  // before the reader can see the room
    ASSERT_TRUE(Ahead.Take(result));
  }
  EXPECT_EQ(Pool.MostAhead, 4);
  EXPECT_FALSE(Take(result));
  // The reading thread never allocates: its blocks come from the caller's thread.
  EXPECT_FALSE(Pool.ElsewhereAcquired);
}

// A read error ends the pass at its block: the blocks before are whole, the failing one holds
// what was read of it and its code, no read follows.
TEST_F(ReadAheadTest, AReadErrorComesWithItsBlockAndEndsThePass) {
  platform::TFaultPlan plan;
  plan.ReadBytesLeft = 5 * BlockRecords * RecordSize + 10;
  platform::SetFaultPlan(plan);
  Ahead.Start(FileRead(), FileRecords, BlockRecords);
  TReadResult result;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(Take(result));
    EXPECT_EQ(result.Error, 0);
    EXPECT_EQ(result.Records, BlockRecords);
  }
  ASSERT_TRUE(Take(result));
  EXPECT_EQ(result.Error, platform::IoDataError);
  EXPECT_EQ(result.Records, 3);
  EXPECT_FALSE(Take(result));
  EXPECT_EQ(File.Position(), 5 * BlockRecords + 3);
}

// A cancelled pass gives back every block it read and did not hand out; the file is the
// caller's again, and a new pass goes on from where the reads stopped.
TEST_F(ReadAheadTest, CancelReturnsTheBlocksAndFreesTheFile) {
  Ahead.Start(FileRead(), FileRecords, BlockRecords);
  TReadResult result;
  ASSERT_TRUE(Take(result));
  ASSERT_TRUE(Take(result));
  Ahead.Cancel();
  EXPECT_EQ(Pool.Given - Pool.Back, 2);
  EXPECT_FALSE(Take(result));
  const int64_t at = File.Position();
  EXPECT_EQ(at % BlockRecords, 0);
  EXPECT_LE(at, (2 + 4) * BlockRecords);
  Ahead.Start(FileRead(), BlockRecords, BlockRecords);
  TBlockPtr block = Take(result);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->Bytes[0], ByteAt(at, 0));
  // Ending in the middle of a pass with the reader waiting for room: no hang.
  Ahead.Start(FileRead(), FileRecords, 1);
}

// A block the pool cannot give fails the pass where it happens, after the blocks read before.
TEST_F(ReadAheadTest, APoolFailureIsRaisedInPlace) {
  Pool.FailAt = 2;
  Ahead.Start(FileRead(), FileRecords, BlockRecords);
  TReadResult result;
  ASSERT_TRUE(Take(result));
  ASSERT_TRUE(Take(result));
  EXPECT_THROW(Take(result), std::runtime_error);
  EXPECT_FALSE(Take(result));
}

// A pass queued behind another is read as soon as the one before has asked for all its
// records, before the caller took a block of either; EndPass hands out the next pass's blocks
// in order, the blocks of the pass it ended never, whether taken or not.
TEST_F(ReadAheadTest, QueuedPassesReadOnWithoutWaitingForTheCaller) {
  const auto at = [this](int64_t start) {
    return [this, start](char* bytes, int64_t first, int64_t count) {
      File.Seek(start + first);
      return File.Read(bytes, count);
    };
  };
  std::atomic<int> secondReads{0};
  Ahead.Start(at(0), BlockRecords, BlockRecords);
  Ahead.Queue(
      [&, read = at(500)](char* bytes, int64_t first, int64_t count) {
        ++secondReads;
        return read(bytes, first, count);
      },
      2 * BlockRecords, BlockRecords);
  Ahead.Queue(at(900), 3 * BlockRecords, BlockRecords);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (secondReads < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(secondReads, 2);

  TReadResult result;
  TBlockPtr block = Take(result);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->Bytes[0], ByteAt(0, 0));
  EXPECT_FALSE(Take(result));  // the first pass is over, the next not yet in hand
  Ahead.EndPass();
  block = Take(result);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->Bytes[0], ByteAt(500, 0));
  // Its second block, read already, is not handed out once the pass is ended.
  Ahead.EndPass();
  block = Take(result);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->Bytes[0], ByteAt(900, 0));
  EXPECT_EQ(result.Records, BlockRecords);
  block = Take(result);
  ASSERT_TRUE(block);
  EXPECT_EQ(result.Records, FileRecords - 900 - BlockRecords);  // the file's end
  EXPECT_FALSE(Take(result));
  Ahead.EndPass();
  EXPECT_FALSE(Take(result));
  // The blocks of the pass ended unread served the next: none more than Depth were held.
  EXPECT_LE(Pool.Given - Pool.Taken, 4);
  Ahead.Cancel();
  EXPECT_EQ(Pool.Given - Pool.Back, Pool.Taken);
}

// A read that fails ends the passes queued behind it too: they read nothing until the next
// Start. What a read threw is raised by the Take of its block.
TEST_F(ReadAheadTest, AFailedReadEndsThePassesQueuedBehindIt) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws);
    std::atomic<int> laterReads{0};
    Ahead.Start(
        [&](char* bytes, int64_t first, int64_t count) -> TReadResult {
          if (first == 0) return File.Read(bytes, count);
          if (throws) throw platform::EInOutError(23, "card.dat");
          return {count / 2, platform::IoDataError};
        },
        4 * BlockRecords, BlockRecords);
    Ahead.Queue(
        [&](char* bytes, int64_t, int64_t count) {
          ++laterReads;
          return File.Read(bytes, count);
        },
        BlockRecords, BlockRecords);
    TReadResult result;
    ASSERT_TRUE(Take(result));
    if (throws) {
      EXPECT_THROW(Take(result), platform::EInOutError);
    } else {
      ASSERT_TRUE(Take(result));
      EXPECT_EQ(result.Records, BlockRecords / 2);
      EXPECT_EQ(result.Error, platform::IoDataError);
    }
    EXPECT_FALSE(Take(result));
    EXPECT_TRUE(Ahead.Ended());
    Ahead.EndPass();
    EXPECT_FALSE(Take(result));
    Ahead.Queue(FileRead(), BlockRecords, BlockRecords);
    Ahead.EndPass();
    EXPECT_FALSE(Take(result));
    EXPECT_EQ(laterReads, 0);
  }
  Ahead.Start(FileRead(), BlockRecords, BlockRecords);
  EXPECT_FALSE(Ahead.Ended());
  TReadResult result;
  EXPECT_TRUE(Take(result));
}

}  // namespace
