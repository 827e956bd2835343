#include "device/sim/SimFrameFaults.h"

#include <cstring>

namespace quorel::sim {

bool SimFrameFaults::Inject(const char *fault) {
  if (fault == nullptr) return false;
  if (std::strcmp(fault, "short-frame") == 0) {
    shortFrame_ = true;
    return true;
  }
  if (std::strcmp(fault, "fail-frame") == 0) {
    failFrame_ = true;
    return true;
  }
  if (std::strcmp(fault, "fail-register") == 0) {
    failRegister_ = true;
    return true;
  }
  constexpr char kStall[] = "stall=";
  if (std::strncmp(fault, kStall, sizeof kStall - 1) == 0) {
    const char *p = fault + sizeof kStall - 1;
    uint32_t ms = 0;
    if (*p == '\0') return false;
    for (; *p != '\0'; ++p) {
      if (*p < '0' || *p > '9') return false;
      ms = ms * 10 + static_cast<uint32_t>(*p - '0');
      if (ms > 600000) return false;
    }
    if (ms == 0) return false;
    stallMs_ = ms;
    return true;
  }
  return false;
}

}  // namespace quorel::sim
