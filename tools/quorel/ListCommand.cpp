// quorel list: the cameras present, under the names the library gives them.
#include <cstdio>
#include <memory>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"

namespace quorel::cli {

const char kListHelp[] =
    "usage: quorel list\n"
    "\n"
    "Lists the cameras present, one name per line (Quorel_EnumDevice). Names are\n"
    "numbered from _01 in unit order among the cameras present.\n";

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
  for (int i = 0; i < found; ++i) {
    slots[i][255] = '\0';
    std::printf("%s\n", slots[i]);
  }
  if (Verbose(inv)) std::printf("%d camera%s found\n", found, found == 1 ? "" : "s");
  return kExitOk;
}

}  // namespace quorel::cli
