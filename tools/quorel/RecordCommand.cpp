// quorel record: records an AVI file for a given duration and waits until
// the library has finished it.
//
// Quorel_Record takes the frame callback for itself, so the progress shown
// comes from the library's stream statistics (frames delivered), or, from a
// library without them, elapsed time alone. The final count and rate are read
// from the finished file's main header.
//
// SIGINT and SIGTERM stop the recording early: the acquisition is stopped,
// which makes the library finish the file with the frames it has, and the
// tool exits 130 or 143.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "OutputPath.h"
#include "SignalStop.h"
#include "StreamCounters.h"

namespace quorel::cli {

const char kRecordHelp[] =
    "usage: quorel record [--duration MS] [--show] FILE\n"
    "\n"
    "Records live frames into the AVI file FILE (Quorel_Record) for MS\n"
    "milliseconds (default 2000, counted from the first frame) and waits until the\n"
    "file is finished. Shows a progress bar on a terminal, plain lines otherwise.\n"
    "Ctrl-C (SIGINT) or SIGTERM ends the recording early with a complete file;\n"
    "the exit code is then 130 or 143. A file that cannot be written exits 4.\n"
    "\n"
    "  --duration MS   recording length in milliseconds, 1 to 3600000\n"
    "  --show          show the frames in the library's own preview window while\n"
    "                  recording (needs a display)\n";

namespace {

using Clock = std::chrono::steady_clock;

// Fixed layout of the files the library writes: the headers up to "movi",
// and in the main header the microseconds per frame and the total frames.
constexpr std::streamoff kMicrosPerFrameOffset = 32;
constexpr std::streamoff kTotalFramesOffset = 48;

struct AviSummary {
  uint32_t microsPerFrame = 0;
  uint32_t totalFrames = 0;
};

std::optional<AviSummary> ReadAviSummary(const std::string &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  unsigned char riff[12] = {};
  if (!in.read(reinterpret_cast<char *>(riff), sizeof riff)) return std::nullopt;
  if (std::string_view(reinterpret_cast<char *>(riff), 4) != "RIFF" ||
      std::string_view(reinterpret_cast<char *>(riff) + 8, 4) != "AVI ") {
    return std::nullopt;
  }
  auto readU32 = [&in](std::streamoff at) -> std::optional<uint32_t> {
    unsigned char b[4] = {};
    in.seekg(at);
    if (!in.read(reinterpret_cast<char *>(b), 4)) return std::nullopt;
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  };
  auto micros = readU32(kMicrosPerFrameOffset);
  auto frames = readU32(kTotalFramesOffset);
  if (!micros || !frames) return std::nullopt;
  return AviSummary{*micros, *frames};
}

uint64_t FileSize(const std::string &file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

class Progress {
 public:
  Progress(bool enabled, int durationMs)
      : enabled_(enabled), tty_(isatty(STDOUT_FILENO) == 1), durationMs_(durationMs) {}

  // How often Update is worth calling.
  std::chrono::milliseconds Interval() const { return std::chrono::milliseconds(tty_ ? 100 : 1000); }

  // `frames`: delivered so far, when the library counts them.
  void Update(double seconds, std::optional<uint64_t> frames) {
    if (!enabled_) return;
    std::string counts;
    if (frames) {
      const double rate = seconds > 0 ? static_cast<double>(*frames) / seconds : 0.0;
      char text[64];
      std::snprintf(text, sizeof text, tty_ ? "  %6llu frames  %5.1f fps" : ": %llu frames, %.1f fps",
                    static_cast<unsigned long long>(*frames), rate);
      counts = text;
    }
    if (tty_) {
      constexpr int kWidth = 30;
      const double fraction = std::min(1.0, seconds * 1000.0 / durationMs_);
      const int filled = static_cast<int>(fraction * kWidth);
      std::printf("\r[%s%s] %5.1f s%s", std::string(static_cast<size_t>(filled), '#').c_str(),
                  std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), seconds, counts.c_str());
    } else {
      std::printf("%.1f s%s\n", seconds, counts.c_str());
    }
    std::fflush(stdout);
  }

  void End() {
    if (enabled_ && tty_) std::printf("\n");
  }

 private:
  bool enabled_;
  bool tty_;
  int durationMs_;
};

}  // namespace

int RunRecord(const Invocation &inv) {
  int durationMs = 2000;
  bool show = false;
  std::string file;
  ArgReader r(inv);
  while (!r.Done()) {
    std::string v;
    if (r.TakeFlag("--show")) {
      show = true;
    } else if (r.TakeValue("--duration", v)) {
      durationMs = static_cast<int>(RequireInteger(inv.command, "--duration", v, 1, 3600000));
    } else if (r.AtOption()) {
      r.RejectOption();
    } else {
      if (!file.empty()) UsageFail(inv.command, "record takes one output file");
      file = r.TakePositional();
    }
  }
  if (file.empty()) UsageFail(inv.command, "record needs an output file");

  RequireWritable(inv.command, file);

  CameraSession session(inv);
  const int h = session.handle();
  SignalStop signals;
  if (Quorel_Record(h, file.c_str(), durationMs, show ? 1 : 0) == 0) {
    std::vector<int> codes = session.TakeErrors();
    if (codes.size() == 1 && codes[0] == QUOREL_ERR_FILE) {
      const std::optional<std::string> why = WhyNotWritable(file);
      throw CliError(kExitFile, "record failed: could not write '" + file + "'" + (why ? ": " + *why : std::string()));
    }
    throw CliError(kExitCamera, "record failed: " + DescribeErrorCodes(codes) + " [Quorel_Record]");
  }

  // The duration counts from the first frame, which may come a little later;
  // the grace covers that and the writing of the index.
  const auto start = Clock::now();
  const auto giveUp = start + std::chrono::milliseconds(durationMs) + std::chrono::seconds(10);
  Progress progress(Verbose(inv), durationMs);
  std::optional<AviSummary> summary;
  int stoppedBy = 0;
  auto nextUpdate = start + progress.Interval();
  while (true) {
    // Short steps, so that a signal is acted on at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stoppedBy = signals.Received();
    if (stoppedBy != 0) break;
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start).count();
    if (now >= nextUpdate) {
      QuorelStreamStats stats{};
      progress.Update(seconds,
                      ReadStreamStatistics(h, stats) ? std::optional<uint64_t>(stats.delivered) : std::nullopt);
      nextUpdate += progress.Interval();
    }
    std::vector<int> codes = session.TakeErrors();
    if (!codes.empty()) {
      progress.End();
      Quorel_StopPreview(h);
      if (std::find(codes.begin(), codes.end(), QUOREL_ERR_FILE) != codes.end()) {
        // The library stopped at the file's size limit (or a failed write)
        // and finished the file with the frames it had.
        summary = ReadAviSummary(file);
        throw CliError(kExitFile, "record: writing '" + file + "' stopped early (size limit or write failure); " +
                                      std::to_string(summary ? summary->totalFrames : 0) +
                                      " frames kept: " + DescribeErrorCodes(codes));
      }
      throw CliError(kExitCamera, "record failed: " + DescribeErrorCodes(codes) + " [while recording]");
    }
    if (seconds * 1000.0 >= durationMs) {
      // The library writes the frame count into the header when it finishes.
      summary = ReadAviSummary(file);
      if (summary && summary->totalFrames > 0) break;
    }
    if (now >= giveUp) break;
  }
  progress.End();
  // Stopping the preview also ends a recording that has not finished by
  // itself, which finishes the file.
  Quorel_StopPreview(h);
  // Read the header again: the stop waits for the recording thread, so the
  // file is complete now even if the loop above saw it mid-update.
  summary = ReadAviSummary(file);
  if (!summary) throw CliError(kExitFile, "record: '" + file + "' is not a readable AVI file");
  if (stoppedBy != 0) {
    throw CliError(stoppedBy == SIGINT ? kExitSigInt : kExitSigTerm,
                   std::string("record stopped by ") + SignalStop::Name(stoppedBy) + ": '" + file + "' finished with " +
                       std::to_string(summary->totalFrames) + " frames");
  }
  if (summary->totalFrames == 0) {
    std::vector<int> codes = session.TakeErrors();
    throw CliError(kExitCamera, "record failed: no frames were recorded: " + DescribeErrorCodes(codes));
  }
  if (Verbose(inv)) {
    const double fps = summary->microsPerFrame > 0 ? 1e6 / summary->microsPerFrame : 0.0;
    std::printf("recorded %s: %u frames, %.2f fps, %llu bytes\n", file.c_str(), summary->totalFrames, fps,
                static_cast<unsigned long long>(FileSize(file)));
  }
  return kExitOk;
}

}  // namespace quorel::cli
