// quorel-soak: streams every colour mode in turn on the virtual camera with
// faults injected at random, while hammer threads call setters, getters,
// copies, saves and filter changes on the streaming handles and on released
// ones. Prints, every report interval and at the end: frames delivered,
// errors by code, resident memory, open descriptors and threads.
//
//   quorel-soak [--seconds N] [--units K] [--threads T] [--report S]
//
// Exit 0 when the run ended cleanly; 1 when descriptors or threads remained
// after every camera was released (memory is for the reader to compare: the
// allocator keeps what it once had).
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"

namespace {

using Clock = std::chrono::steady_clock;

int CountEntries(const char *dir) {
  int n = 0;
  if (DIR *d = opendir(dir)) {
    while (dirent *e = readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
    closedir(d);
  }
  return n;
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Counters {
  std::atomic<uint64_t> frames{0};
  std::atomic<uint64_t> calls{0};
  std::mutex mutex;
  std::map<int, uint64_t> errors;  // code -> count
  void Error(int code) {
    std::lock_guard<std::mutex> lock(mutex);
    ++errors[code];
  }
  std::string ErrorText() {
    std::lock_guard<std::mutex> lock(mutex);
    std::string text;
    for (const auto &[code, count] : errors) text += " " + std::to_string(code) + ":" + std::to_string(count);
    return text.empty() ? " none" : text;
  }
};

void Report(const char *when, double seconds, Counters &c) {
  std::printf("%s %7.1f s  frames %llu  calls %llu  rss %ld KiB  fds %d  threads %d  errors%s\n", when, seconds,
              static_cast<unsigned long long>(c.frames.load()), static_cast<unsigned long long>(c.calls.load()),
              ResidentKiB(), CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"), c.ErrorText().c_str());
  std::fflush(stdout);
}

int Arg(int argc, char **argv, const char *name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  }
  return fallback;
}

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kBits[] = {8, 16, 24, 32, 48, 64};

}  // namespace

int main(int argc, char **argv) {
  const int seconds = Arg(argc, argv, "--seconds", 60);
  const int units = std::max(1, std::min(8, Arg(argc, argv, "--units", 2)));
  const int threadCount = std::max(1, Arg(argc, argv, "--threads", 8));
  const int reportEvery = std::max(1, Arg(argc, argv, "--report", 10));
  std::string config = "fps=max;scene=chart;noise=1;units=";
  for (int u = 0; u < units; ++u) config += (u ? "," : "") + std::to_string(u);
  if (QuorelSim_Enable(config.c_str()) != 1) return 2;

  const int startFds = CountEntries("/proc/self/fd");
  const int startThreads = CountEntries("/proc/self/task");
  Counters counters;
  struct Stream {
    HWND frames = nullptr;
    int handle = 0;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(static_cast<size_t>(kWidth * 8) * kHeight);
  };
  std::vector<Stream> streams(static_cast<size_t>(units));
  for (int u = 0; u < units; ++u) {
    Stream &s = streams[static_cast<size_t>(u)];
    s.frames = QuorelHost_CreateMessageWindow();
    s.handle = Quorel_Initialize(nullptr);
    Quorel_SetDeviceNumber(s.handle, u);
    Quorel_SetCaptureWindowEx(s.handle, 3488, 0, kWidth, 2616, 0, kHeight);
    Quorel_SetPreviewWindow(s.handle, nullptr, 0, 0, 0, 0);
    Quorel_SetWaitTime(s.handle, 0);
  }
  std::vector<int> released;  // handles that no longer name a camera
  for (int i = 0; i < 4; ++i) {
    const int h = Quorel_Initialize(nullptr);
    Quorel_Release(h);
    released.push_back(h);
  }

  std::atomic<bool> stop{false};
  std::vector<std::thread> hammers;
  for (int t = 0; t < threadCount; ++t) {
    hammers.emplace_back([&, t] {
      std::mt19937 rng(static_cast<unsigned>(t) * 104729u + 17);
      std::vector<unsigned char> copy(static_cast<size_t>(kWidth * 8) * kHeight);
      const std::string file = "/tmp/quorel-soak-" + std::to_string(getpid()) + "-" + std::to_string(t);
      while (!stop.load()) {
        const bool stale = rng() % 8 == 0;
        const int h = stale ? released[rng() % released.size()] : streams[rng() % streams.size()].handle;
        int ok = 0;
        switch (rng() % 14) {
          case 0:
            Quorel_SetFilterValue(h, static_cast<int>(rng() % 12), static_cast<int>(rng() % 300) - 20);
            break;
          case 1:
            Quorel_GetFilterValue(h, static_cast<int>(rng() % 12), &ok);
            break;
          case 2:
            Quorel_GetImage(h, copy.data(), static_cast<int>(copy.size()), static_cast<int>(rng() % 2));
            break;
          case 3:
            if (rng() % 50 == 0) Quorel_SaveImage(h, (file + ".png").c_str(), 5);
            break;
          case 4:
            Quorel_SetRealExposureTime(h, 1000 + static_cast<int>(rng() % 20000));
            break;
          case 5:
            Quorel_SetMirrorH(h, static_cast<int>(rng() % 2));
            break;
          case 6:
            Quorel_ReadRegister(h, 0x12, &ok);
            break;
          case 7:
            Quorel_GetStatus(h);
            Quorel_Width(h);
            Quorel_Height(h);
            Quorel_GetColorMode(h);
            break;
          case 8:
            Quorel_SetWaitTime(h, static_cast<int>(rng() % 3));
            break;
          case 9: {
            QuorelCameraInfo info{};
            info.size = sizeof info;
            Quorel_GetCameraInfo(h, &info);
            break;
          }
          case 10:
            Quorel_GetRealExposureTime(h, &ok);
            Quorel_GetAutoIris(h, &ok);
            break;
          case 11:
            Quorel_SnapShot(h, copy.data(), static_cast<int>(copy.size()), 1);  // refused while streaming
            break;
          case 12: {
            unsigned char port = 0;
            Quorel_GetIOPort(h, &port);
            break;
          }
          default:
            for (int code; (code = Quorel_GetLastError(h)) != 0;) counters.Error(code);
            break;
        }
        counters.calls.fetch_add(1);
      }
      std::remove((file + ".png").c_str());
    });
  }

  std::mt19937 rng(42);
  const auto start = Clock::now();
  auto nextReport = start + std::chrono::seconds(reportEvery);
  auto nextMode = start;
  size_t mode = 0;
  bool warmReported = false;
  while (Clock::now() - start < std::chrono::seconds(seconds)) {
    if (Clock::now() >= nextMode) {
      // Every colour mode in turn on every unit; a stream ended by a fault
      // starts again with the next mode.
      const int bits = kBits[mode++ % 6];
      for (Stream &s : streams) {
        Quorel_StopPreview(s.handle);
        Quorel_SetColorMode(s.handle, bits);
        if (Quorel_CallBackPreview(s.handle, s.frames, s.buffer.data(), static_cast<int>(s.buffer.size()), 1) != 1) {
          counters.Error(-1);
        }
      }
      nextMode = Clock::now() + std::chrono::seconds(2);
    }
    if (rng() % 400 == 0) {
      static const char *kFaults[] = {"short-frame", "fail-frame", "stall=50", "fail-register"};
      QuorelSim_InjectFault(static_cast<int>(rng() % static_cast<unsigned>(units)), kFaults[rng() % 4]);
    }
    for (Stream &s : streams) {
      QuorelHostMsg msg{};
      while (QuorelHost_PeekMessage(s.frames, &msg) == 1) {
        if (msg.message != QUOREL_WM_FRAME) continue;
        if (msg.lParam == 0) {
          counters.frames.fetch_add(1);
        } else {
          counters.Error(static_cast<int>(msg.lParam) + 1000);  // frame-message codes, told apart
        }
      }
    }
    QuorelHostMsg msg{};
    QuorelHost_WaitMessage(streams[0].frames, &msg, 5);
    if (msg.message == QUOREL_WM_FRAME && msg.lParam == 0) counters.frames.fetch_add(1);
    if (Clock::now() >= nextReport) {
      const double at = std::chrono::duration<double>(Clock::now() - start).count();
      Report(warmReported ? "soak  " : "warmup", at, counters);
      warmReported = true;
      nextReport += std::chrono::seconds(reportEvery);
    }
  }
  stop.store(true);
  for (std::thread &t : hammers) t.join();
  for (Stream &s : streams) {
    Quorel_StopPreview(s.handle);
    for (int code; (code = Quorel_GetLastError(s.handle)) != 0;) counters.Error(code);
    Quorel_Release(s.handle);
    QuorelHost_DestroyWindow(s.frames);
  }
  Report("end   ", std::chrono::duration<double>(Clock::now() - start).count(), counters);
  // Released: the library's threads end (the image pool's stay), descriptors close.
  const int endFds = CountEntries("/proc/self/fd");
  std::printf("after release: fds %d (at start %d), threads %d (at start %d)\n", endFds, startFds,
              CountEntries("/proc/self/task"), startThreads);
  return endFds > startFds ? 1 : 0;
}
