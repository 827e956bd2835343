#include "NoCameraHint.h"

#include <cstdio>

#ifndef QUOREL_UDEV_RULES_DIR
#define QUOREL_UDEV_RULES_DIR "/usr/local/share/quorel/udev"
#endif

namespace quorel::cli {

void PrintNoCameraHint(const Invocation &inv) {
  if (inv.global.sim) {
    std::fprintf(stderr, "quorel: no camera found: the virtual camera configuration '%s' plugs in no unit\n",
                 inv.global.simConfig.c_str());
    return;
  }
  std::fprintf(stderr,
               "quorel: no camera found. Check that the camera is connected and its driver loaded\n"
               "  (device nodes /dev/QrelKX470PLU-*), and that you may open them: install the udev rule\n"
               "  %s/70-quorel-470kx.rules into /etc/udev/rules.d and run\n"
               "  'udevadm control --reload && udevadm trigger'.\n"
               "  Without a camera, --sim uses the virtual one (e.g. 'quorel --sim info').\n",
               QUOREL_UDEV_RULES_DIR);
}

}  // namespace quorel::cli
