// quorel snap: applies the requested format and image settings, takes one
// frame and saves it in the format its file name (or --type) asks for.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "FilterNames.h"
#include "OutputPath.h"
#include "StreamCounters.h"

namespace quorel::cli {

const char kSnapHelp[] =
    "usage: quorel snap [options] FILE\n"
    "       quorel snap --count N [--interval MS] [options] PATTERN\n"
    "\n"
    "Takes one frame (Quorel_Capture, Quorel_SnapShot) and saves it with\n"
    "Quorel_SaveImage. The file type follows the extension of FILE: .bmp, .raw,\n"
    ".jpg/.jpeg, .png, .tif/.tiff; --type overrides it. With --count, takes N\n"
    "frames into the names PATTERN gives for 1..N: one printf-style %d with an\n"
    "optional zero flag and width (img-%04d.png: img-0001.png, ...); %% is a\n"
    "percent sign.\n"
    "The camera keeps the gains, exposure and filter values given here: it saves\n"
    "them to the settings file when it is released, as for any application.\n"
    "\n"
    "  --mode BITS          colour mode: 8, 16, 24, 32, 48 or 64 bits per pixel\n"
    "  --count N            frames to take, 1 to 100000 (default 1)\n"
    "  --interval MS        time from one frame's start to the next, 0 to 3600000\n"
    "                       (default 0: as fast as the camera delivers)\n"
    "  --window W,H[,X,Y]   capture window; W,H alone picks a stored size preset\n"
    "                       (see 'quorel settings preset add')\n"
    "  --subsample CODE     0 full, 1 half, 2 quarter (skipping), 17 half, 18 quarter (binning)\n"
    "  --exposure-us N      exposure time in microseconds\n"
    "  --gain N             global gain (0..127)\n"
    "  --filter NAME=VALUE  a filter value by name or identifier 1..28, repeatable;\n"
    "                       names: brightness contrast hue saturation sharpness\n"
    "                       bayer-gain-rgb bayer-gain-red bayer-gain-green bayer-gain-blue\n"
    "                       bayer-gain-auto gamma bayer-mode global-gain color-gain-red\n"
    "                       color-gain-green1 color-gain-green2 color-gain-blue exposure\n"
    "                       gray-mode gray-gain-r gray-gain-g1 gray-gain-g2 gray-gain-b\n"
    "                       gray-offset-r gray-offset-g1 gray-offset-g2 gray-offset-b\n"
    "                       gray-auto-gain\n"
    "  --quality Q          JPEG quality: 100, 70 or 20 (default 100)\n"
    "  --type N             file type: 0 BMP, 1 raw, 2/3/4 JPEG 100/70/20, 5 PNG, 6 TIFF\n";

namespace {

struct SnapOptions {
  std::optional<int> mode;
  std::optional<std::vector<int>> window;
  std::optional<int> subSample;
  std::optional<int> exposureUs;
  std::optional<int> gain;
  std::vector<std::pair<int, int>> filters;  // identifier, value, in command-line order
  std::optional<int> quality;
  std::optional<int> type;
  int count = 1;
  int intervalMs = 0;
  std::string file;  // the name, or the pattern when it holds a %d
};

bool EndsWithNoCase(const std::string &s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  return NormaliseName(s.substr(s.size() - suffix.size())) == NormaliseName(suffix);
}

// Checks a --count name pattern: exactly one %d (with an optional 0 flag and
// a width up to 2 digits) and %% for a percent sign. Nothing else may follow a
// '%', so a name never reaches a printf-style function.
bool ValidPattern(const std::string &pattern) {
  int conversions = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (++i >= pattern.size()) return false;
    if (pattern[i] == '%') continue;
    size_t digits = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
      ++i;
      ++digits;
    }
    if (digits > 2 || i >= pattern.size() || pattern[i] != 'd') return false;
    ++conversions;
  }
  return conversions == 1;
}

bool HasPattern(const std::string &name) {
  return name.find('%') != std::string::npos;
}

// The name for frame `index` (a checked pattern, or a plain name).
std::string NameFor(const std::string &pattern, int index) {
  if (!HasPattern(pattern)) return pattern;
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out.push_back(pattern[i]);
      continue;
    }
    ++i;
    if (pattern[i] == '%') {
      out.push_back('%');
      continue;
    }
    const bool zero = pattern[i] == '0';
    size_t width = 0;
    while (pattern[i] >= '0' && pattern[i] <= '9') width = width * 10 + static_cast<size_t>(pattern[i++] - '0');
    std::string number = std::to_string(index);
    if (number.size() < width) number.insert(0, width - number.size(), zero ? '0' : ' ');
    out += number;
  }
  return out;
}

// The file type for the file name, or nullopt for an extension we do not know.
std::optional<int> TypeFromExtension(const std::string &file, int quality) {
  if (EndsWithNoCase(file, ".bmp")) return QUOREL_FILE_BMP;
  if (EndsWithNoCase(file, ".raw")) return QUOREL_FILE_RAW;
  if (EndsWithNoCase(file, ".jpg") || EndsWithNoCase(file, ".jpeg")) {
    return quality == 70 ? QUOREL_FILE_JPEG_70 : quality == 20 ? QUOREL_FILE_JPEG_20 : QUOREL_FILE_JPEG_100;
  }
  if (EndsWithNoCase(file, ".png")) return QUOREL_FILE_PNG;
  if (EndsWithNoCase(file, ".tif") || EndsWithNoCase(file, ".tiff")) return QUOREL_FILE_TIFF;
  return std::nullopt;
}

std::vector<int> ParseWindow(const std::string &command, const std::string &text) {
  std::vector<int> parts;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string piece = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    parts.push_back(static_cast<int>(RequireInteger(command, "each --window number", piece, 0, 65535)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() != 2 && parts.size() != 4) UsageFail(command, "--window takes W,H or W,H,X,Y");
  if (parts[0] == 0 || parts[1] == 0) UsageFail(command, "--window width and height must be positive");
  return parts;
}

std::pair<int, int> ParseFilter(const std::string &command, const std::string &text) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) UsageFail(command, "--filter takes NAME=VALUE, not '" + text + "'");
  std::string name = text.substr(0, eq);
  auto id = FilterIdFromName(name);
  if (!id) UsageFail(command, "unknown filter name '" + name + "'");
  int value = static_cast<int>(RequireInteger(command, "a filter value", text.substr(eq + 1), INT32_MIN, INT32_MAX));
  return {*id, value};
}

SnapOptions ParseSnapOptions(const Invocation &inv) {
  SnapOptions o;
  const std::string &cmd = inv.command;
  ArgReader r(inv);
  while (!r.Done()) {
    std::string v;
    if (r.TakeValue("--mode", v)) {
      int m = static_cast<int>(RequireInteger(cmd, "--mode", v, 0, 64));
      if (m != 8 && m != 16 && m != 24 && m != 32 && m != 48 && m != 64) {
        UsageFail(cmd, "--mode must be 8, 16, 24, 32, 48 or 64");
      }
      o.mode = m;
    } else if (r.TakeValue("--window", v)) {
      o.window = ParseWindow(cmd, v);
    } else if (r.TakeValue("--subsample", v)) {
      int s = static_cast<int>(RequireInteger(cmd, "--subsample", v, 0, 18));
      if (s != 0 && s != 1 && s != 2 && s != 17 && s != 18) UsageFail(cmd, "--subsample must be 0, 1, 2, 17 or 18");
      o.subSample = s;
    } else if (r.TakeValue("--exposure-us", v)) {
      o.exposureUs = static_cast<int>(RequireInteger(cmd, "--exposure-us", v, 0, INT32_MAX));
    } else if (r.TakeValue("--gain", v)) {
      o.gain = static_cast<int>(RequireInteger(cmd, "--gain", v, INT32_MIN, INT32_MAX));
    } else if (r.TakeValue("--filter", v)) {
      o.filters.push_back(ParseFilter(cmd, v));
    } else if (r.TakeValue("--quality", v)) {
      int q = static_cast<int>(RequireInteger(cmd, "--quality", v, 0, 100));
      if (q != 100 && q != 70 && q != 20) UsageFail(cmd, "--quality must be 100, 70 or 20");
      o.quality = q;
    } else if (r.TakeValue("--type", v)) {
      o.type = static_cast<int>(RequireInteger(cmd, "--type", v, 0, 6));
    } else if (r.TakeValue("--count", v)) {
      o.count = static_cast<int>(RequireInteger(cmd, "--count", v, 1, 100000));
    } else if (r.TakeValue("--interval", v)) {
      o.intervalMs = static_cast<int>(RequireInteger(cmd, "--interval", v, 0, 3600000));
    } else if (r.AtOption()) {
      r.RejectOption();
    } else {
      if (!o.file.empty()) UsageFail(cmd, "snap takes one output file");
      o.file = r.TakePositional();
    }
  }
  if (o.file.empty()) UsageFail(cmd, "snap needs an output file");
  if (HasPattern(o.file) && !ValidPattern(o.file)) {
    UsageFail(cmd, "the name pattern '" + o.file + "' needs exactly one %d (e.g. img-%04d.png); write %% for a %");
  }
  if (o.count > 1 && !HasPattern(o.file)) {
    UsageFail(cmd, "--count " + std::to_string(o.count) + " needs a name pattern with %d, e.g. img-%04d.png");
  }
  if (!o.type) {
    o.type = TypeFromExtension(o.file, o.quality.value_or(100));
    if (!o.type) UsageFail(cmd, "cannot tell the file type from '" + o.file + "'; give --type");
  } else if (o.quality) {
    UsageFail(cmd, "--quality and --type exclude each other (types 2, 3, 4 carry the quality)");
  }
  if (o.quality && (*o.type < QUOREL_FILE_JPEG_100 || *o.type > QUOREL_FILE_JPEG_20)) {
    UsageFail(cmd, "--quality applies to JPEG files only");
  }
  return o;
}

const char *TypeName(int type) {
  static const char *const kNames[] = {"BMP", "raw", "JPEG 100", "JPEG 70", "JPEG 20", "PNG", "TIFF"};
  return type >= 0 && type <= 6 ? kNames[type] : "?";
}

void ApplySettings(CameraSession &s, const SnapOptions &o) {
  const int h = s.handle();
  if (o.mode) s.Check(Quorel_SetColorMode(h, *o.mode), "Quorel_SetColorMode");
  if (o.subSample) s.Check(Quorel_SetSubSample(h, *o.subSample), "Quorel_SetSubSample");
  if (o.window) {
    const std::vector<int> &w = *o.window;
    if (w.size() == 2) {
      // Code 4 here is the library's "no stored size preset" answer, not a
      // window that failed to open.
      s.Check(Quorel_SetCaptureWindow(h, w[0], w[1]), "Quorel_SetCaptureWindow", QUOREL_ERR_WINDOW,
              "no size preset of " + std::to_string(w[0]) + " x " + std::to_string(w[1]) +
                  " is stored; add one with 'quorel settings preset add " + std::to_string(w[0]) + " " +
                  std::to_string(w[1]) + "' or give the full window form --window W,H,X,Y");
    } else {
      // The totals are only stored and reported back; the sensor's size is
      // the honest value for them.
      s.Check(Quorel_SetCaptureWindowEx(h, 3488, w[2], w[0], 2616, w[3], w[1]), "Quorel_SetCaptureWindowEx");
    }
  }
  if (o.exposureUs) s.Check(Quorel_SetRealExposureTime(h, *o.exposureUs), "Quorel_SetRealExposureTime");
  if (o.gain) s.Check(Quorel_SetGlobalGain(h, *o.gain), "Quorel_SetGlobalGain");
  for (const auto &[id, value] : o.filters) {
    s.Check(Quorel_SetFilterValue(h, id, value), "Quorel_SetFilterValue " + std::string(FilterName(id)));
  }
}

// Saves the frame the camera holds; a file that cannot be written exits 4
// with the system's reason.
void SaveFrame(CameraSession &session, const std::string &file, int type) {
  if (Quorel_SaveImage(session.handle(), file.c_str(), type) != 0) return;
  std::vector<int> codes = session.TakeErrors();
  const bool fileError = codes.empty() || (codes.size() == 1 && codes[0] == QUOREL_ERR_FILE);
  if (!fileError) throw CliError(kExitCamera, "snap failed: " + DescribeErrorCodes(codes) + " [Quorel_SaveImage]");
  // The writers record nothing (or only code 12) when the file itself cannot
  // be written; ask the system why.
  const std::optional<std::string> why = WhyNotWritable(file);
  throw CliError(kExitFile, "snap failed: could not write '" + file + "'" + (why ? ": " + *why : std::string()));
}

}  // namespace

int RunSnap(const Invocation &inv) {
  const SnapOptions o = ParseSnapOptions(inv);
  // A missing directory or a read-only place is the user's file problem,
  // told before the camera starts.
  RequireWritable(inv.command, NameFor(o.file, 1));
  CameraSession session(inv);
  const int h = session.handle();
  ApplySettings(session, o);

  session.Check(Quorel_Capture(h), "Quorel_Capture");
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  for (int index = 1; index <= o.count; ++index) {
    if (o.intervalMs > 0) std::this_thread::sleep_until(start + std::chrono::milliseconds(o.intervalMs) * (index - 1));
    const std::string file = NameFor(o.file, index);
    // No destination: the frame is converted into the camera's own image,
    // which is what the save writes.
    session.Check(Quorel_SnapShot(h, nullptr, 0, 1), "Quorel_SnapShot");
    SaveFrame(session, file, *o.type);

    struct stat st {};
    if (stat(file.c_str(), &st) != 0) {
      throw CliError(kExitFile, "snap: '" + file + "' missing after the save: " + std::strerror(errno));
    }
    if (Verbose(inv)) {
      // The size is the one the library reports for the frame it delivered.
      QuorelFrameMeta meta{};
      if (ReadFrameMeta(h, meta)) {
        std::printf("saved %s: %d x %d, %s, %lld bytes\n", file.c_str(), meta.width, meta.height, TypeName(*o.type),
                    static_cast<long long>(st.st_size));
      } else {
        std::printf("saved %s: %s, %lld bytes\n", file.c_str(), TypeName(*o.type), static_cast<long long>(st.st_size));
      }
      std::fflush(stdout);
    }
  }
  Quorel_StopPreview(h);
  return kExitOk;
}

}  // namespace quorel::cli
