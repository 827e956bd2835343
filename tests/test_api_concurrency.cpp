// Eight threads creating, using and releasing cameras at once, and looking up
// handles that others create and release: the registry's ring must stay
// consistent and no call may touch a freed camera (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "QuorelSdk_470KX_PLU.h"
#include "api/CSdkChain.h"

namespace {

TEST(ApiConcurrency, EightThreadsInitializeReleaseAndLookUp) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 4;
  // Handles published for the other threads to use; 0 when empty.
  std::array<std::atomic<int>, 32> shared{};
  std::atomic<int> created{0}, released{0};

  auto worker = [&](int id) {
    std::mt19937 random(static_cast<unsigned>(id) * 7919U);
    for (int round = 0; round < kRounds; ++round) {
      const int handle = Quorel_Initialize(nullptr);
      ASSERT_NE(handle, 0);
      created.fetch_add(1);
      EXPECT_EQ(Quorel_SetWaitTime(handle, id + round), 1);
      EXPECT_EQ(Quorel_GetWaitTime(handle), id + round);
      shared[random() % shared.size()].store(handle);
      // Look up whatever the others published; those may be released at any
      // moment, so only the failure-or-valid shape of the answer is checked.
      for (int i = 0; i < 40; ++i) {
        const int other = shared[random() % shared.size()].load();
        const int width = Quorel_Width(other);
        EXPECT_TRUE(width == 0 || width == 3488);
        const int mode = Quorel_GetColorMode(other);
        EXPECT_TRUE(mode == -1 || mode == 24 || mode == 8 || mode == 12);
        Quorel_SetColorMode(other, (i & 1) ? 8 : 16);
      }
      // Release a random published handle too; whoever releases first wins.
      const int victim = shared[random() % shared.size()].exchange(0);
      if (victim != 0 && Quorel_Release(victim) == 1) released.fetch_add(1);
      if (Quorel_Release(handle) == 1) released.fetch_add(1);
    }
  };

  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int id = 0; id < kThreads; ++id) threads.emplace_back(worker, id);
  for (auto &thread : threads) thread.join();
  for (auto &slot : shared) {
    const int handle = slot.exchange(0);
    if (handle != 0 && Quorel_Release(handle) == 1) released.fetch_add(1);
  }
  EXPECT_EQ(created.load(), kThreads * kRounds);
  EXPECT_EQ(released.load(), created.load()) << "every camera is released exactly once";
  std::lock_guard<std::mutex> guard(quorel::CSdkChain::Instance().lock());
  EXPECT_EQ(quorel::CSdkChain::Instance().count(), 0);
}

}  // namespace
