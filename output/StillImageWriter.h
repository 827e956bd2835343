// Saving the camera's current image as a still file: BMP, raw pixel memory,
// JPEG at three qualities, PNG or TIFF, chosen by a numeric file type. The
// file name is used as given; its extension is neither read nor added.
//
// Thread context: reentrant. The camera object calls SaveStillImage while it
// holds its frame lock, so the image does not change during the save; every
// call keeps its files, encoders and temporary images to itself.
#pragma once

namespace quorel {

class DibImage;

// File type codes of Quorel_SaveImage.
enum StillFileType : int {
  kStillBmp = 0,
  kStillRaw = 1,
  kStillJpeg100 = 2,
  kStillJpeg70 = 3,
  kStillJpeg20 = 4,
  kStillPng = 5,
  kStillTiff = 6,
};

struct SaveResult {
  // 1 when the whole file was written, else 0.
  int saved = 0;
  // Error code the camera records (and posts) for this save; 0 records
  // nothing. Only a missing image buffer records a code (1, not ready);
  // a bad file type, a file that cannot be created or a failed write return
  // 0 and record nothing.
  int errorCode = 0;
};

// Saves image (8, 16, 24, 32, 48 or 64 bits per pixel, memory row 0 the top
// line) to path as fileType. Every format ends with memory row 0 as the top
// line of the saved picture (for BMP: the last row stored). What each depth
// becomes:
//   BMP   the buffer's depth unchanged (8 bits with a gray palette), rows
//         bottom line first;
//   raw   height x stride bytes of pixel memory as held, no header;
//   JPEG  8 and 16 bits as 1-component gray (16: sample >> 4), the colour
//         depths as RGB (16-bit samples >> 4, fourth sample dropped);
//   PNG   8 gray, 16 gray x 16, 24 RGB, 32 RGBA with alpha = 255 - fourth
//         byte, 48 RGB x 16, 64 RGBA x 16 with alpha 65535;
//   TIFF  see WriteTiff.
// A partly written file is left on disk after a failure. Never throws.
SaveResult SaveStillImage(const DibImage *image, const char *path, int fileType) noexcept;

}  // namespace quorel
