// One camera handle called from several application threads at once (a UI
// thread and workers do this): preparation, starts and stops of every mode,
// snapshots, closing and image copies interleave freely. Before each
// camera's acquisition state changes were serialised this freed frame
// buffers under a running capture, leaked them, and started a second worker
// (std::terminate). Also: a long wait time never delays a stop.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "support/TestEnvironment.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// Frame workers of this process (preview and trigger) running right now.
int FrameWorkers() {
  int n = 0;
  if (DIR *d = opendir("/proc/self/task")) {
    while (dirent *e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      n += (name == "quorel-preview" || name == "quorel-trigger") ? 1 : 0;
    }
    closedir(d);
  }
  return n;
}

// A joined thread can stay listed in /proc for a moment after pthread_join
// returns (the kernel reaps it after waking the joiner), so a count is only
// believed once it has held for a while.
bool FrameWorkersStayAbove(int most, std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    if (FrameWorkers() <= most) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class CameraConcurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    frames_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(nullptr);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, kWidth, 2616, 0, kHeight), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
  }
  void TearDown() override {
    Quorel_Release(handle_);
    QuorelHost_DestroyWindow(frames_);
  }
  HWND frames_ = nullptr;
  int handle_ = 0;
};

TEST_F(CameraConcurrency, EightThreadsOnOneHandleNeverCrashLeakOrStartTwoWorkers) {
  ASSERT_EQ(Quorel_SetWaitTime(handle_, 0), 1);
  std::atomic<bool> done{false};
  std::atomic<int> mostWorkers{0};
  std::thread watcher([&] {
    while (!done.load()) {
      int n = FrameWorkers();
      // A second worker would run until a stop; an exiting one is gone soon.
      if (n > 1 && !FrameWorkersStayAbove(1, std::chrono::seconds(2))) n = 1;
      if (n > mostWorkers.load()) mostWorkers.store(n);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  // One buffer a thread, large enough for every colour mode at this size.
  // A buffer handed to a callback preview or trigger start stays the
  // library's until acquisition stops, so they outlive the threads.
  std::vector<std::vector<unsigned char>> buffers(
      8, std::vector<unsigned char>(static_cast<size_t>(kWidth * 8) * kHeight));
  std::vector<std::thread> threads;
  threads.reserve(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([this, t, &buffers] {
      std::mt19937 rng(static_cast<unsigned>(t) * 7919u + 1);
      std::vector<unsigned char> &buffer = buffers[static_cast<size_t>(t)];
      const int size = static_cast<int>(buffer.size());
      for (int i = 0; i < 60; ++i) {
        switch (rng() % 11) {
          case 0:
            Quorel_StartPreview(handle_);
            break;
          case 1:
            Quorel_StopPreview(handle_);
            break;
          case 2:
            Quorel_SnapShot(handle_, buffer.data(), size, static_cast<int>(rng() % 2));
            break;
          case 3:
            Quorel_Capture(handle_);
            break;
          case 4:
            Quorel_Close(handle_);
            break;
          case 5:
            Quorel_CallBackPreview(handle_, frames_, buffer.data(), size, 1);
            break;
          case 6:
            Quorel_GetImage(handle_, buffer.data(), size, 0);
            break;
          case 7: {
            static const int kBits[] = {8, 16, 24, 32, 48, 64};
            Quorel_SetColorMode(handle_, kBits[rng() % 6]);
            break;
          }
          case 8:
            Quorel_Trigger(handle_, frames_, buffer.data(), size, 1);
            QuorelSim_Trigger(0);
            break;
          case 9:
            Quorel_Preview(handle_);
            break;
          default:
            Quorel_GetStatus(handle_);
            Quorel_GetLastError(handle_);
            break;
        }
      }
    });
  }
  for (std::thread &t : threads) t.join();
  done.store(true);
  watcher.join();
  EXPECT_LE(mostWorkers.load(), 1);
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_FALSE(FrameWorkersStayAbove(0, std::chrono::seconds(10)));
  // Still a working camera.
  std::vector<unsigned char> buffer(static_cast<size_t>(kWidth * 8) * kHeight);
  ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
  EXPECT_EQ(Quorel_SnapShot(handle_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(frames_, &msg) == 1) {
  }
}

// A wait time of INT_MAX (or a large "WaitTime" in the settings file) made
// the preview worker sleep for the whole period, and a stop waited for it.
TEST_F(CameraConcurrency, StopEndsALongWaitTimeAtOnce) {
  for (int wait : {20000, INT_MAX}) {
    SCOPED_TRACE(wait);
    ASSERT_EQ(Quorel_SetWaitTime(handle_, wait), 1);
    ASSERT_EQ(Quorel_StartPreview(handle_), 1);
    auto stopped = std::async(std::launch::async, [this] { return Quorel_StopPreview(handle_); });
    // Far below the wait time; a machine under any load stops well within it.
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(15)), std::future_status::ready) << "the stop waited";
    EXPECT_EQ(stopped.get(), 1);
  }
}

// Plain setters and getters are lock-free; a start (here a snapshot, which
// prepares acquisition each time) reads and writes the same values: the
// mirror flags, gains and exposure, the exposure conversion, the colour
// mode, the wait time and the sub-sample code. Each of these was once a plain field that ThreadSanitizer saw raced,
// and a sub-sample code read twice in one preparation sized the images for a
// half window and programmed the full one (a heap overrun in the copy).
// Afterwards the camera still holds what the single setter thread set last.
TEST_F(CameraConcurrency, SettersAndGettersBesideStartsKeepTheirValues) {
  std::atomic<bool> done{false};
  std::thread starter([this, &done] {
    std::vector<unsigned char> buffer(static_cast<size_t>(kWidth * 8) * kHeight);
    while (!done.load()) Quorel_SnapShot(handle_, buffer.data(), static_cast<int>(buffer.size()), 1);
  });
  std::thread reader([this, &done] {
    int ok = 0;
    while (!done.load()) {
      Quorel_GetRealExposureTime(handle_, &ok);
      Quorel_GetColorMode(handle_);
      Quorel_GetMirrorH(handle_);
      Quorel_GetSubSample(handle_);
      Quorel_GetWaitTime(handle_);
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(Quorel_SetMirrorH(handle_, i % 2), 1);
    ASSERT_EQ(Quorel_SetMirrorV(handle_, (i / 2) % 2), 1);
    ASSERT_EQ(Quorel_SetRealExposureTime(handle_, 1000 + 10 * i), 1);
    ASSERT_EQ(Quorel_SetColorMode(handle_, i % 3 == 0 ? 8 : 24), 1);
    ASSERT_EQ(Quorel_SetSubSample(handle_, i % 2), 1);
    ASSERT_EQ(Quorel_SetWaitTime(handle_, i % 3), 1);
  }
  done.store(true);
  starter.join();
  reader.join();
  EXPECT_EQ(Quorel_GetMirrorH(handle_), 1);
  EXPECT_EQ(Quorel_GetMirrorV(handle_), 1);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 24);
  EXPECT_EQ(Quorel_GetSubSample(handle_), 1);
  EXPECT_EQ(Quorel_GetWaitTime(handle_), 1);
  int ok = 0;
  const int exposure = Quorel_GetRealExposureTime(handle_, &ok);
  EXPECT_EQ(ok, 1);
  EXPECT_NEAR(exposure, 1000 + 10 * 199, 100);  // whole sensor lines
}

// A stop beside a recording start, on two threads: the stop joins the
// recording thread under the same lock that Record starts it under. Before,
// the stop joined it outside that lock: two stops, or a stop and a Record,
// joined one thread twice (a hang, or later std::terminate), and a stop could
// join a recording that had just started and wait out its whole duration.
TEST_F(CameraConcurrency, StopsBesideRecordingStartsEndEveryRecordingAtOnce) {
  const std::string file = ::testing::TempDir() + "quorel-stop-record-" + std::to_string(getpid()) + ".avi";
  auto run = [this, &file](bool record) {
    return std::async(std::launch::async, [this, &file, record] {
      for (int i = 0; i < 30; ++i) {
        if (record) {
          Quorel_Record(handle_, file.c_str(), 600000, 0);  // ten minutes, unless stopped
        } else {
          Quorel_StopPreview(handle_);
        }
      }
    });
  };
  auto recorder = run(true);
  auto stopperA = run(false);
  auto stopperB = run(false);
  // Far beyond what 90 calls take on a loaded machine; a stop that waited for
  // a recording's duration would take ten minutes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  EXPECT_EQ(recorder.wait_until(deadline), std::future_status::ready);
  EXPECT_EQ(stopperA.wait_until(deadline), std::future_status::ready);
  EXPECT_EQ(stopperB.wait_until(deadline), std::future_status::ready);
  auto last = std::async(std::launch::async, [this] { return Quorel_StopPreview(handle_); });
  ASSERT_EQ(last.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_EQ(last.get(), 1);
  EXPECT_FALSE(FrameWorkersStayAbove(0, std::chrono::seconds(10)));
  std::remove(file.c_str());
}

}  // namespace
