// quorel bench: for each colour mode, the frame rate the camera sustains in
// live preview and the time one frame takes through a snapshot (read from
// the camera, converted by the frame pipeline, copied to the caller), as a
// table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "StreamCounters.h"

namespace quorel::cli {

const char kBenchHelp[] =
    "usage: quorel bench [--duration MS] [--frames N] [--modes LIST]\n"
    "\n"
    "Measures each colour mode with the current capture window and\n"
    "sub-sampling: the sustained rate of live preview (frames delivered per\n"
    "second over MS milliseconds, with the frames dropped when the library\n"
    "counts them), and the mean and fastest time of N snapshots, each one frame\n"
    "read and converted into a buffer of the application. Prints a table.\n"
    "\n"
    "  --duration MS   preview time per mode, 100 to 600000 (default 2000)\n"
    "  --frames N      snapshots per mode, 1 to 1000 (default 5)\n"
    "  --modes LIST    colour modes to measure, e.g. 8,24 (default 8,16,24,32,48,64)\n";

namespace {

using Clock = std::chrono::steady_clock;

struct ModeResult {
  int bits = 0;
  unsigned long long frames = 0;
  double seconds = 0;
  std::optional<unsigned long long> dropped;
  double meanMs = 0;
  double bestMs = 0;
};

std::vector<int> ParseModes(const std::string &command, const std::string &text) {
  std::vector<int> modes;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string piece = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const int m = static_cast<int>(RequireInteger(command, "each --modes entry", piece, 8, 64));
    if (m != 8 && m != 16 && m != 24 && m != 32 && m != 48 && m != 64) {
      UsageFail(command, "--modes entries must be 8, 16, 24, 32, 48 or 64");
    }
    modes.push_back(m);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return modes;
}

// Live preview for `durationMs`, counting frame messages.
void MeasurePreview(CameraSession &session, int durationMs, ModeResult &r) {
  const int h = session.handle();
  MessageWindow frames = CreateMessageWindow("bench");
  session.Check(Quorel_CallBackPreview(h, frames.get(), nullptr, 0, 1), "Quorel_CallBackPreview");
  // The first frame starts the clock, so that preparation is not counted.
  QuorelHostMsg msg{};
  const auto firstDeadline = Clock::now() + std::chrono::seconds(10);
  bool started = false;
  while (!started && Clock::now() < firstDeadline) {
    started = QuorelHost_WaitMessage(frames.get(), &msg, 100) == 1 && msg.message == QUOREL_WM_FRAME && msg.wParam != 0;
  }
  if (!started) {
    Quorel_StopPreview(h);
    session.Fail("no frame within 10 s of Quorel_CallBackPreview");
  }
  QuorelStreamStats before{};
  const bool counted = ReadStreamStatistics(h, before);
  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(durationMs);
  unsigned long long delivered = 0;
  while (true) {
    const auto now = Clock::now();
    if (now >= end) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    if (QuorelHost_WaitMessage(frames.get(), &msg, static_cast<int>(std::max<long long>(1, left))) == 1 &&
        msg.message == QUOREL_WM_FRAME && msg.wParam != 0) {
      ++delivered;
    }
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  QuorelStreamStats after{};
  if (counted && ReadStreamStatistics(h, after)) r.dropped = after.dropped - before.dropped;
  Quorel_StopPreview(h);
  r.frames = delivered;
}

// Snapshots into a buffer of our own, timed one by one.
void MeasureSnapshots(CameraSession &session, int count, ModeResult &r) {
  const int h = session.handle();
  session.Check(Quorel_Capture(h), "Quorel_Capture");
  // Room for the largest frame: the full sensor at 8 bytes per pixel.
  std::vector<unsigned char> buffer(size_t{3488} * 2616 * 8);
  double total = 0;
  double best = 0;
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    session.Check(Quorel_SnapShot(h, buffer.data(), static_cast<int>(buffer.size()), 1), "Quorel_SnapShot");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    total += ms;
    best = i == 0 ? ms : std::min(best, ms);
  }
  Quorel_StopPreview(h);
  r.meanMs = total / count;
  r.bestMs = best;
}

}  // namespace

int RunBench(const Invocation &inv) {
  int durationMs = 2000;
  int frames = 5;
  std::vector<int> modes = {8, 16, 24, 32, 48, 64};
  ArgReader r(inv);
  while (!r.Done()) {
    std::string v;
    if (r.TakeValue("--duration", v)) {
      durationMs = static_cast<int>(RequireInteger(inv.command, "--duration", v, 100, 600000));
    } else if (r.TakeValue("--frames", v)) {
      frames = static_cast<int>(RequireInteger(inv.command, "--frames", v, 1, 1000));
    } else if (r.TakeValue("--modes", v)) {
      modes = ParseModes(inv.command, v);
    } else if (r.AtOption()) {
      r.RejectOption();
    } else {
      UsageFail(inv.command, "unexpected argument '" + r.TakePositional() + "'");
    }
  }

  CameraSession session(inv);
  const int h = session.handle();
  session.Check(Quorel_SetPreviewWindow(h, nullptr, 0, 0, 0, 0), "Quorel_SetPreviewWindow");
  const int originalMode = Quorel_GetColorMode(h);
  std::printf("%-5s %12s %10s %10s %12s %12s\n", "mode", "size", "fps", "dropped", "snapshot ms", "fastest ms");
  for (int bits : modes) {
    ModeResult result;
    result.bits = bits;
    session.Check(Quorel_SetColorMode(h, bits), "Quorel_SetColorMode");
    MeasurePreview(session, durationMs, result);
    MeasureSnapshots(session, frames, result);
    QuorelFrameMeta meta{};
    const std::string size =
        ReadFrameMeta(h, meta) ? std::to_string(meta.width) + "x" + std::to_string(meta.height) : std::string("-");
    const std::string dropped = result.dropped ? std::to_string(*result.dropped) : std::string("-");
    std::printf("%-5d %12s %10.1f %10s %12.1f %12.1f\n", bits, size.c_str(),
                result.seconds > 0 ? static_cast<double>(result.frames) / result.seconds : 0.0, dropped.c_str(),
                result.meanMs, result.bestMs);
    std::fflush(stdout);
  }
  // The bench is a measurement, not a settings change: leave the camera's
  // stored colour mode as it was (the getter reports 12/44/60 for 16/48/64).
  const int restore = originalMode == 12 ? 16 : originalMode == 44 ? 48 : originalMode == 60 ? 64 : originalMode;
  Quorel_SetColorMode(h, restore);
  return kExitOk;
}

}  // namespace quorel::cli
