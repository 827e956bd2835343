// The one-character suffix that names a camera unit in its device path.
#pragma once

namespace quorel {

inline constexpr int kMaxUnits = 32;
inline constexpr int kUnitSuffixCount = 36;

// Suffix of unit 0..35: "0".."9", "A".."L", "N", "M", "O".."Z" (N comes
// before M, as the driver names them). Null outside 0..35.
const char *UnitSuffix(int unit);

// The unit whose suffix is `suffix` (one character), or -1.
int UnitFromSuffix(const char *suffix);

}  // namespace quorel
