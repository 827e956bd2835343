// quorel srom: reads and writes the camera's serial-ROM identifier bytes.
#include <cstdio>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"

namespace quorel::cli {

const char kSromHelp[] =
    "usage: quorel srom read INDEX\n"
    "       quorel srom write INDEX VALUE\n"
    "       quorel srom OPERATION... (e.g. srom write 20 0x5A read 20)\n"
    "\n"
    "Reads or writes serial-ROM identifier bytes (Quorel_ReadSromID,\n"
    "Quorel_WriteSromID). INDEX 0..255, VALUE 0..255, decimal or 0x-prefixed.\n"
    "Several operations run in order on one opened camera.\n";

namespace {

struct SromOperation {
  bool write = false;
  int index = 0;
  int value = 0;
};

// The library keeps only the low 8 bits of index and value; a larger number
// is a mistake, not a request for the byte it wraps to.
std::vector<SromOperation> ParseOperations(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.empty()) UsageFail(inv.command, "srom needs 'read INDEX' or 'write INDEX VALUE'");
  std::vector<SromOperation> ops;
  for (size_t i = 0; i < a.size();) {
    SromOperation op;
    if (a[i] == "read") {
      if (i + 1 >= a.size()) UsageFail(inv.command, "usage: srom read INDEX");
      op.index = static_cast<int>(RequireInteger(inv.command, "INDEX", a[i + 1], 0, 255));
      i += 2;
    } else if (a[i] == "write") {
      if (i + 2 >= a.size()) UsageFail(inv.command, "usage: srom write INDEX VALUE");
      op.write = true;
      op.index = static_cast<int>(RequireInteger(inv.command, "INDEX", a[i + 1], 0, 255));
      op.value = static_cast<int>(RequireInteger(inv.command, "VALUE", a[i + 2], 0, 255));
      i += 3;
    } else {
      UsageFail(inv.command, "unknown srom operation '" + a[i] + "'");
    }
    ops.push_back(op);
  }
  return ops;
}

}  // namespace

int RunSrom(const Invocation &inv) {
  const std::vector<SromOperation> ops = ParseOperations(inv);
  CameraSession session(inv);
  for (const SromOperation &op : ops) {
    if (op.write) {
      session.Check(Quorel_WriteSromID(session.handle(), op.index, op.value), "Quorel_WriteSromID");
      if (Verbose(inv)) std::printf("srom[%d] := 0x%02X (%d)\n", op.index, static_cast<unsigned>(op.value), op.value);
    } else {
      int ok = 0;
      int byte = Quorel_ReadSromID(session.handle(), op.index, &ok);
      if (!ok) session.Fail("Quorel_ReadSromID");
      std::printf("srom[%d] = 0x%02X (%d)\n", op.index, static_cast<unsigned>(byte) & 0xFFu, byte & 0xFF);
    }
  }
  return kExitOk;
}

}  // namespace quorel::cli
