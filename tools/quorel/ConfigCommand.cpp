// quorel config: loads a configuration file into the camera.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"

namespace quorel::cli {

const char kConfigHelp[] =
    "usage: quorel config load FILE\n"
    "\n"
    "Loads FILE, a sequence of 8-byte records (two 32-bit little-endian words),\n"
    "into the camera's configuration list (Quorel_LoadConfigFileA) and prints the\n"
    "result. A file that cannot be opened exits with 4.\n";

int RunConfig(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.empty() || a[0] != "load") UsageFail(inv.command, "config needs 'load FILE'");
  if (a.size() != 2) UsageFail(inv.command, "usage: config load FILE");
  const std::string &file = a[1];

  CameraSession session(inv);
  const int result = Quorel_LoadConfigFileA(session.handle(), file.c_str());
  if (result == 0) {
    std::vector<int> codes = session.TakeErrors();
    if (!codes.empty())
      throw CliError(kExitCamera, "config load failed: " + DescribeErrorCodes(codes) + " [Quorel_LoadConfigFileA]");
    // The library records nothing for a file it cannot open; say why it could not.
    std::FILE *f = std::fopen(file.c_str(), "rb");
    const int err = errno;
    if (f != nullptr) std::fclose(f);
    throw CliError(kExitFile, "config load failed: cannot open '" + file + "'" +
                                  (f == nullptr ? std::string(": ") + std::strerror(err) : std::string()));
  }
  struct stat st {};
  const long long bytes = stat(file.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  if (Verbose(inv)) {
    if (bytes >= 0) {
      std::printf("loaded %s: result %d, %lld bytes, %lld records\n", file.c_str(), result, bytes, bytes / 8);
    } else {
      std::printf("loaded %s: result %d\n", file.c_str(), result);
    }
  } else {
    std::printf("%d\n", result);
  }
  return kExitOk;
}

}  // namespace quorel::cli
