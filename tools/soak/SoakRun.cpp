#include "SoakRun.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ProcessFigures.h"
#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kBits[] = {8, 16, 24, 32, 48, 64};
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * 8 * kHeight;  // any mode at this size

// Counts by code, shared by every thread.
class CodeCounts {
 public:
  void Add(int code) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[code];
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const auto &[code, count] : counts_) text += " " + std::to_string(code) + ":" + std::to_string(count);
    return text.empty() ? " none" : text;
  }

 private:
  std::mutex mutex_;
  std::map<int, unsigned long long> counts_;
};

// Where one thread is: the call it is inside and since when. A call that
// stays too long is a hang (or a starved lock), and the run fails with its
// name instead of printing nothing until an outer time-out. A thread that
// has not started or has finished is doing nothing (null).
struct Heartbeat {
  std::atomic<const char *> doing{nullptr};
  std::atomic<long long> sinceMs{0};
};

class Soak {
 public:
  explicit Soak(const SoakOptions &options) : options_(options), start_(Clock::now()) {}

  int Run();

 private:
  struct Stream {
    HWND frames = nullptr;
    int handle = 0;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kFrameBytes);
  };

  long long NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  }
  void Enter(Heartbeat &beat, const char *call) {
    beat.sinceMs.store(NowMs(), std::memory_order_relaxed);
    beat.doing.store(call, std::memory_order_relaxed);
  }
  bool SetUp();
  void TearDown();
  void Hammer(int index);
  void HammerOnce(std::mt19937 &rng, Heartbeat &beat, std::vector<unsigned char> &copy, const std::string &file);
  void DrainMessages(Stream &s);
  void Reporter();
  void Report(const char *label);
  bool Stalled();

  const SoakOptions options_;
  const Clock::time_point start_;
  std::vector<Stream> streams_;
  std::vector<int> released_;                      // handles that no longer name a camera
  std::vector<std::unique_ptr<Heartbeat>> beats_;  // [0] the streaming thread, then the hammers

  std::atomic<unsigned long long> frames_{0};
  std::atomic<unsigned long long> calls_{0};
  std::atomic<unsigned long long> failedStarts_{0};
  std::atomic<unsigned long long> faults_{0};
  CodeCounts errors_;       // codes from the error history
  CodeCounts frameErrors_;  // codes carried by frame messages
  std::atomic<long long> streamingSinceMs_{-1};
  std::atomic<bool> stopHammers_{false};

  std::mutex reportMutex_;
  std::condition_variable reportWake_;
  bool stopReports_ = false;
  bool warmupTaken_ = false;
  ProcessFigures warmup_;
};

bool Soak::SetUp() {
  Heartbeat &beat = *beats_[0];
  std::string config = "fps=max;scene=chart;noise=1;units=";
  for (int u = 0; u < options_.units; ++u) config += (u ? "," : "") + std::to_string(u);
  Enter(beat, "QuorelSim_Enable");
  if (QuorelSim_Enable(config.c_str()) != 1) return false;
  streams_.resize(static_cast<size_t>(options_.units));
  for (int u = 0; u < options_.units; ++u) {
    Stream &s = streams_[static_cast<size_t>(u)];
    s.frames = QuorelHost_CreateMessageWindow();
    Enter(beat, "Quorel_Initialize");
    s.handle = Quorel_Initialize(nullptr);
    Enter(beat, "Quorel_SetDeviceNumber");
    if (s.handle == 0 || Quorel_SetDeviceNumber(s.handle, u) != 1) return false;
    Enter(beat, "Quorel_SetCaptureWindowEx");
    if (Quorel_SetCaptureWindowEx(s.handle, 3488, 0, kWidth, 2616, 0, kHeight) != 1) return false;
    Quorel_SetPreviewWindow(s.handle, nullptr, 0, 0, 0, 0);
    Quorel_SetWaitTime(s.handle, 0);
  }
  for (int i = 0; i < 2; ++i) {
    Enter(beat, "Quorel_Initialize (to release)");
    const int h = Quorel_Initialize(nullptr);
    Quorel_Release(h);
    released_.push_back(h);
  }
  return true;
}

void Soak::TearDown() {
  Heartbeat &beat = *beats_[0];
  for (Stream &s : streams_) {
    Enter(beat, "Quorel_StopPreview (end)");
    Quorel_StopPreview(s.handle);
    for (int code; (code = Quorel_GetLastError(s.handle)) != 0;) errors_.Add(code);
    Enter(beat, "Quorel_Release (end)");
    Quorel_Release(s.handle);
    QuorelHost_DestroyWindow(s.frames);
  }
  // A fault left armed on a unit would meet the next program's first frame.
  for (int u = 0; u < options_.units; ++u) QuorelSim_SetPresent(u, 1);
}

void Soak::HammerOnce(std::mt19937 &rng, Heartbeat &beat, std::vector<unsigned char> &copy, const std::string &file) {
  const bool stale = rng() % 8 == 0;
  Stream &stream = streams_[rng() % streams_.size()];
  const int h = stale ? released_[rng() % released_.size()] : stream.handle;
  const int size = static_cast<int>(copy.size());
  int ok = 0;
  switch (rng() % 20) {
    case 0:
      Enter(beat, "Quorel_SetFilterValue");
      Quorel_SetFilterValue(h, static_cast<int>(rng() % 12), static_cast<int>(rng() % 300) - 20);
      break;
    case 1:
      Enter(beat, "Quorel_GetFilterValue");
      Quorel_GetFilterValue(h, static_cast<int>(rng() % 12), &ok);
      break;
    case 2:
      Enter(beat, "Quorel_GetImage");
      Quorel_GetImage(h, copy.data(), size, static_cast<int>(rng() % 2));
      break;
    case 3:
      if (rng() % 50 == 0) {
        static const int kTypes[] = {QUOREL_FILE_BMP, QUOREL_FILE_JPEG_70, QUOREL_FILE_PNG, QUOREL_FILE_TIFF};
        Enter(beat, "Quorel_SaveImage");
        Quorel_SaveImage(h, (file + ".img").c_str(), kTypes[rng() % 4]);
      }
      break;
    case 4:
      Enter(beat, "Quorel_SetRealExposureTime");
      Quorel_SetRealExposureTime(h, 1000 + static_cast<int>(rng() % 20000));
      break;
    case 5:
      Enter(beat, "Quorel_SetMirrorH/V");
      Quorel_SetMirrorH(h, static_cast<int>(rng() % 2));
      Quorel_SetMirrorV(h, static_cast<int>(rng() % 2));
      break;
    case 6:
      Enter(beat, "Quorel_ReadRegister");
      Quorel_ReadRegister(h, 0x3012, &ok);
      Quorel_ReadSromID(h, static_cast<int>(rng() % 8), &ok);
      break;
    case 7:
      Enter(beat, "Quorel_Get* (format)");
      Quorel_GetStatus(h);
      Quorel_Width(h);
      Quorel_Height(h);
      Quorel_GetColorMode(h);
      Quorel_GetSubSample(h);
      Quorel_GetWaitTime(h);
      Quorel_GetHalfClock(h, &ok);
      Quorel_Fps(h);
      break;
    case 8:
      Enter(beat, "Quorel_SetWaitTime");
      Quorel_SetWaitTime(h, static_cast<int>(rng() % 3));
      break;
    case 9: {
      Enter(beat, "Quorel_GetCameraInfo");
      QuorelCameraInfo info{};
      info.size = sizeof info;
      Quorel_GetCameraInfo(h, &info);
      char name[64];
      Quorel_GetDeviceName(h, static_cast<int>(rng() % 4), name, static_cast<int>(sizeof name));
      break;
    }
    case 10:
      Enter(beat, "Quorel_Get* (sensor)");
      Quorel_GetRealExposureTime(h, &ok);
      Quorel_GetAutoIris(h, &ok);
      Quorel_GetMirrorH(h);
      Quorel_GetMirrorV(h);
      break;
    case 11:
      Enter(beat, "Quorel_SnapShot");
      Quorel_SnapShot(h, copy.data(), size, 1);  // refused while streaming
      break;
    case 12: {
      Enter(beat, "Quorel_GetIOPort");
      unsigned char port = 0;
      Quorel_GetIOPort(h, &port);
      break;
    }
    case 13:
      Enter(beat, "Quorel_SetAutoIris");
      Quorel_SetAutoIris(h, static_cast<int>(rng() % 3));
      break;
    case 14:
      Enter(beat, "Quorel_SetColorMode");
      Quorel_SetColorMode(h, kBits[rng() % 6]);  // applies from the next start
      break;
    case 15:
      // Acquisition changes from a second thread, as a UI thread does
      // beside the one that streams.
      if (rng() % 40 == 0) {
        Enter(beat, "Quorel_StopPreview/StartPreview");
        Quorel_StopPreview(h);
        Quorel_CallBackPreview(h, stream.frames, stream.buffer.data(), static_cast<int>(stream.buffer.size()), 1);
      }
      break;
    case 16:
      if (rng() % 200 == 0) {
        Enter(beat, "Quorel_Record");
        Quorel_Record(h, (file + ".avi").c_str(), 200, 0);
      }
      break;
    case 17:
      Enter(beat, "Quorel_SetSubSample");
      Quorel_SetSubSample(h, rng() % 2 == 0 ? 0 : 1);
      break;
    default:
      Enter(beat, "Quorel_GetLastError");
      for (int code; (code = Quorel_GetLastError(h)) != 0;) errors_.Add(code);
      break;
  }
  calls_.fetch_add(1, std::memory_order_relaxed);
}

void Soak::Hammer(int index) {
  Heartbeat &beat = *beats_[static_cast<size_t>(index) + 1];
  std::mt19937 rng(static_cast<unsigned>(index) * 104729u + 17);
  std::vector<unsigned char> copy(kFrameBytes);
  const std::string file = "/tmp/quorel-soak-" + std::to_string(getpid()) + "-" + std::to_string(index);
  while (!stopHammers_.load()) HammerOnce(rng, beat, copy, file);
  beat.doing.store(nullptr);
  std::remove((file + ".img").c_str());
  std::remove((file + ".avi").c_str());
}

void Soak::DrainMessages(Stream &s) {
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(s.frames, &msg) == 1) {
    if (msg.message != QUOREL_WM_FRAME) continue;
    if (msg.lParam == 0) {
      frames_.fetch_add(1, std::memory_order_relaxed);
    } else {
      frameErrors_.Add(static_cast<int>(msg.lParam));
    }
  }
}

void Soak::Report(const char *label) {
  const ProcessFigures f = ReadProcessFigures();
  std::printf(
      "%-7s %7.1f s  frames %llu  calls %llu  faults %llu  rss %ld KiB  heap %ld KiB (free %ld)  fds %d  threads %d"
      "  errors%s  frame-errors%s  failed-starts %llu\n",
      label, static_cast<double>(NowMs()) / 1000.0, frames_.load(), calls_.load(), faults_.load(), f.residentKiB,
      f.heapInUseKiB, f.heapFreeKiB, f.descriptors, f.threads, errors_.Text().c_str(), frameErrors_.Text().c_str(),
      failedStarts_.load());
  std::fflush(stdout);
  const long long streaming = streamingSinceMs_.load();
  if (!warmupTaken_ && streaming >= 0 && NowMs() - streaming >= options_.warmupSeconds * 1000LL) {
    warmupTaken_ = true;
    warmup_ = f;
    std::printf("warm-up figures taken: rss %ld KiB, heap %ld KiB, fds %d, threads %d\n", f.residentKiB, f.heapInUseKiB,
                f.descriptors, f.threads);
    std::fflush(stdout);
  }
}

bool Soak::Stalled() {
  const long long now = NowMs();
  for (size_t i = 0; i < beats_.size(); ++i) {
    const char *doing = beats_[i]->doing.load(std::memory_order_relaxed);
    const long long since = beats_[i]->sinceMs.load(std::memory_order_relaxed);
    if (doing != nullptr && now - since > options_.stallSeconds * 1000LL) {
      std::printf("STALLED: %s %zu inside %s for %lld s\n", i == 0 ? "streaming thread" : "hammer", i, doing,
                  (now - since) / 1000);
      std::fflush(stdout);
      return true;
    }
  }
  return false;
}

void Soak::Reporter() {
  auto next = start_ + std::chrono::seconds(options_.reportEvery);
  std::unique_lock<std::mutex> lock(reportMutex_);
  while (!stopReports_) {
    if (reportWake_.wait_until(lock, next, [this] { return stopReports_; })) break;
    const long long streaming = streamingSinceMs_.load();
    Report(streaming < 0 ? "setup" : (warmupTaken_ ? "soak" : "warmup"));
    if (Stalled()) {
      // Nothing can be shut down cleanly past a hung call.
      std::_Exit(3);
    }
    next += std::chrono::seconds(options_.reportEvery);
  }
}

int Soak::Run() {
  for (int i = 0; i <= options_.threads; ++i) beats_.push_back(std::make_unique<Heartbeat>());
  const ProcessFigures atStart = ReadProcessFigures();
  std::thread reporter([this] { Reporter(); });
  Heartbeat &beat = *beats_[0];
  if (!SetUp()) {
    const char *last = beat.doing.load();
    std::printf("set-up failed (last call %s)\n", last != nullptr ? last : "none");
    {
      std::lock_guard<std::mutex> lock(reportMutex_);
      stopReports_ = true;
    }
    reportWake_.notify_all();
    reporter.join();
    return 2;
  }
  streamingSinceMs_.store(NowMs());
  std::vector<std::thread> hammers;
  hammers.reserve(static_cast<size_t>(options_.threads > 0 ? options_.threads : 0));
  for (int t = 0; t < options_.threads; ++t) hammers.emplace_back([this, t] { Hammer(t); });

  std::mt19937 rng(42);
  const auto end = Clock::now() + std::chrono::seconds(options_.seconds);
  auto nextMode = Clock::now();
  auto nextFault = Clock::now() + std::chrono::milliseconds(500);
  size_t mode = 0;
  int unplugged = -1;
  while (Clock::now() < end) {
    if (Clock::now() >= nextMode) {
      // Every colour mode in turn on every unit; a stream ended by a fault
      // starts again with the next mode.
      const int bits = kBits[mode++ % 6];
      for (Stream &s : streams_) {
        Enter(beat, "Quorel_StopPreview");
        Quorel_StopPreview(s.handle);
        Enter(beat, "Quorel_SetColorMode");
        Quorel_SetColorMode(s.handle, bits);
        Enter(beat, "Quorel_CallBackPreview");
        if (Quorel_CallBackPreview(s.handle, s.frames, s.buffer.data(), static_cast<int>(s.buffer.size()), 1) != 1) {
          failedStarts_.fetch_add(1);
        }
      }
      nextMode = Clock::now() + std::chrono::seconds(2);
    }
    if (Clock::now() >= nextFault) {
      const int unit = static_cast<int>(rng() % static_cast<unsigned>(options_.units));
      Enter(beat, "QuorelSim_InjectFault");
      if (unplugged >= 0) {
        QuorelSim_SetPresent(unplugged, 1);
        unplugged = -1;
      } else if (rng() % 8 == 0) {
        QuorelSim_SetPresent(unit, 0);  // the stream ends with code 13
        unplugged = unit;
      } else {
        static const char *kFaults[] = {"short-frame", "fail-frame", "stall=50", "fail-register"};
        QuorelSim_InjectFault(unit, kFaults[rng() % 4]);
      }
      faults_.fetch_add(1);
      nextFault = Clock::now() + std::chrono::milliseconds(300 + rng() % 2000);
    }
    Enter(beat, "QuorelHost_PeekMessage");
    for (Stream &s : streams_) DrainMessages(s);
    Enter(beat, "QuorelHost_WaitMessage");
    QuorelHostMsg msg{};
    if (QuorelHost_WaitMessage(streams_[0].frames, &msg, 5) == 1 && msg.message == QUOREL_WM_FRAME) {
      if (msg.lParam == 0) {
        frames_.fetch_add(1, std::memory_order_relaxed);
      } else {
        frameErrors_.Add(static_cast<int>(msg.lParam));
      }
    }
  }
  if (unplugged >= 0) QuorelSim_SetPresent(unplugged, 1);
  for (Stream &s : streams_) DrainMessages(s);
  // The end figures are taken with everything still running, as the
  // warm-up ones were, so that the two compare.
  const ProcessFigures atEnd = ReadProcessFigures();
  {
    std::lock_guard<std::mutex> lock(reportMutex_);
    stopReports_ = true;
    Report("end");
  }
  reportWake_.notify_all();
  reporter.join();
  stopHammers_.store(true);
  for (std::thread &t : hammers) t.join();
  TearDown();

  if (warmupTaken_) {
    std::printf("since warm-up: rss %+ld KiB, heap %+ld KiB, fds %+d, threads %+d\n",
                atEnd.residentKiB - warmup_.residentKiB, atEnd.heapInUseKiB - warmup_.heapInUseKiB,
                atEnd.descriptors - warmup_.descriptors, atEnd.threads - warmup_.threads);
  }
  const ProcessFigures after = ReadProcessFigures();
  std::printf("after release: fds %d (at start %d), threads %d (at start %d), rss %ld KiB\n", after.descriptors,
              atStart.descriptors, after.threads, atStart.threads, after.residentKiB);
  int status = 0;
  if (frames_.load() == 0) {
    std::printf("FAILED: no frame was delivered\n");
    status = 1;
  }
  if (after.descriptors > atStart.descriptors) {
    std::printf("FAILED: %d descriptors left open after every camera was released\n",
                after.descriptors - atStart.descriptors);
    status = 1;
  }
  std::fflush(stdout);
  return status;
}

}  // namespace

int RunSoak(const SoakOptions &options) {
  Soak soak(options);
  return soak.Run();
}

}  // namespace soak
