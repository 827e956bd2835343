// TIFF still images through libtiff: uncompressed, one strip, samples in
// red, green, blue order.
//
// Thread context: reentrant; every call keeps its file and buffer to itself.
#pragma once

namespace quorel {

class DibImage;

// Writes the image (8, 16, 24, 32, 48 or 64 bits per pixel) as an
// uncompressed TIFF, memory row 0 as the first row:
//   8  -> 8 bits, 1 sample, min-is-black, samples copied;
//   16 -> 16 bits, 1 sample, min-is-black, each sample x 16;
//   24 -> 8 bits, 3 samples, RGB;
//   32 -> 8 bits, 4 samples, RGB, fourth sample 0;
//   48 -> 16 bits, 3 samples, RGB, each sample x 16;
//   64 -> 16 bits, 4 samples, RGB, each sample x 16, fourth sample 65535.
// Rows are stored without the padding that raises a buffer row to a multiple
// of 4 bytes.
//
// Returns 1 when the strip and the directory were written. Returns 0 for a
// null or empty path, an empty image or another depth, a file that cannot be
// created, or a failed write; libtiff prints its own messages. A partly
// written file is left on disk.
int WriteTiff(const char *path, const DibImage &image);

}  // namespace quorel
