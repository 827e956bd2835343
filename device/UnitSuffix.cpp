#include "device/UnitSuffix.h"

#include <cstring>

namespace quorel {

namespace {
// N before M: the driver numbers its device nodes in this order.
constexpr const char *kSuffixes[kUnitSuffixCount] = {
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F", "G", "H",
    "I", "J", "K", "L", "N", "M", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z",
};
}  // namespace

const char *UnitSuffix(int unit) {
  if (unit < 0 || unit >= kUnitSuffixCount) return nullptr;
  return kSuffixes[unit];
}

int UnitFromSuffix(const char *suffix) {
  if (suffix == nullptr) return -1;
  for (int i = 0; i < kUnitSuffixCount; ++i) {
    if (std::strcmp(suffix, kSuffixes[i]) == 0) return i;
  }
  return -1;
}

}  // namespace quorel
