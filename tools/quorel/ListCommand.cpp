// quorel list: the cameras present, under the names the library gives them,
// with their unit numbers and the process that holds a unit in use.
#include <cstdio>
#include <memory>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "NoCameraHint.h"
#include "UnitClaims.h"

namespace quorel::cli {

const char kListHelp[] =
    "usage: quorel list\n"
    "\n"
    "Lists the cameras present, one name per line (Quorel_EnumDevice). Names are\n"
    "numbered from _01 in unit order among the cameras present, so a name's\n"
    "number and the unit number (for --device) differ when a lower unit is\n"
    "absent; without --quiet each name is followed by its unit, and a unit that\n"
    "another process is streaming from is shown with that process's id.\n";

namespace {

// The units present, in order: Quorel_GetDeviceName answers for the units the
// last enumeration found, which is the order the names are numbered in.
std::vector<int> PresentUnits(CameraSession &session) {
  std::vector<int> units;
  char name[64];
  for (int unit = 0; unit < 32; ++unit) {
    if (Quorel_GetDeviceName(session.handle(), unit, name, static_cast<int>(sizeof name)) == 1) units.push_back(unit);
  }
  // The absent units recorded code 2 each; they are not failures of list.
  session.TakeErrors();
  return units;
}

}  // namespace

int RunList(const Invocation &inv) {
  if (!PositionalOnly(inv).empty()) UsageFail(inv.command, "list takes no arguments");
  CameraSession session(inv);
  // The library writes one slot per present camera, up to 32 of them.
  auto slots = std::make_unique<char[][256]>(32);
  int found = Quorel_EnumDevice(session.handle(), slots.get());
  if (found == 0) {
    std::vector<int> codes = session.TakeErrors();
    if (!codes.empty())
      throw CliError(kExitCamera, "list failed: " + DescribeErrorCodes(codes) + " [Quorel_EnumDevice]");
  }
  if (found < 0 || found > 32)
    throw CliError(kExitCamera, "list failed: the library reported " + std::to_string(found) + " cameras");
  const std::vector<int> units = Verbose(inv) ? PresentUnits(session) : std::vector<int>{};
  for (int i = 0; i < found; ++i) {
    slots[i][255] = '\0';
    std::printf("%s\n", slots[i]);
    if (static_cast<size_t>(i) < units.size()) {
      const int unit = units[static_cast<size_t>(i)];
      if (auto pid = UnitHolder(unit)) {
        std::printf("  unit %d, in use by process %ld\n", unit, static_cast<long>(*pid));
      } else {
        std::printf("  unit %d\n", unit);
      }
    }
  }
  if (Verbose(inv)) std::printf("%d camera%s found\n", found, found == 1 ? "" : "s");
  if (found == 0) PrintNoCameraHint(inv);
  return kExitOk;
}

}  // namespace quorel::cli
