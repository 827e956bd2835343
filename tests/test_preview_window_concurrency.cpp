// The preview window while the worker paints into it: windows replaced,
// closed and re-created from application threads of two cameras at once,
// and create/close cycles that must leave no window or shared segment on
// the server. Runs under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "x11/CameraWindowFixture.h"

namespace {

using quorel::test::CameraWindowTest;

class PreviewWindowConcurrency : public CameraWindowTest {};

int SharedSegmentsOfThisProcess() {
  FILE *file = std::fopen("/proc/sysvipc/shm", "r");
  if (file == nullptr) return -1;
  char line[512];
  int count = 0;
  if (std::fgets(line, sizeof line, file) == nullptr) count = -1;  // header
  while (std::fgets(line, sizeof line, file) != nullptr) {
    int key, shmid, perms, cpid;
    unsigned long size;
    if (std::sscanf(line, "%d %d %o %lu %d", &key, &shmid, &perms, &size, &cpid) == 5 && cpid == getpid()) ++count;
  }
  std::fclose(file);
  return count;
}

TEST_F(PreviewWindowConcurrency, WindowsReplacedAndClosedWhileTwoWorkersPaint) {
  const int handles[2] = {OpenCamera(0), OpenCamera(3)};
  HWND frames[2] = {frames_, QuorelHost_CreateMessageWindow()};
  const Window parent = probe_->CreateTopLevel(0, 0, 700, 500);
  HWND wrapped = QuorelHost_WrapX11Window(parent);
  std::vector<std::thread> threads;
  threads.reserve(2);
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      const int h = handles[i];
      EXPECT_EQ(Quorel_SetColorMode(h, i == 0 ? 24 : 8), 1);
      for (int round = 0; round < 4; ++round) {
        // A child window (scaled path) for one camera, a top-level window
        // (exact path) for the other.
        if (i == 0) {
          EXPECT_EQ(Quorel_SetPreviewWindow(h, wrapped, 10 + round, 10, 300 + round, 200), 1);
        } else {
          EXPECT_EQ(Quorel_SetPreviewWindow(h, nullptr, 0, 0, 1, 1), 1);
        }
        EXPECT_EQ(Quorel_CallBackPreview(h, frames[i], nullptr, 0, 0), 1);
        EXPECT_TRUE(WaitFrames(frames[i], 1));
        // A second start while running replaces the window under the
        // painting worker.
        EXPECT_EQ(Quorel_CallBackPreview(h, frames[i], nullptr, 0, 0), 1);
        EXPECT_TRUE(WaitFrames(frames[i], 1));
        if (round % 2 == 0) {
          EXPECT_EQ(Quorel_StopPreview(h), 1);
        }
        EXPECT_EQ(Quorel_Close(h), 1);
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_TRUE(probe_->Children(parent).empty());
  EXPECT_EQ(probe_->TopLevelsTitled("Active Window"), topLevelsBefore_);
  QuorelHost_DestroyWindow(wrapped);
  QuorelHost_DestroyWindow(frames[1]);
}

// Each start prepares the sensor (about 100 ms on the virtual camera), so the
// camera runs fewer cycles than the module's own hundred.
TEST_F(PreviewWindowConcurrency, CreateCloseCyclesWhilePaintingLeaveNothingBehind) {
  const int h = OpenCamera();
  const size_t before = probe_->Children(probe_->root()).size();
  const int segments = SharedSegmentsOfThisProcess();
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1) << i;
    if (i % 4 == 0) {
      ASSERT_TRUE(WaitFrames(frames_, 1)) << i;
    }
    ASSERT_EQ(Quorel_Close(h), 1) << i;
  }
  EXPECT_EQ(probe_->Children(probe_->root()).size(), before);
  EXPECT_EQ(SharedSegmentsOfThisProcess(), segments);
}

}  // namespace
