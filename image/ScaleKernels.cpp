#include "image/ScaleKernels.h"

#include "image/BandPool.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace quorel {

namespace {

int Clamp(int v, int hi) {
  return v < 0 ? 0 : (v > hi ? hi : v);
}

// The source byte offset of every destination column. Kept per thread and
// only grown, so painting frame after frame allocates nothing.
std::vector<size_t> &ColumnTable(size_t columns) {
  thread_local std::vector<size_t> table;
  if (table.size() < columns) table.resize(columns);
  return table;
}

// Bytes: bytes copied per pixel. The source column of every destination
// column is worked out once per call, so the row loop is a plain gather.
template <int Bytes>
int ScaleNearest(const FrameView &dstView, const ConstFrameView &srcView) {
  uint8_t *dst = dstView.pixels;
  const uint8_t *src = srcView.pixels;
  const KernelRect &dstRect = dstView.rect;
  const KernelRect &srcRect = srcView.rect;
  const int srcWidth = srcView.width;
  const int srcHeight = srcView.height;
  const int dstBytesPerPixel = dstView.bytesPerPixel;
  const int srcBytesPerPixel = srcView.bytesPerPixel;
  const int srcStride = srcView.stride;
  if (dst == nullptr || src == nullptr || srcWidth <= 0 || srcHeight <= 0) return 0;
  if (dstBytesPerPixel < Bytes || srcBytesPerPixel < Bytes) return 0;
  const int dstW = dstRect.right - dstRect.left;
  const int dstH = dstRect.bottom - dstRect.top;
  if (dstW <= 0 || dstH <= 0) return 0;
  const float sx = static_cast<float>(srcRect.right - srcRect.left) / static_cast<float>(dstW);
  const float sy = static_cast<float>(srcRect.bottom - srcRect.top) / static_cast<float>(dstH);

  const size_t columns = static_cast<size_t>(dstW);
  std::vector<size_t> &columnOffset = ColumnTable(columns);
  for (int x = 0; x < dstW; ++x) {
    const int column = Clamp(srcRect.left + static_cast<int>(static_cast<float>(x) * sx), srcWidth - 1);
    columnOffset[static_cast<size_t>(x)] = static_cast<size_t>(column) * static_cast<size_t>(srcBytesPerPixel);
  }
  const size_t *offset = columnOffset.data();
  // Columns that map one to one onto consecutive source pixels of the same
  // size make every row one block copy.
  const bool contiguous = dstBytesPerPixel == Bytes && srcBytesPerPixel == Bytes &&
                          offset[columns - 1] - offset[0] == (columns - 1) * static_cast<size_t>(Bytes);
  // Three-byte pixels go as four-byte words where that is safe: the word read
  // stays inside the source row's stride, and the extra byte written lands on
  // the next destination pixel, which is written afterwards. The offsets
  // never decrease, so the safe columns are a prefix.
  size_t wide = 0;
  if constexpr (Bytes == 3) {
    if (dstBytesPerPixel == 3) {
      while (wide + 1 < columns && offset[wide] + 4 <= static_cast<size_t>(srcStride)) ++wide;
    }
  }
  // Bands of destination rows over the pool's threads: each row depends only
  // on its own number, so the result is the same for any split, and the
  // reads of the source rows, which bound this copy, go out from every core.
  const size_t srcRowBytes = static_cast<size_t>(srcStride);
  const size_t dstRowBytes = static_cast<size_t>(dstView.stride);
  const auto rows = [&](int, int yBegin, int yEnd) {
    for (int y = yBegin; y < yEnd; ++y) {
      const int r = Clamp(static_cast<int>(static_cast<float>(y) * sy), srcHeight - 1);
      const int memoryRow = srcRect.bottom - r - 1;
      if (memoryRow < 0 || memoryRow >= srcHeight) continue;  // only for a rectangle outside the source
      const uint8_t *s = src + static_cast<size_t>(memoryRow) * srcRowBytes;
      uint8_t *d = dst + static_cast<size_t>(dstRect.top + y) * dstRowBytes +
                   static_cast<size_t>(dstRect.left) * static_cast<size_t>(dstBytesPerPixel);
      if (contiguous) {
        std::memcpy(d, s + offset[0], columns * static_cast<size_t>(Bytes));
        continue;
      }
      size_t x = 0;
      if constexpr (Bytes == 3) {
        for (; x < wide; ++x) {
          uint32_t word;
          std::memcpy(&word, s + offset[x], 4);
          std::memcpy(d + 3 * x, &word, 4);
        }
      }
      for (; x < columns; ++x) {
        const uint8_t *p = s + offset[x];
        uint8_t *q = d + x * static_cast<size_t>(dstBytesPerPixel);
        for (int b = 0; b < Bytes; ++b) q[b] = p[b];
      }
    }
  };
  BandPool &pool = DefaultBandPool();
  if (pool.Bands(dstH) > 1) {
    pool.Run(dstH, rows);
  } else {
    rows(0, 0, dstH);
  }
  return 1;
}

}  // namespace

int ScaleNearestColor(const FrameView &dst, const ConstFrameView &src) {
  return ScaleNearest<3>(dst, src);
}

int ScaleNearestGray(const FrameView &dst, const ConstFrameView &src) {
  return ScaleNearest<1>(dst, src);
}

}  // namespace quorel
