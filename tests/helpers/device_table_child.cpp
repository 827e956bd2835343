// Child process for the device-table tests: opens the table named by
// QUOREL_SHM_NAME, reports "open <ok> <created>", then answers one line per
// command read from stdin until "quit" or end of input:
//   claim <unit> <window-hex>     -> "claim <result>"
//   release <unit> <window-hex>   -> "release <result>"
//   inuse <unit>                  -> "inuse <0|1>"
// A window of 0 stands for NULL.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/DeviceTable.h"

int main() {
  quorel::DeviceTable table;
  const bool ok = table.Open();
  std::printf("open %d %d\n", ok ? 1 : 0, table.WasCreated() ? 1 : 0);
  std::fflush(stdout);

  char line[256];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    char command[32] = {};
    int unit = 0;
    unsigned long long window = 0;
    const int fields = std::sscanf(line, "%31s %d %llx", command, &unit, &window);
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    if (fields >= 1 && std::strcmp(command, "quit") == 0) break;
    if (fields == 3 && std::strcmp(command, "claim") == 0) {
      std::printf("claim %d\n", table.ClaimUnit(unit, hwnd));
    } else if (fields == 3 && std::strcmp(command, "release") == 0) {
      std::printf("release %d\n", table.ReleaseUnit(unit, hwnd));
    } else if (fields >= 2 && std::strcmp(command, "inuse") == 0) {
      std::printf("inuse %d\n", table.IsUnitInUse(unit) ? 1 : 0);
    } else {
      std::printf("bad\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
