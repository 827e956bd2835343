// Where the live picture sits in the viewer's picture area, and the small
// display copy the viewer paints itself when the library's preview window is
// not there (a snapshot, or a library without its window module).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorel::viewer {

struct PictureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Fit: the largest rectangle of the image's aspect inside the area, centred
// (at least 1 x 1). 100 %: the image's own size, centred (it may stand out of
// the area on every side). An empty area or image gives an empty rectangle.
PictureRect LayoutPicture(int areaWidth, int areaHeight, int imageWidth, int imageHeight, bool fit);

// A frame reduced for display: 0x00RRGGBB words (cairo's RGB24), top row
// first, at most maxWidth x maxHeight, by nearest sampling.
struct DisplayImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// From a frame as the library delivers it (see ComputeHistogram for the
// depths); topDown says whether the buffer's first row is the picture's top
// line. False, leaving `out` empty, for a buffer that does not hold the frame.
bool MakeDisplayImage(const uint8_t *frame, size_t size, int width, int height, int bitCount, bool topDown,
                      int maxWidth, int maxHeight, DisplayImage &out);

}  // namespace quorel::viewer
