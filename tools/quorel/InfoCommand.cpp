// quorel info: library version, the camera's identity and fixed properties,
// and the settings it is using now.
#include <cstdio>
#include <memory>
#include <string>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "FilterNames.h"
#include "NoCameraHint.h"

namespace quorel::cli {

const char kInfoHelp[] =
    "usage: quorel info [--all] [--srom-bytes N]\n"
    "\n"
    "Prints the library version, the names of the cameras present, the selected\n"
    "camera's name, its camera-information record (size, gain and exposure\n"
    "ranges), the serial-ROM identifier bytes 0..N-1 (default 16), and the current\n"
    "format, capture window, exposure and filter values.\n"
    "\n"
    "  --all            every setting with the values it accepts\n"
    "  --srom-bytes N   number of identifier bytes to read, 0 to 256\n";

namespace {

int BitsFromColorMode(int reported) {
  // The getter reports the significant bits of the 16-bit-per-sample modes.
  switch (reported) {
    case 12:
      return 16;
    case 44:
      return 48;
    case 60:
      return 64;
    default:
      return reported;
  }
}

void PrintCameraInfo(CameraSession &session) {
  QuorelCameraInfo info{};
  info.size = static_cast<int32_t>(sizeof info);
  session.Check(Quorel_GetCameraInfo(session.handle(), &info), "Quorel_GetCameraInfo");
  std::printf("sensor            %d x %d\n", info.width, info.height);
  std::printf("global gain       %d .. %d\n", info.globalGainMin, info.globalGainMax);
  std::printf("colour gain       %d .. %d\n", info.colorGainMin, info.colorGainMax);
  std::printf("exposure lines    %d .. %d\n", info.exposureMin, info.exposureMax);
}

// Returns false, with the reason printed in place of the bytes, when the
// serial ROM cannot be read.
bool PrintSromId(CameraSession &session, int count) {
  if (count == 0) return true;
  std::string line;
  for (int index = 0; index < count; ++index) {
    int ok = 0;
    int value = Quorel_ReadSromID(session.handle(), index, &ok);
    if (!ok) {
      std::printf("serial-ROM id     (byte %d unreadable: %s)\n", index,
                  DescribeErrorCodes(session.TakeErrors()).c_str());
      return false;
    }
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(value) & 0xFFu);
    line += hex;
  }
  std::printf("serial-ROM id    %s\n", line.c_str());
  return true;
}

std::string RangeText(int id) {
  const FilterRange r = FilterValueRange(id);
  if (r.any) return id == 6 ? "any: red | green << 8 | blue << 16" : "any: 0 off, else on";
  return std::to_string(r.min) + " .. " + std::to_string(r.max);
}

void PrintSettings(CameraSession &session, bool all) {
  const int h = session.handle();
  // With --all each line ends with what the setter accepts.
  auto range = [all](const char *text) { return all ? std::string("   [") + text + "]" : std::string(); };
  std::printf("colour mode       %d bits per pixel%s\n", BitsFromColorMode(Quorel_GetColorMode(h)),
              range("8, 16, 24, 32, 48, 64").c_str());
  std::printf("sub-sampling      %d%s\n", Quorel_GetSubSample(h),
              range("0 full, 1/2 half/quarter by skipping, 17/18 by binning").c_str());
  int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
  Quorel_GetCaptureWindowEx(h, &hTotal, &hStart, &width, &vTotal, &vStart, &height);
  std::printf("capture window    %d x %d at %d,%d (totals %d x %d)%s\n", width, height, hStart, vStart, hTotal, vTotal,
              range("within 3488 x 2616").c_str());
  std::printf("wait time         %d ms%s\n", Quorel_GetWaitTime(h), range("0 or more").c_str());
  int ok = 0;
  int clock = Quorel_GetHalfClock(h, &ok);
  if (ok) std::printf("clock mode        %d%s\n", clock, range("0 normal, 1 half, 2 high").c_str());
  std::printf("mirror            horizontal %d, vertical %d%s\n", Quorel_GetMirrorH(h), Quorel_GetMirrorV(h),
              range("0, 1").c_str());
  int iris = Quorel_GetAutoIris(h, &ok);
  if (ok) std::printf("auto iris         %d%s\n", iris, range("0 off, 1 exposure, 2 gain").c_str());
  int micros = Quorel_GetRealExposureTime(h, &ok);
  if (ok) std::printf("exposure time     %d us%s\n", micros, range("set in us, applied in whole sensor lines").c_str());
  std::printf("filter values:\n");
  for (int id = kFirstFilterId; id <= kLastFilterId; ++id) {
    int value = Quorel_GetFilterValue(h, id, &ok);
    std::string name(FilterName(id));
    const std::string accepted = all ? "   [" + RangeText(id) + "]" : std::string();
    if (ok) {
      std::printf("  %2d %-18s %d%s\n", id, name.c_str(), value, accepted.c_str());
    } else {
      std::printf("  %2d %-18s (not available)%s\n", id, name.c_str(), accepted.c_str());
    }
  }
  // Getters that failed above have recorded why; a settings listing is not
  // the place to fail, but the codes must not be mistaken for later ones.
  std::vector<int> codes = session.TakeErrors();
  if (!codes.empty()) std::fprintf(stderr, "quorel: while reading settings: %s\n", DescribeErrorCodes(codes).c_str());
}

}  // namespace

int RunInfo(const Invocation &inv) {
  int sromBytes = 16;
  bool all = false;
  ArgReader reader(inv);
  while (!reader.Done()) {
    if (reader.TakeFlag("--all")) {
      all = true;
    } else if (auto v = reader.TakeValue("--srom-bytes")) {
      sromBytes = static_cast<int>(RequireInteger(inv.command, "--srom-bytes", *v, 0, 256));
    } else if (reader.AtOption()) {
      reader.RejectOption();
    } else {
      UsageFail(inv.command, "unexpected argument '" + reader.TakePositional() + "'");
    }
  }

  CameraSession session(inv);
  const int version = Quorel_GetDllVersion();
  std::printf("library version   %d (0x%08X)\n", version, static_cast<unsigned>(version));

  auto slots = std::make_unique<char[][256]>(32);
  int found = Quorel_EnumDevice(session.handle(), slots.get());
  if (found <= 0) {
    std::vector<int> codes = session.TakeErrors();
    if (!codes.empty())
      throw CliError(kExitCamera, "info failed: " + DescribeErrorCodes(codes) + " [Quorel_EnumDevice]");
  }
  std::printf("cameras present   %d\n", found);
  if (found == 0) {
    // Everything below would describe a camera that is not there.
    PrintNoCameraHint(inv);
    throw CliError(kExitCamera, "info failed: no camera found");
  }
  for (int i = 0; i < found && i < 32; ++i) {
    slots[i][255] = '\0';
    std::printf("  %s\n", slots[i]);
  }
  // Enumeration reset the device library's unit index; select the unit again
  // so the reads below talk to the camera that was asked for.
  const int device = inv.global.device.value_or(0);
  if (inv.global.device) session.Check(Quorel_SetDeviceNumber(session.handle(), device), "Quorel_SetDeviceNumber");
  char name[64] = {};
  bool complete = true;
  if (Quorel_GetDeviceName(session.handle(), device, name, static_cast<int>(sizeof name)) == 0) {
    complete = false;
    // Still worth going on: the calls below say for themselves what works.
    std::printf("device %-2d         (no name: %s)\n", device, DescribeErrorCodes(session.TakeErrors()).c_str());
  } else {
    std::printf("device %-2d         %s\n", device, name);
  }

  PrintCameraInfo(session);
  complete = PrintSromId(session, sromBytes) && complete;
  PrintSettings(session, all);
  // Everything readable was printed; the exit code still tells a script that
  // the camera's identity could not be read.
  if (!complete) throw CliError(kExitCamera, "info failed: the camera's identity could not be read (see above)");
  return kExitOk;
}

}  // namespace quorel::cli
