// The fault matrix: every device-touching export, and streaming, against a
// camera whose requests of one kind fail, come back short, come back as
// garbage or block past their time-out. Nothing may crash or hang; failures
// give the exports' failure values and codes; no thread or descriptor
// outlives the camera; and once the faults stop, the camera works again.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "support/TestEnvironment.h"
#include "tests/fakes/HostileBackend.h"

namespace quorel {
namespace {

using Hostile = test::HostileBackend;
using Clock = std::chrono::steady_clock;

int CountEntries(const char *dir) {
  int n = 0;
  if (DIR *d = opendir(dir)) {
    while (dirent *e = readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
    closedir(d);
  }
  return n;
}

// Threads of this process, leaving out the image thread pool, which is the
// process's and stays once started.
int CountThreads() {
  int n = 0;
  if (DIR *d = opendir("/proc/self/task")) {
    while (dirent *e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      n += name.rfind("quorel-band", 0) == 0 ? 0 : 1;
    }
    closedir(d);
  }
  return n;
}

// Waits (with a generous deadline) until the process is back to `threads`.
int ThreadsSettleTo(int threads) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  int now = CountThreads();
  while (now > threads && Clock::now() < deadline) {
    QuorelHostMsg msg{};
    QuorelHost_WaitMessage(nullptr, &msg, 10);
    now = CountThreads();
  }
  return now;
}

// The thread count to come back to. ThreadSanitizer starts a helper thread
// of its own with the first thread a process makes; one short thread first
// puts it in the count, which is taken once that thread has left the list.
int BaselineThreads() {
  long tid = 0;
  std::thread([&tid] { tid = syscall(SYS_gettid); }).join();
  const std::string entry = "/proc/self/task/" + std::to_string(tid);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (access(entry.c_str(), F_OK) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return CountThreads();
}

// The names of this process's threads, for a failure message.
std::string ThreadNames() {
  std::string names;
  if (DIR *d = opendir("/proc/self/task")) {
    while (dirent *e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      names += name + " ";
    }
    closedir(d);
  }
  return names;
}

std::vector<int> History(int handle) {
  std::vector<int> codes;
  for (int code; (code = Quorel_GetLastError(handle)) != 0;) codes.push_back(code);
  return codes;
}

class HostileDevice : public testing::Test {
 protected:
  void SetUp() override {
    test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    // A blocked request is held 10 ms, then fails as after its time-out.
    backend_ = std::make_shared<Hostile>(std::chrono::milliseconds(10));
    previous_ = SetDriverBackendOverride(backend_);
  }
  void TearDown() override { SetDriverBackendOverride(previous_); }

  int OpenCamera(HWND events) {
    const int h = Quorel_Initialize(events);
    EXPECT_NE(h, 0);
    EXPECT_EQ(Quorel_SetCaptureWindowEx(h, 3488, 0, 160, 2616, 0, 120), 1);
    EXPECT_EQ(Quorel_SetPreviewWindow(h, nullptr, 0, 0, 0, 0), 1);
    EXPECT_EQ(Quorel_SetColorMode(h, 24), 1);
    History(h);
    return h;
  }

  std::shared_ptr<Hostile> backend_;
  std::shared_ptr<DriverBackend> previous_;
};

TEST_F(HostileDevice, EveryFaultOfEveryRequestKindIsSurvived) {
  const int baseThreads = BaselineThreads();
  const int baseFds = CountEntries("/proc/self/fd");
  std::vector<unsigned char> buffer(static_cast<size_t>(160 * 3) * 120);
  const int size = static_cast<int>(buffer.size());
  for (int k = 0; k < static_cast<int>(Hostile::Kind::kCount); ++k) {
    // One camera goes through every fault of a kind, recovering in between.
    HWND events = QuorelHost_CreateMessageWindow();
    HWND frames = QuorelHost_CreateMessageWindow();
    const int h = OpenCamera(events);
    for (int f = 0; f < static_cast<int>(Hostile::Fault::kCount); ++f) {
      const auto kind = static_cast<Hostile::Kind>(k);
      const auto fault = static_cast<Hostile::Fault>(f);
      SCOPED_TRACE(std::string(Hostile::KindName(kind)) + " / " + Hostile::FaultName(fault));
      backend_->SetRules({{kind, fault}});
      const auto start = Clock::now();
      // An open has no reply to garble: every fault fails it.
      const bool failing = fault != Hostile::Fault::kGarbage || kind == Hostile::Kind::kOpen;

      int ok = -1;
      Quorel_ReadRegister(h, 0x12, &ok);
      std::vector<int> codes = History(h);
      if (failing && (kind == Hostile::Kind::kRegisterRead || kind == Hostile::Kind::kOpen ||
                      (kind == Hostile::Kind::kCommand && fault != Hostile::Fault::kShort))) {
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(codes, std::vector<int>{6});
      } else if (kind != Hostile::Kind::kCommand) {
        EXPECT_EQ(ok, 1);
        EXPECT_TRUE(codes.empty());
      }
      const int written = Quorel_WriteRegister(h, 0x12, 0x40);
      codes = History(h);
      if (failing && (kind == Hostile::Kind::kCommand || kind == Hostile::Kind::kOpen)) {
        EXPECT_EQ(written, 0);
        EXPECT_EQ(codes, std::vector<int>{6});
      } else {
        EXPECT_EQ(written, 1);
        EXPECT_TRUE(codes.empty());
      }
      ok = -1;
      Quorel_ReadSromID(h, 1, &ok);
      // A failed identifier read is posted with code 1, never recorded.
      EXPECT_TRUE(History(h).empty());
      if (failing && (kind == Hostile::Kind::kSromRead || kind == Hostile::Kind::kOpen)) {
        EXPECT_EQ(ok, 0);
      }
      unsigned char port = 0;
      Quorel_GetIOPort(h, &port);
      Quorel_SetIOPort(h, 3);
      Quorel_SetRealExposureTime(h, 5000);
      Quorel_SetMirrorH(h, 1);
      QuorelCameraInfo info{};
      info.size = sizeof info;
      Quorel_GetCameraInfo(h, &info);
      Quorel_SetDeviceNumber(h, 0);
      const int snapped = Quorel_SnapShot(h, buffer.data(), size, 1);
      if (failing && (kind == Hostile::Kind::kFrameRead || kind == Hostile::Kind::kOpen)) {
        EXPECT_EQ(snapped, 0);
      }
      History(h);

      // Streaming under the fault: started or refused, it stops on request.
      if (Quorel_CallBackPreview(h, frames, buffer.data(), size, 1) == 1) {
        QuorelHostMsg msg{};
        QuorelHost_WaitMessage(frames, &msg, 100);
      }
      EXPECT_EQ(Quorel_StopPreview(h), 1);
      History(h);
      // Each request blocks 10 ms at most; all of the above stays far below.
      EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));

      // The faults end: the same camera works again.
      backend_->Clear();
      ok = 0;
      Quorel_ReadRegister(h, 0x12, &ok);
      EXPECT_EQ(ok, 1);
      EXPECT_EQ(Quorel_SnapShot(h, buffer.data(), size, 1), 1);
      EXPECT_EQ(Quorel_Close(h), 1);
      History(h);
    }
    EXPECT_EQ(Quorel_Release(h), 1);
    QuorelHost_DestroyWindow(events);
    QuorelHost_DestroyWindow(frames);
  }
  EXPECT_LE(ThreadsSettleTo(baseThreads), baseThreads) << ThreadNames();
  EXPECT_LE(CountEntries("/proc/self/fd"), baseFds);
}

}  // namespace
}  // namespace quorel
