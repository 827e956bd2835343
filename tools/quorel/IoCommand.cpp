// quorel io: reads and writes the camera's user I/O port.
#include <cstdio>
#include <string>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"

namespace quorel::cli {

const char kIoHelp[] =
    "usage: quorel io get\n"
    "       quorel io set VALUE\n"
    "\n"
    "Reads or writes the user I/O port (Quorel_GetIOPort, Quorel_SetIOPort).\n"
    "VALUE 0..255, decimal or 0x-prefixed.\n";

int RunIo(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.empty()) UsageFail(inv.command, "io needs 'get' or 'set VALUE'");
  const bool get = a[0] == "get";
  if (!get && a[0] != "set") UsageFail(inv.command, "unknown io operation '" + a[0] + "'");
  if (a.size() != (get ? 1u : 2u)) UsageFail(inv.command, get ? "usage: io get" : "usage: io set VALUE");
  const int value = get ? 0 : static_cast<int>(RequireInteger(inv.command, "VALUE", a[1], 0, 255));

  CameraSession session(inv);
  if (get) {
    unsigned char byte = 0;
    session.Check(Quorel_GetIOPort(session.handle(), &byte), "Quorel_GetIOPort");
    std::printf("io = 0x%02X (%d)\n", byte, byte);
  } else {
    session.Check(Quorel_SetIOPort(session.handle(), value), "Quorel_SetIOPort");
    if (Verbose(inv)) std::printf("io := 0x%02X (%d)\n", static_cast<unsigned>(value), value);
  }
  return kExitOk;
}

}  // namespace quorel::cli
