// PNG still images through libpng.
//
// Thread context: reentrant; every call keeps its encoder, file and row
// pointers to itself.
#pragma once

#include <cstdint>

namespace quorel {

// Writes width x height pixels of the given depth as a PNG file, memory row 0
// as the top line. Rows are stride bytes apart (width x bytes per pixel
// raised to a multiple of 4), as in every image buffer. Pixels are stored
// blue, green, red (then a fourth sample) as the image buffers hold them:
//   8 -> gray 8, 16 -> gray 16, 24 -> RGB 8, 32 -> RGBA 8, 48 -> RGB 16,
//   64 -> RGBA 16; 16-bit samples are little-endian words, written as they
//   stand (the caller scales 12-bit samples beforehand).
//
// Returns 1 when the whole file was written and closed. Returns 0 for a null
// or empty path, null pixels, a bad size or depth, a file that cannot be
// created, an encoder error or a failed write; library errors are printed as
// "libpng error: <message>" on standard error. A partly written file is left
// on disk.
int WritePng(const char *path, const uint8_t *pixels, int width, int height, int bitsPerPixel);

}  // namespace quorel
