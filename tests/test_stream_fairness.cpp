// Two virtual units streaming at full speed in one process. The virtual
// camera's transfer threads copy frames without ever blocking in the kernel;
// at real-time priority (granted to root) two of them starved every other
// thread of the process (86 frames a second on one unit, 4.3 on the other).
#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "support/TestEnvironment.h"

namespace {

// Scheduling policies of this process's threads named `name`.
std::vector<int> PoliciesOfThreads(const std::string &name) {
  std::vector<int> policies;
  DIR *dir = opendir("/proc/self/task");
  if (dir == nullptr) return policies;
  while (dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string threadName;
    std::getline(comm, threadName);
    if (threadName == name) policies.push_back(sched_getscheduler(std::stoi(entry->d_name)));
  }
  closedir(dir);
  return policies;
}

TEST(StreamFairness, TwoVirtualUnitsAtFullSpeedEachGetAFairShare) {
  quorel::test::UseFreshRegistry();
  ASSERT_EQ(QuorelSim_Enable("units=0,1;fps=max;scene=chart"), 1);
  struct Unit {
    HWND events = nullptr;
    HWND frames = nullptr;
    int handle = 0;
    std::vector<unsigned char> buffer;
    int delivered = 0;
  } units[2];
  for (int i = 0; i < 2; ++i) {
    Unit &u = units[i];
    u.events = QuorelHost_CreateMessageWindow();
    u.frames = QuorelHost_CreateMessageWindow();
    u.handle = Quorel_Initialize(u.events);
    ASSERT_NE(u.handle, 0);
    ASSERT_EQ(Quorel_SetDeviceNumber(u.handle, i), 1);
    ASSERT_EQ(Quorel_SetCaptureWindowEx(u.handle, 3488, 0, 320, 2616, 0, 240), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(u.handle, nullptr, 0, 0, 0, 0), 1);
    ASSERT_EQ(Quorel_SetColorMode(u.handle, 24), 1);
    u.buffer.resize(static_cast<size_t>(320 * 3) * 240);
  }
  // Both cameras exist before either streams: a new camera object sets up
  // unit 0 while it initialises, which would stop a stream running there.
  for (Unit &u : units) {
    ASSERT_EQ(Quorel_CallBackPreview(u.handle, u.frames, u.buffer.data(), static_cast<int>(u.buffer.size()), 1), 1);
  }

  // Both transfer threads run, and neither has a real-time policy.
  std::vector<int> policies;
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    for (Unit &u : units) {
      QuorelHostMsg msg{};
      while (QuorelHost_PeekMessage(u.frames, &msg) == 1) u.delivered += msg.message == QUOREL_WM_FRAME ? 1 : 0;
    }
    if (policies.size() < 2) policies = PoliciesOfThreads("quorel-transfer");
    if (units[0].delivered + units[1].delivered >= 400 && policies.size() >= 2) break;
    QuorelHostMsg msg{};
    if (QuorelHost_WaitMessage(units[0].frames, &msg, 5) == 1 && msg.message == QUOREL_WM_FRAME) ++units[0].delivered;
  }
  for (Unit &u : units) {
    Quorel_StopPreview(u.handle);
    Quorel_Release(u.handle);
    QuorelHost_DestroyWindow(u.events);
    QuorelHost_DestroyWindow(u.frames);
  }
  ASSERT_EQ(policies.size(), 2u);
  for (int policy : policies) EXPECT_EQ(policy, SCHED_OTHER);
  const int low = std::min(units[0].delivered, units[1].delivered);
  const int high = std::max(units[0].delivered, units[1].delivered);
  EXPECT_GT(low, 0);
  EXPECT_GE(3 * low, high) << units[0].delivered << " and " << units[1].delivered << " frames";
}

}  // namespace
