// JPEG still images through the libjpeg compressor.
//
// Thread context: reentrant; every call keeps its encoder, file and row
// buffer to itself.
#pragma once

namespace quorel {

class DibImage;

// Writes an 8-bit (grayscale) or 24-bit (blue, green, red) image as a JPEG
// file. The image's memory rows are fed last first, so an image that holds
// the picture upside down (as the save path prepares it) comes out upright.
// quality is 1 to 100 (baseline-compatible tables); progressive selects the
// library's standard progressive scan script.
//
// Returns 1 when the whole file was written and closed. Returns 0 when the
// path is null or empty, the image is empty or of another depth, the file
// cannot be created, or the encoder or a write fails (disk full, for one); a
// partly written file is left on disk.
int WriteJpeg(const char *path, const DibImage &image, int quality, bool progressive);

}  // namespace quorel
