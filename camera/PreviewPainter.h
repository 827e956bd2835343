// Painting one processed frame into the preview window: the choice between
// the direct path and the scaled path through the display image.
//
// The source is the 8-bit or 24-bit image the colour mode displays through
// (after the reductions of deeper modes). When the window's client area has
// exactly the source's size and the mode is not 16-bit gray, the source is
// drawn as it is, top picture line at the top. Otherwise the display image
// is kept at the client size (8 bits with the gray palette for the gray
// modes, 24 bits for the colour modes; reallocated only when the size or
// depth changes), filled by nearest-neighbour scaling (which flips the rows)
// and drawn bottom-up, so the picture stands upright either way.
//
// Thread context: the caller holds the camera's frame lock.
#pragma once

namespace quorel {

class DibImage;
class PreviewWindow;

// The display image's depth for a colour-mode type (0 to 5).
int DisplayDepthOfType(int type);

// Sizes the display image to the client area when the window is shown with
// a non-empty client area. Returns 1 when it then has that size.
int SizeDisplayImage(PreviewWindow *window, int type, DibImage &display);

// Paints `source` for colour-mode type `type`. Returns 1 when drawn, 0 when
// skipped (no window, hidden or empty client area) or failed.
int PaintSource(PreviewWindow *window, int type, const DibImage &source, DibImage &display);

}  // namespace quorel
