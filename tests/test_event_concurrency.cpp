// Events and the millisecond clock.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/ThreadUtil.h"

namespace quorel {
namespace {

// Polls until `counter` reaches `value`; the deadline only ends a wait that
// is stuck, so a loaded machine cannot fail it.
bool ReachesWithin(const std::atomic<int> &counter, int value) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (counter.load() < value && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return counter.load() >= value;
}

TEST(Event, AutoResetLetsOneWaiterThroughPerSet) {
  Event event(false);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  waiters.reserve(3);
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait(5000)) passed.fetch_add(1);
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (int round = 1; round <= 3; ++round) {
    event.Set();
    ASSERT_TRUE(ReachesWithin(passed, round));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(passed.load(), round) << "one Set released more than one waiter";
  }
  for (auto &w : waiters) w.join();
  EXPECT_FALSE(event.IsSet());
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
  Event event(true);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  waiters.reserve(4);
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait(-1)) passed.fetch_add(1);
    });
  }
  event.Set();
  for (auto &w : waiters) w.join();
  EXPECT_EQ(passed.load(), 4);
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, WaitTimesOutAfterAboutTheGivenTime) {
  Event event(true);
  const uint32_t start = GetTickCount();
  EXPECT_FALSE(event.Wait(50));
  EXPECT_GE(GetTickCount() - start, 49u);
  Event initiallySet(true, true);
  EXPECT_TRUE(initiallySet.Wait(0));
}

TEST(Clock, SleepLastsAtLeastTheGivenTimeOnBothClocks) {
  const uint32_t tick = GetTickCount();
  const uint32_t time = TimeGetTime();
  SleepMs(30);
  EXPECT_GE(GetTickCount() - tick, 30u);
  EXPECT_GE(TimeGetTime() - time, 30u);
  EXPECT_LT(GetTickCount() - tick, 5000u);
}

TEST(ThreadUtil, LongThreadNamesAreCutToTheKernelLimit) {
  char name[32] = {};
  std::thread worker([&name] {
    SetCurrentThreadName("quorel-transfer-unit-31");
    pthread_getname_np(pthread_self(), name, sizeof name);
    RaiseCurrentThreadPriority();  // may be refused; the thread carries on
  });
  worker.join();
  EXPECT_STREQ(name, "quorel-transfer");
}

}  // namespace
}  // namespace quorel
