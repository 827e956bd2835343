// quorel reg: reads and writes sensor registers by their full address.
#include <cstdio>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"

namespace quorel::cli {

const char kRegHelp[] =
    "usage: quorel reg read ADDR\n"
    "       quorel reg write ADDR VALUE\n"
    "       quorel reg OPERATION... (e.g. reg write 0x3100 7 read 0x3100)\n"
    "\n"
    "Reads or writes 16-bit sensor registers (Quorel_ReadRegisterEx,\n"
    "Quorel_WriteRegisterEx). ADDR 0..0xFFFF and VALUE 0..0xFFFF, in decimal or\n"
    "with a 0x prefix. Several operations run in order on one opened camera; a\n"
    "virtual camera keeps its registers only while one command runs, and opening\n"
    "any camera writes its gain and exposure registers again.\n";

namespace {

struct RegOperation {
  bool write = false;
  int address = 0;
  int value = 0;
};

std::vector<RegOperation> ParseOperations(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.empty()) UsageFail(inv.command, "reg needs 'read ADDR' or 'write ADDR VALUE'");
  std::vector<RegOperation> ops;
  for (size_t i = 0; i < a.size();) {
    RegOperation op;
    if (a[i] == "read") {
      if (i + 1 >= a.size()) UsageFail(inv.command, "usage: reg read ADDR");
      op.address = static_cast<int>(RequireInteger(inv.command, "ADDR", a[i + 1], 0, 0xFFFF));
      i += 2;
    } else if (a[i] == "write") {
      if (i + 2 >= a.size()) UsageFail(inv.command, "usage: reg write ADDR VALUE");
      op.write = true;
      op.address = static_cast<int>(RequireInteger(inv.command, "ADDR", a[i + 1], 0, 0xFFFF));
      op.value = static_cast<int>(RequireInteger(inv.command, "VALUE", a[i + 2], 0, 0xFFFF));
      i += 3;
    } else {
      UsageFail(inv.command, "unknown reg operation '" + a[i] + "'");
    }
    ops.push_back(op);
  }
  return ops;
}

}  // namespace

int RunReg(const Invocation &inv) {
  const std::vector<RegOperation> ops = ParseOperations(inv);
  CameraSession session(inv);
  for (const RegOperation &op : ops) {
    const unsigned address = static_cast<unsigned>(op.address);
    if (op.write) {
      session.Check(Quorel_WriteRegisterEx(session.handle(), op.address, op.value), "Quorel_WriteRegisterEx");
      if (Verbose(inv)) std::printf("0x%04X := 0x%04X (%d)\n", address, static_cast<unsigned>(op.value), op.value);
    } else {
      int ok = 0;
      int value = Quorel_ReadRegisterEx(session.handle(), op.address, &ok);
      if (!ok) session.Fail("Quorel_ReadRegisterEx");
      std::printf("0x%04X = 0x%04X (%d)\n", address, static_cast<unsigned>(value) & 0xFFFFu, value);
    }
  }
  return kExitOk;
}

}  // namespace quorel::cli
