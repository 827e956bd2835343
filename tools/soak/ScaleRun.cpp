#include "ScaleRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ProcessFigures.h"
#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"

extern char **environ;

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kUnitsPerProcess = 8;
constexpr int kTableUnits = 32;

// The counter scene's column step of a unit (see the virtual camera).
unsigned StepOf(int unit) {
  return (7u + 2u * static_cast<unsigned>(unit)) & 0xFFu;
}

// Empty when `image` (8-bit, kWidth x kHeight) is one whole counter frame of
// `unit`; else what is wrong. Every row steps by the unit's column step (the
// first row's first four samples carry the frame number and are left out),
// and every row differs from the one before by the same amount, so a frame
// mixed from two frames shows as well as one from another unit.
std::string CheckFrame(const std::vector<unsigned char> &image, int unit) {
  const unsigned step = StepOf(unit);
  int rowStep = -1;
  for (int y = 0; y < kHeight; ++y) {
    const unsigned char *row = image.data() + static_cast<size_t>(y) * kWidth;
    for (int x = 4; x + 1 < kWidth; ++x) {
      if (((row[x + 1] - row[x]) & 0xFFu) != step) {
        return "column step " + std::to_string((row[x + 1] - row[x]) & 0xFF) + " at " + std::to_string(x) + "," +
               std::to_string(y) + ", not " + std::to_string(step);
      }
    }
    if (y > 0) {
      const int d = (row[kWidth - 1] - row[kWidth - 1 - kWidth]) & 0xFF;
      if (rowStep < 0) rowStep = d;
      if (d != rowStep) return "rows from two frames at row " + std::to_string(y);
    }
  }
  return {};
}

struct Unit {
  int number = 0;
  int handle = 0;
  HWND frames = nullptr;
  std::vector<unsigned char> callbackBuffer = std::vector<unsigned char>(static_cast<size_t>(kWidth) * kHeight * 8);
  unsigned long long delivered = 0;  // frame messages without an error
  unsigned long long checked = 0;    // copies checked whole and its own
  unsigned long long failedFrames = 0;
  std::string wrong;  // the first content fault
};

// Every camera is set up before any starts: a new camera object initialises
// unit 0 of its process, which would break a stream already running there.
// Binned frames (sub-sample code 17) skip defect suppression, so the 8-bit
// samples arrive exactly as the unit sent them.
bool SetUpUnit(Unit &u) {
  u.frames = QuorelHost_CreateMessageWindow();
  u.handle = Quorel_Initialize(nullptr);
  // The window is binned 2 x 2 to kWidth x kHeight.
  return u.frames != nullptr && u.handle != 0 && Quorel_SetDeviceNumber(u.handle, u.number) == 1 &&
         Quorel_SetSubSample(u.handle, 17) == 1 &&
         Quorel_SetCaptureWindowEx(u.handle, 3488, 0, 2 * kWidth, 2616, 0, 2 * kHeight) == 1 &&
         Quorel_SetPreviewWindow(u.handle, nullptr, 0, 0, 0, 0) == 1 && Quorel_SetColorMode(u.handle, 8) == 1 &&
         Quorel_SetMirrorH(u.handle, 0) == 1 && Quorel_SetMirrorV(u.handle, 0) == 1 &&
         Quorel_SetWaitTime(u.handle, 0) == 1;
}

bool StartUnit(Unit &u) {
  return Quorel_CallBackPreview(u.handle, u.frames, u.callbackBuffer.data(), static_cast<int>(u.callbackBuffer.size()),
                                0) == 1;
}

void CloseUnit(Unit &u) {
  Quorel_StopPreview(u.handle);
  Quorel_Release(u.handle);
  QuorelHost_DestroyWindow(u.frames);
}

// Takes the unit's frame messages; each good one is followed by a copy of
// the newest frame (under the library's frame lock), which is checked.
void Drain(Unit &u, std::vector<unsigned char> &copy) {
  QuorelHostMsg msg{};
  bool fresh = false;
  while (QuorelHost_PeekMessage(u.frames, &msg) == 1) {
    if (msg.message != QUOREL_WM_FRAME) continue;
    if (msg.lParam == 0) {
      ++u.delivered;
      fresh = true;
    } else {
      ++u.failedFrames;
    }
  }
  if (!fresh) return;
  if (Quorel_GetImage(u.handle, copy.data(), static_cast<int>(copy.size()), 0) != 1) return;
  const std::string why = CheckFrame(copy, u.number);
  if (why.empty()) {
    ++u.checked;
  } else if (u.wrong.empty()) {
    u.wrong = why;
  }
}

// Waits for one byte (or end of file) on fd while the units keep streaming;
// false at the deadline. *eof tells which came.
bool AwaitByte(int fd, std::vector<Unit> &units, std::vector<unsigned char> &copy, Clock::time_point deadline,
               bool *eof) {
  while (Clock::now() < deadline) {
    for (Unit &u : units) Drain(u, copy);
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5) == 1) {
      char c = 0;
      const ssize_t n = read(fd, &c, 1);
      if (n < 0) continue;
      *eof = n == 0;
      return true;
    }
  }
  return false;
}

// Another process streams `unit`: a start on it here must be refused with
// "camera not available" (2), the cross-process table's exclusivity.
bool ProbeRefused(Unit &probe, std::string *why) {
  const int unit = probe.number;
  while (Quorel_GetLastError(probe.handle) != 0) {
  }
  const bool started = StartUnit(probe);
  int code = 0;
  bool saw2 = false;
  while ((code = Quorel_GetLastError(probe.handle)) != 0) saw2 = saw2 || code == 2;
  Quorel_StopPreview(probe.handle);
  if (started) *why = "unit " + std::to_string(unit) + " started although another process streams it";
  if (!started && !saw2) *why = "unit " + std::to_string(unit) + " refused, but not with code 2";
  return !started && saw2;
}

int RunUnits(const ScaleOptions &o) {
  const auto deadline = Clock::now() + std::chrono::seconds(o.seconds);
  // Settings of a file of this run's own: a unit whose stored settings
  // mirror or filter its frames would not show its own pattern.
  const std::string registry = "/tmp/quorel-scale-" + std::to_string(getpid()) + ".reg";
  setenv("QUOREL_REGISTRY", registry.c_str(), 1);
  const int tableUnits = o.processes > 1 ? o.processes * kUnitsPerProcess : o.firstUnit + o.units;
  std::string config = "fps=max;scene=counter;units=";
  for (int u = 0; u < tableUnits; ++u) config += (u ? "," : "") + std::to_string(u);
  if (QuorelSim_Enable(config.c_str()) != 1) return 2;

  std::vector<Unit> units(static_cast<size_t>(o.units));
  for (int i = 0; i < o.units; ++i) units[static_cast<size_t>(i)].number = o.firstUnit + i;
  // A camera on another process's unit, to try once every unit streams.
  Unit probe;
  probe.number = (o.firstUnit + kUnitsPerProcess) % tableUnits;
  int status = 0;
  if (o.readyFd >= 0 && !SetUpUnit(probe)) status = 2;
  for (Unit &u : units) {
    if (!SetUpUnit(u)) {
      std::printf("unit %2d: could not be set up (code %d)\n", u.number, Quorel_GetLastError(u.handle));
      status = 2;
    }
  }
  for (Unit &u : units) {
    if (status == 0 && !StartUnit(u)) {
      std::printf("unit %2d: could not start streaming (code %d)\n", u.number, Quorel_GetLastError(u.handle));
      status = 2;
    }
  }
  std::vector<unsigned char> copy(static_cast<size_t>(kWidth) * kHeight);
  auto enough = [&] {
    for (const Unit &u : units) {
      if (u.checked < static_cast<unsigned long long>(o.frames)) return false;
    }
    return true;
  };
  while (status == 0 && !enough() && Clock::now() < deadline) {
    for (Unit &u : units) Drain(u, copy);
    QuorelHostMsg msg{};
    QuorelHost_WaitMessage(nullptr, &msg, 2);
  }
  std::string probeFault;
  if (status == 0 && enough() && o.readyFd >= 0) {
    // Every unit of every process streams between the parent's go-ahead
    // and the end of its hold.
    bool eof = false;
    if (write(o.readyFd, "r", 1) != 1 || !AwaitByte(o.holdFd, units, copy, deadline, &eof) || eof) {
      probeFault = "no go-ahead from the parent";
    } else {
      ProbeRefused(probe, &probeFault);
      if (write(o.readyFd, "p", 1) != 1) probeFault = "parent gone";
      while (probeFault.empty() && AwaitByte(o.holdFd, units, copy, deadline, &eof) && !eof) {
      }
    }
  }
  for (Unit &u : units) CloseUnit(u);
  if (probe.handle != 0) CloseUnit(probe);
  std::remove(registry.c_str());
  for (const Unit &u : units) {
    const bool ok = u.wrong.empty() && u.checked >= static_cast<unsigned long long>(o.frames);
    std::printf("unit %2d: frames %llu, checked %llu, failed %llu, content %s\n", u.number, u.delivered, u.checked,
                u.failedFrames, u.wrong.empty() ? "its own" : u.wrong.c_str());
    if (!ok && status == 0) status = 1;
  }
  if (!probeFault.empty()) {
    std::printf("pid %d: %s\n", static_cast<int>(getpid()), probeFault.c_str());
    status = 1;
  }
  const ProcessFigures f = ReadProcessFigures();
  std::printf("pid %d: units %d..%d, rss %ld KiB, fds %d, threads %d, %s\n", static_cast<int>(getpid()), o.firstUnit,
              o.firstUnit + o.units - 1, f.residentKiB, f.descriptors, f.threads, status == 0 ? "passed" : "FAILED");
  std::fflush(stdout);
  return status;
}

// Reads `count` bytes from fd before the deadline.
bool ReadBytes(int fd, int count, Clock::time_point deadline) {
  while (count > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) != 1) continue;
    char c = 0;
    const ssize_t n = read(fd, &c, 1);
    if (n == 0) return false;  // every child has gone
    if (n == 1) --count;
  }
  return true;
}

int RunProcesses(const ScaleOptions &o) {
  const auto deadline = Clock::now() + std::chrono::seconds(o.seconds);
  // One ready pipe that every child writes to, and a hold pipe of each
  // child's own (a shared one would let one child take another's go-ahead).
  int ready[2];
  if (pipe(ready) != 0) return 2;
  fcntl(ready[0], F_SETFD, FD_CLOEXEC);
  std::vector<pid_t> children;
  std::vector<int> holds;
  for (int p = 0; p < o.processes; ++p) {
    int hold[2];
    if (pipe(hold) != 0) break;
    // The parent's ends stay out of the children, or a hold would never
    // reach end of file.
    fcntl(hold[1], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> args = {"quorel-soak",  "--scale",
                                     "--units",      std::to_string(kUnitsPerProcess),
                                     "--first-unit", std::to_string(p * kUnitsPerProcess),
                                     "--frames",     std::to_string(o.frames),
                                     "--seconds",    std::to_string(o.seconds),
                                     "--processes",  std::to_string(o.processes),
                                     "--ready-fd",   std::to_string(ready[1]),
                                     "--hold-fd",    std::to_string(hold[0])};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) == 0;
    close(hold[0]);
    if (!spawned) {
      close(hold[1]);
      break;
    }
    children.push_back(pid);
    holds.push_back(hold[1]);
  }
  close(ready[1]);
  const int n = static_cast<int>(children.size());
  bool together = n == o.processes && ReadBytes(ready[0], n, deadline);
  if (together) {
    for (int fd : holds) together = write(fd, "g", 1) == 1 && together;
    together = together && ReadBytes(ready[0], n, deadline);
  }
  for (int fd : holds) close(fd);
  close(ready[0]);
  int status = together ? 0 : 1;
  for (pid_t pid : children) {
    int ws = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &ws, WNOHANG)) == 0 && Clock::now() < deadline + std::chrono::seconds(30)) {
      poll(nullptr, 0, 20);
    }
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &ws, 0);
      std::printf("child %d: killed at the deadline\n", static_cast<int>(pid));
    }
    if (!WIFEXITED(ws) || WEXITSTATUS(ws) != 0) status = 1;
  }
  std::printf("%d processes x %d units: %s%s\n", o.processes, kUnitsPerProcess, status == 0 ? "passed" : "FAILED",
              together ? "" : " (the processes never streamed all units together)");
  std::fflush(stdout);
  return status;
}

}  // namespace

int RunScale(const ScaleOptions &options) {
  if (options.processes > 1 && options.readyFd < 0) return RunProcesses(options);
  return RunUnits(options);
}

}  // namespace soak
