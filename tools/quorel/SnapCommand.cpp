// quorel snap: applies the requested format and image settings, takes one
// frame and saves it in the format its file name (or --type) asks for.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "FilterNames.h"

namespace quorel::cli {

const char kSnapHelp[] =
    "usage: quorel snap [options] FILE\n"
    "\n"
    "Takes one frame (Quorel_Capture, Quorel_SnapShot) and saves it with\n"
    "Quorel_SaveImage. The file type follows the extension of FILE: .bmp, .raw,\n"
    ".jpg/.jpeg, .png, .tif/.tiff; --type overrides it.\n"
    "The camera keeps the gains, exposure and filter values given here: it saves\n"
    "them to the settings file when it is released, as for any application.\n"
    "\n"
    "  --mode BITS          colour mode: 8, 16, 24, 32, 48 or 64 bits per pixel\n"
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
  std::string file;
};

bool EndsWithNoCase(const std::string &s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  return NormaliseName(s.substr(s.size() - suffix.size())) == NormaliseName(suffix);
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
    if (auto v = r.TakeValue("--mode")) {
      int m = static_cast<int>(RequireInteger(cmd, "--mode", *v, 0, 64));
      if (m != 8 && m != 16 && m != 24 && m != 32 && m != 48 && m != 64) {
        UsageFail(cmd, "--mode must be 8, 16, 24, 32, 48 or 64");
      }
      o.mode = m;
    } else if (auto v = r.TakeValue("--window")) {
      o.window = ParseWindow(cmd, *v);
    } else if (auto v = r.TakeValue("--subsample")) {
      int s = static_cast<int>(RequireInteger(cmd, "--subsample", *v, 0, 18));
      if (s != 0 && s != 1 && s != 2 && s != 17 && s != 18) UsageFail(cmd, "--subsample must be 0, 1, 2, 17 or 18");
      o.subSample = s;
    } else if (auto v = r.TakeValue("--exposure-us")) {
      o.exposureUs = static_cast<int>(RequireInteger(cmd, "--exposure-us", *v, 0, INT32_MAX));
    } else if (auto v = r.TakeValue("--gain")) {
      o.gain = static_cast<int>(RequireInteger(cmd, "--gain", *v, INT32_MIN, INT32_MAX));
    } else if (auto v = r.TakeValue("--filter")) {
      o.filters.push_back(ParseFilter(cmd, *v));
    } else if (auto v = r.TakeValue("--quality")) {
      int q = static_cast<int>(RequireInteger(cmd, "--quality", *v, 0, 100));
      if (q != 100 && q != 70 && q != 20) UsageFail(cmd, "--quality must be 100, 70 or 20");
      o.quality = q;
    } else if (auto v = r.TakeValue("--type")) {
      o.type = static_cast<int>(RequireInteger(cmd, "--type", *v, 0, 6));
    } else if (r.AtOption()) {
      r.RejectOption();
    } else {
      if (!o.file.empty()) UsageFail(cmd, "snap takes one output file");
      o.file = r.TakePositional();
    }
  }
  if (o.file.empty()) UsageFail(cmd, "snap needs an output file");
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

int SubSampleDivisor(int code) {
  switch (code) {
    case 1:
    case 17:
      return 2;
    case 2:
    case 18:
      return 4;
    default:
      return 1;
  }
}

void ApplySettings(CameraSession &s, const SnapOptions &o) {
  const int h = s.handle();
  if (o.mode) s.Check(Quorel_SetColorMode(h, *o.mode), "Quorel_SetColorMode");
  if (o.subSample) s.Check(Quorel_SetSubSample(h, *o.subSample), "Quorel_SetSubSample");
  if (o.window) {
    const std::vector<int> &w = *o.window;
    if (w.size() == 2) {
      s.Check(Quorel_SetCaptureWindow(h, w[0], w[1]), "Quorel_SetCaptureWindow");
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

}  // namespace

int RunSnap(const Invocation &inv) {
  const SnapOptions o = ParseSnapOptions(inv);
  CameraSession session(inv);
  const int h = session.handle();
  ApplySettings(session, o);

  session.Check(Quorel_Capture(h), "Quorel_Capture");
  // No destination: the frame is converted into the camera's own image, which
  // is what the save writes.
  session.Check(Quorel_SnapShot(h, nullptr, 0, 1), "Quorel_SnapShot");
  if (Quorel_SaveImage(h, o.file.c_str(), *o.type) == 0) {
    std::vector<int> codes = session.TakeErrors();
    if (!codes.empty()) {
      throw CliError(kExitCamera, "snap failed: " + DescribeErrorCodes(codes) + " [Quorel_SaveImage]");
    }
    // The writers record nothing when the file itself cannot be written.
    throw CliError(kExitFile, "snap failed: could not write '" + o.file + "'");
  }
  Quorel_StopPreview(h);

  struct stat st {};
  if (stat(o.file.c_str(), &st) != 0) {
    throw CliError(kExitFile, "snap: '" + o.file + "' missing after the save: " + std::strerror(errno));
  }
  if (Verbose(inv)) {
    const int divisor = SubSampleDivisor(Quorel_GetSubSample(h));
    std::printf("saved %s: %d x %d, %s, %lld bytes\n", o.file.c_str(), Quorel_Width(h) / divisor,
                Quorel_Height(h) / divisor, TypeName(*o.type), static_cast<long long>(st.st_size));
  }
  return kExitOk;
}

}  // namespace quorel::cli
