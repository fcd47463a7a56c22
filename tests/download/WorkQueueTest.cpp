#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/WriterLane.h"

namespace {

std::string What(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  }
}

// The pieces run in their order while the caller goes on, and are collected in it: one still
// running is not collected unless waited for.
TEST(WorkQueue, PiecesRunAndAreCollectedInOrder) {
  TWorkQueue queue;
  std::vector<int> ran;
  std::promise<void> go;
  std::shared_future<void> started = go.get_future().share();
  queue.Push([&, started] {
    started.wait();
    ran.push_back(1);
  });
  queue.Push([&] { ran.push_back(2); });
  std::exception_ptr error;
  EXPECT_FALSE(queue.CollectOldest(false, error));
  go.set_value();
  ASSERT_TRUE(queue.CollectOldest(true, error));
  EXPECT_FALSE(error);
  ASSERT_TRUE(queue.CollectOldest(true, error));
  EXPECT_FALSE(error);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_FALSE(queue.CollectOldest(true, error));  // nothing left: no wait
}

// After a piece raised, those given after it are not run and come with its error; once all are
// collected, the queue runs what it is given again.
TEST(WorkQueue, APieceThatRaisesStopsThoseBehindIt) {
  TWorkQueue queue;
  std::atomic<int> ran{0};
  queue.Push([&] { ++ran; });
  queue.Push([] { throw std::runtime_error("disk full"); });
  queue.Push([&] { ++ran; });
  queue.Push([&] { ++ran; });
  std::exception_ptr error;
  ASSERT_TRUE(queue.CollectOldest(true, error));
  EXPECT_FALSE(error);
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(queue.CollectOldest(true, error));
    ASSERT_TRUE(error);
    EXPECT_EQ(What(error), "disk full");
  }
  EXPECT_EQ(ran, 1);
  queue.Push([&] { ++ran; });
  ASSERT_TRUE(queue.CollectOldest(true, error));
  EXPECT_FALSE(error);
  EXPECT_EQ(ran, 2);
}

}  // namespace
