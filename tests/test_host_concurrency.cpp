// Posting and waiting across threads; run under ThreadSanitizer in CI.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "platform/HostWindows.h"

namespace quorel {
namespace {

TEST(HostConcurrency, PostsFromManyThreadsAllArriveInPerThreadOrder) {
  HWND hwnd = QuorelHost_CreateMessageWindow();
  ASSERT_NE(hwnd, nullptr);
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;  // 8000 in all: below the queue limit
  std::vector<std::thread> posters;
  posters.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([hwnd, t] {
      for (int i = 0; i < kPerThread; ++i) HostPostMessage(hwnd, 100 + t, static_cast<WPARAM>(i), 0);
    });
  }

  // Read while they post, waking on each message.
  std::vector<int> next(kThreads, 0);
  int received = 0;
  bool inOrder = true;
  QuorelHostMsg msg{};
  while (received < kThreads * kPerThread && QuorelHost_WaitMessage(hwnd, &msg, 30000) == 1) {
    const int t = static_cast<int>(msg.message) - 100;
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    if (static_cast<int>(msg.wParam) != next[t]) inOrder = false;
    next[t] = static_cast<int>(msg.wParam) + 1;
    ++received;
  }
  for (auto &p : posters) p.join();
  EXPECT_EQ(received, kThreads * kPerThread);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(QuorelHost_DestroyWindow(hwnd), 1);
}

TEST(HostConcurrency, EachThreadReadsOnlyItsOwnNullWindowPosts) {
  constexpr int kThreads = 4;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 500; ++i) {
        if (!HostPostMessage(nullptr, 1, static_cast<WPARAM>(t), i)) failures.fetch_add(1);
      }
      QuorelHostMsg msg{};
      int count = 0;
      while (QuorelHost_PeekMessage(nullptr, &msg) == 1) {
        if (msg.wParam != static_cast<WPARAM>(t) || msg.lParam != count) failures.fetch_add(1);
        ++count;
      }
      if (count != 500) failures.fetch_add(1);
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(HostConcurrency, ThreadQueueIsFreedWhenTheThreadEnds) {
  const size_t before = HostThreadQueueCount();
  int fd = -1;
  size_t during = 0;
  std::thread worker([&] {
    HostPostMessage(nullptr, 1, 0, 0);  // left unread
    fd = QuorelHost_GetEventFd(nullptr);
    during = HostThreadQueueCount();
  });
  worker.join();
  EXPECT_GE(fd, 0);
  EXPECT_EQ(during, before + 1);
  EXPECT_EQ(HostThreadQueueCount(), before);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the queue's eventfd stayed open";
}

TEST(HostConcurrency, DestroyWakesAWaiterEmptyHanded) {
  HWND hwnd = QuorelHost_CreateMessageWindow();
  ASSERT_NE(hwnd, nullptr);
  std::atomic<int> result{-2};
  std::thread waiter([&] {
    QuorelHostMsg msg{};
    result = QuorelHost_WaitMessage(hwnd, &msg, -1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(QuorelHost_DestroyWindow(hwnd), 1);
  waiter.join();
  EXPECT_EQ(result.load(), 0);
}

TEST(HostConcurrency, CreatingAndDestroyingWhilePostingIsSafe) {
  std::atomic<bool> stop{false};
  std::atomic<uintptr_t> current{0};
  std::thread poster([&] {
    while (!stop.load()) {
      HWND hwnd = reinterpret_cast<HWND>(current.load());
      if (hwnd != nullptr) HostPostMessage(hwnd, 1, 0, 0);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    HWND hwnd = QuorelHost_CreateMessageWindow();
    ASSERT_NE(hwnd, nullptr);
    current.store(reinterpret_cast<uintptr_t>(hwnd));
    QuorelHostMsg msg{};
    QuorelHost_PeekMessage(hwnd, &msg);
    ASSERT_EQ(QuorelHost_DestroyWindow(hwnd), 1);
    // Posts that race the destruction are lost, never queued for a dead window.
    EXPECT_FALSE(HostPostMessage(hwnd, 2, 0, 0));
  }
  stop.store(true);
  poster.join();
}

}  // namespace
}  // namespace quorel
