#include "device/sim/SimFrameLayout.h"

namespace quorel::sim {

int SimOutputSize(int size, int divisor) {
  switch (divisor) {
    case 2:
      return (size / 2 + 1) & ~1;
    case 4:
      return (size / 4 + 3) & ~3;
    default:
      return size;
  }
}

SimFrameLayout DeriveFrameLayout(const SimSensorView &view) {
  // The host writes start + 8 and start + size + 16 into the window registers.
  const int x = static_cast<int>(view.Register(kRegColumnStart)) - 8;
  const int y = static_cast<int>(view.Register(kRegRowStart)) - 8;
  const int width = static_cast<int>(view.Register(kRegColumnEnd)) - 16 - x;
  const int height = static_cast<int>(view.Register(kRegRowEnd)) - 16 - y;
  if (x < 0 || y < 0 || width < 4 || height < 3 || x + width > kSensorWidth || y + height > kSensorHeight) {
    return {};
  }
  const uint16_t readMode = view.Register(kRegReadMode);
  const int outWidth = view.Register(kRegOutputWidth);
  const int outHeight = view.Register(kRegOutputHeight);

  // The read mode says how the sensor skips, but a window programmed with a
  // mode the host has no entry for leaves the previous read mode in place
  // and is laid out at full resolution; the output size tells them apart.
  const int readDivisor = (readMode & kReadModeSkip4) ? 4 : (readMode & kReadModeSkip2) ? 2 : 1;
  int divisor;
  if (SimOutputSize(width, readDivisor) == outWidth && SimOutputSize(height, readDivisor) == outHeight) {
    divisor = readDivisor;
  } else if (width == outWidth && height == outHeight) {
    divisor = 1;
  } else {
    return {};
  }

  SimFrameLayout layout;
  layout.valid = true;
  layout.windowX = x;
  layout.windowY = y;
  layout.windowWidth = width;
  layout.windowHeight = height;
  layout.divisor = divisor;
  layout.binning = divisor > 1 && (readMode & kReadModeBinning) != 0;
  layout.mirrorH = (readMode & kReadModeMirrorH) != 0;
  layout.mirrorV = (readMode & kReadModeMirrorV) != 0;
  // The host packs the delivered picture with no margins: width / d samples
  // per row, height / d rows (truncating, even where the sensor's output
  // size was raised).
  layout.lineTotal = width / divisor;
  layout.lineStart = 0;
  layout.imageWidth = width / divisor;
  layout.frameLines = height / divisor;
  layout.imageTop = 0;
  layout.imageHeight = height / divisor;
  const size_t samples =
      static_cast<size_t>(layout.imageTop + layout.imageHeight) * static_cast<size_t>(layout.lineTotal);
  layout.transferSamples = (samples + 1023) / 1024 * 1024;
  return layout;
}

size_t ProgrammedTransferSamples(const SimSensorView &view) {
  return static_cast<size_t>(view.Port(0)) | static_cast<size_t>(view.Port(1)) << 8 |
         static_cast<size_t>(view.Port(2)) << 16 | static_cast<size_t>(view.Port(3)) << 24;
}

bool Programmed16Bit(const SimSensorView &view) {
  return (view.Port(kPortSampleDepth) & 1) != 0;
}

size_t ProgrammedTransferBytes(const SimSensorView &view) {
  return ProgrammedTransferSamples(view) * (Programmed16Bit(view) ? 2 : 1);
}

}  // namespace quorel::sim
