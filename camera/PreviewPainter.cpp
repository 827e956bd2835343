#include "camera/PreviewPainter.h"

#include "camera/PreviewWindow.h"
#include "image/DibImage.h"
#include "image/ScaleKernels.h"

namespace quorel {
namespace {

// Makes `display` width x height at the type's depth, keeping it when it
// already is. 8-bit images get the gray palette from Create.
bool FitDisplay(DibImage &display, int width, int height, int depth) {
  if (display.width() == width && display.height() == height && display.bitsPerPixel() == depth && !display.empty()) {
    return true;
  }
  display.Release();
  return display.Create(width, height, depth) == 1;
}

}  // namespace

int DisplayDepthOfType(int type) {
  return type <= 1 ? 8 : 24;
}

int SizeDisplayImage(PreviewWindow *window, int type, DibImage &display) {
  int width = 0;
  int height = 0;
  if (window == nullptr || !window->VisibleClient(&width, &height) || width <= 0 || height <= 0) return 0;
  return FitDisplay(display, width, height, DisplayDepthOfType(type)) ? 1 : 0;
}

int PaintSource(PreviewWindow *window, int type, const DibImage &source, DibImage &display) {
  int width = 0;
  int height = 0;
  if (window == nullptr || source.empty() || !window->VisibleClient(&width, &height)) return 0;
  if (width <= 0 || height <= 0) return 0;
  if (width == source.width() && height == source.height() && type != 1) return window->Draw(source, false);
  if (!FitDisplay(display, width, height, DisplayDepthOfType(type))) return 0;
  const ScaleKernel kernel = type <= 1 ? ScaleNearestGray : ScaleNearestColor;
  if (display.ApplyScaleKernel(kernel, source, nullptr, nullptr) == 0) return 0;
  return window->Draw(display, true);
}

}  // namespace quorel
