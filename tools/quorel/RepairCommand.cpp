// quorel repair: rebuilds a recording whose program ended before finishing
// it (killed, crashed, power lost), so that it plays with every whole frame.
#include <cstdio>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "Commands.h"
#include "QuorelFiles.h"

namespace quorel::cli {

const char kRepairHelp[] =
    "usage: quorel repair FILE.avi\n"
    "\n"
    "Rebuilds the index, sizes and frame counts of an AVI recording made by this\n"
    "library whose program ended before finishing it. Every whole frame is kept;\n"
    "a partial last frame is cut off. The frame rate comes from the recorded\n"
    "duration where the file system keeps the file's birth time. A file that is\n"
    "not such a recording is left untouched and exits with 4.\n";

int RunRepair(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.size() != 1) UsageFail(inv.command, "repair takes one AVI file");
  QuorelAviRepairInfo result = {};
  result.size = sizeof result;
  char why[1024] = "";
  if (QuorelFiles_RepairAvi(a[0].c_str(), &result, why, sizeof why) != 1) {
    throw CliError(kExitFile, "repair: '" + a[0] + "': " + why);
  }
  std::printf("repaired %s: %u frames, %.2f fps%s\n", a[0].c_str(), result.frames, result.rateHundredths / 100.0,
              result.rateFromDuration != 0 ? " (from the recorded duration)" : "");
  return kExitOk;
}

}  // namespace quorel::cli
