// quorel stream: runs live preview with frame messages to a window of our
// own and counts the frames delivered and the failures reported.
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"

namespace quorel::cli {

const char kStreamHelp[] =
    "usage: quorel stream [--seconds N] [--show]\n"
    "\n"
    "Starts live preview with a frame message per frame (Quorel_CallBackPreview)\n"
    "for N seconds (default 5), printing the frames received and the rate each\n"
    "second, then the total and the frame failures the camera reported.\n"
    "\n"
    "  --seconds N   how long to stream, 1 to 3600\n"
    "  --show        let the library open its own preview window (needs a display);\n"
    "                without it the stream runs headless\n";

int RunStream(const Invocation &inv) {
  int seconds = 5;
  bool show = false;
  ArgReader r(inv);
  while (!r.Done()) {
    if (r.TakeFlag("--show")) {
      show = true;
    } else if (auto v = r.TakeValue("--seconds")) {
      seconds = static_cast<int>(RequireInteger(inv.command, "--seconds", *v, 1, 3600));
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
  // No destination buffer: the messages alone are counted, and the frame
  // record they point to is never read, since the camera rewrites it for the
  // next frame on its own thread.
  session.Check(Quorel_CallBackPreview(h, frames.get(), nullptr, 0, 1), "Quorel_CallBackPreview");

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  auto nextReport = start + std::chrono::seconds(1);
  unsigned long long delivered = 0;
  std::map<int, unsigned long long> failures;  // code -> count
  bool transferStopped = false;
  while (!transferStopped) {
    const auto now = Clock::now();
    if (now >= end) break;
    const auto untilReport = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(end, nextReport) - now);
    QuorelHostMsg msg{};
    if (QuorelHost_WaitMessage(frames.get(), &msg, static_cast<int>(std::max<long long>(1, untilReport.count()))) ==
        1) {
      if (msg.message == QUOREL_WM_FRAME) {
        if (msg.wParam != 0) {
          ++delivered;
        } else {
          ++failures[static_cast<int>(msg.lParam)];
          transferStopped = msg.lParam == QUOREL_ERR_TRANSFER_STOPPED;
        }
      }
    }
    if (Clock::now() >= nextReport) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      if (Verbose(inv)) std::printf("%.1f s: %llu frames, %.1f fps\n", elapsed, delivered, delivered / elapsed);
      std::fflush(stdout);
      nextReport += std::chrono::seconds(1);
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  Quorel_StopPreview(h);

  std::printf("frames %llu in %.2f s, %.2f fps\n", delivered, elapsed, elapsed > 0 ? delivered / elapsed : 0.0);
  for (const auto &[code, count] : failures) {
    std::printf("frame failures: %llu x %s\n", count, DescribeErrorCode(code).c_str());
  }
  // The failures are also in the history; they are reported above.
  session.TakeErrors();
  if (transferStopped) throw CliError(kExitCamera, "stream failed: " + DescribeErrorCode(QUOREL_ERR_TRANSFER_STOPPED));
  if (delivered == 0) throw CliError(kExitCamera, "stream failed: no frame arrived");
  return kExitOk;
}

}  // namespace quorel::cli
