// A picture file for the virtual camera's image scene: PPM (P6, 8 or 16 bits
// per channel) or PNG, decoded to RGB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorel::sim {

struct SimPicture {
  int width = 0;
  int height = 0;
  // width x height pixels of red, green, blue, each 0 to 65535, rows top first.
  std::vector<uint16_t> rgb;
};

// Largest picture accepted, in pixels, so that a hostile header cannot ask
// for an absurd allocation.
inline constexpr size_t kMaxPicturePixels = size_t{64} * 1024 * 1024;

// Loads `path` into *picture. False, with a one-line reason in *error, for a
// missing, unreadable, unsupported or damaged file. Thread context: any.
bool LoadSimPicture(const std::string &path, SimPicture *picture, std::string *error);

}  // namespace quorel::sim
