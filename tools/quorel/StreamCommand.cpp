// quorel stream: runs live preview with frame messages to a window of our
// own and reports, once a second, the rate, the data rate, the frames dropped
// and the errors, then a summary. The counts come from the library's stream
// statistics; from a library without them, from the frame messages.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "SignalStop.h"
#include "StreamCounters.h"

namespace quorel::cli {

const char kStreamHelp[] =
    "usage: quorel stream [--duration MS | --seconds N] [--show]\n"
    "\n"
    "Starts live preview with a frame message per frame (Quorel_CallBackPreview)\n"
    "for MS milliseconds (default 5000), printing each second the frames per\n"
    "second, MB/s delivered, frames dropped and errors, then a summary and the\n"
    "frame failures the camera reported. Ctrl-C (SIGINT) or SIGTERM ends the\n"
    "stream early with the summary; the exit code is then 130 or 143.\n"
    "\n"
    "  --duration MS  how long to stream, 1 to 3600000\n"
    "  --seconds N    the same in seconds, 1 to 3600\n"
    "  --show         let the library open its own preview window (needs a display);\n"
    "                 without it the stream runs headless\n";

namespace {

using Clock = std::chrono::steady_clock;

// What the stream did so far: from the library's counters when it has them,
// else from the messages this command received.
struct StreamTally {
  bool fromLibrary = false;
  unsigned long long delivered = 0;
  unsigned long long dropped = 0;
  unsigned long long errors = 0;
  unsigned long long bytes = 0;  // delivered x frame size, when the size is known
};

class StreamCounter {
 public:
  explicit StreamCounter(int handle) : handle_(handle) {}

  void OnFrameMessage(const QuorelHostMsg &msg) {
    if (msg.wParam != 0) {
      ++messagesDelivered_;
    } else {
      ++failures_[static_cast<int>(msg.lParam)];
    }
  }

  StreamTally Read() {
    StreamTally t;
    QuorelStreamStats stats{};
    unsigned long long failed = 0;
    for (const auto &[code, count] : failures_) failed += count;
    if (ReadStreamStatistics(handle_, stats)) {
      t.fromLibrary = true;
      t.delivered = stats.delivered;
      t.dropped = stats.dropped;
      t.errors = stats.failedTransfers + stats.timeouts + stats.copyFailures;
    } else {
      t.delivered = messagesDelivered_;
      t.errors = failed;
    }
    if (frameBytes_ == 0) {
      QuorelFrameMeta meta{};
      if (ReadFrameMeta(handle_, meta)) frameBytes_ = FrameBytes(meta);
    }
    t.bytes = t.delivered * frameBytes_;
    return t;
  }

  const std::map<int, unsigned long long> &failures() const { return failures_; }
  bool KnowsFrameSize() const { return frameBytes_ != 0; }

 private:
  int handle_;
  unsigned long long messagesDelivered_ = 0;
  std::map<int, unsigned long long> failures_;  // code -> count
  unsigned long long frameBytes_ = 0;
};

void PrintSecond(const StreamTally &now, const StreamTally &before, double seconds, double span, bool knowsSize) {
  const double fps = span > 0 ? static_cast<double>(now.delivered - before.delivered) / span : 0.0;
  std::printf("%6.1f s: %6.1f fps", seconds, fps);
  if (knowsSize)
    std::printf(", %7.1f MB/s", span > 0 ? static_cast<double>(now.bytes - before.bytes) / 1e6 / span : 0.0);
  std::printf(", %llu frames, %llu dropped, %llu errors\n", now.delivered, now.dropped, now.errors);
  std::fflush(stdout);
}

}  // namespace

int RunStream(const Invocation &inv) {
  int durationMs = 5000;
  bool show = false;
  ArgReader r(inv);
  while (!r.Done()) {
    std::string v;
    if (r.TakeFlag("--show")) {
      show = true;
    } else if (r.TakeValue("--seconds", v)) {
      durationMs = 1000 * static_cast<int>(RequireInteger(inv.command, "--seconds", v, 1, 3600));
    } else if (r.TakeValue("--duration", v)) {
      durationMs = static_cast<int>(RequireInteger(inv.command, "--duration", v, 1, 3600000));
    } else if (r.AtOption()) {
      r.RejectOption();
    } else {
      UsageFail(inv.command, "unexpected argument '" + r.TakePositional() + "'");
    }
  }

  CameraSession session(inv);
  const int h = session.handle();
  MessageWindow frames = CreateMessageWindow(inv.command);
  // The camera opens a preview window of its own unless told that none is
  // wanted: a null parent and an empty rectangle.
  if (!show) session.Check(Quorel_SetPreviewWindow(h, nullptr, 0, 0, 0, 0), "Quorel_SetPreviewWindow");
  SignalStop signals;
  // No destination buffer: the messages alone are counted, and the frame
  // record they point to is never read, since the camera rewrites it for the
  // next frame on its own thread.
  session.Check(Quorel_CallBackPreview(h, frames.get(), nullptr, 0, 1), "Quorel_CallBackPreview");

  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(durationMs);
  auto nextReport = start + std::chrono::seconds(1);
  auto lastReport = start;
  StreamCounter counter(h);
  StreamTally before;
  bool transferStopped = false;
  int stoppedBy = 0;
  while (!transferStopped) {
    stoppedBy = signals.Received();
    if (stoppedBy != 0) break;
    const auto now = Clock::now();
    if (now >= end) break;
    // At most 100 ms per wait, so that a signal is acted on promptly.
    const auto until = std::min({end, nextReport, now + std::chrono::milliseconds(100)});
    const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    QuorelHostMsg msg{};
    if (QuorelHost_WaitMessage(frames.get(), &msg, static_cast<int>(std::max<long long>(1, waitMs))) == 1 &&
        msg.message == QUOREL_WM_FRAME) {
      counter.OnFrameMessage(msg);
      transferStopped = msg.wParam == 0 && msg.lParam == QUOREL_ERR_TRANSFER_STOPPED;
    }
    const auto after = Clock::now();
    if (after >= nextReport) {
      const StreamTally tally = counter.Read();
      if (Verbose(inv)) {
        PrintSecond(tally, before, std::chrono::duration<double>(after - start).count(),
                    std::chrono::duration<double>(after - lastReport).count(), counter.KnowsFrameSize());
      }
      before = tally;
      lastReport = after;
      nextReport += std::chrono::seconds(1);
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  Quorel_StopPreview(h);
  // Drain the messages that arrived before the stop, so the summary counts them.
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(frames.get(), &msg) == 1) {
    if (msg.message == QUOREL_WM_FRAME) counter.OnFrameMessage(msg);
  }
  const StreamTally total = counter.Read();

  std::printf("frames %llu in %.2f s, %.2f fps", total.delivered, elapsed,
              elapsed > 0 ? static_cast<double>(total.delivered) / elapsed : 0.0);
  if (counter.KnowsFrameSize())
    std::printf(", %.1f MB/s", elapsed > 0 ? static_cast<double>(total.bytes) / 1e6 / elapsed : 0.0);
  std::printf(", %llu dropped, %llu errors\n", total.dropped, total.errors);
  for (const auto &[code, count] : counter.failures()) {
    std::printf("frame failures: %llu x %s\n", count, DescribeErrorCode(code).c_str());
  }
  std::fflush(stdout);
  // The failures are also in the history; they are reported above.
  session.TakeErrors();
  if (stoppedBy != 0) {
    throw CliError(stoppedBy == SIGINT ? kExitSigInt : kExitSigTerm,
                   std::string("stream stopped by ") + SignalStop::Name(stoppedBy));
  }
  if (transferStopped) throw CliError(kExitCamera, "stream failed: " + DescribeErrorCode(QUOREL_ERR_TRANSFER_STOPPED));
  if (total.delivered == 0) throw CliError(kExitCamera, "stream failed: no frame arrived");
  return kExitOk;
}

}  // namespace quorel::cli
