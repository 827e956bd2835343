#include "image/FormatKernels.h"

#include <cstddef>
#include <cstring>

namespace quorel {

namespace {

using Sample16 = uint16_t;

// Runs fn(destination row, source row, width in pixels) for each row of
// rect, the source rows taken top to bottom or (Flip) bottom to top.
template <bool Flip, typename RowFn>
int ForEachRow(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
               int srcBytesPerPixel, int dstStride, int srcStride, RowFn fn) {
  if (dst == nullptr || src == nullptr) return 0;
  const int rows = rect.bottom - rect.top;
  const int width = rect.right - rect.left;
  if (rows <= 0 || width <= 0) return 1;
  const size_t srcOffset = static_cast<size_t>(rect.left) * static_cast<size_t>(srcBytesPerPixel);
  const size_t dstOffset = static_cast<size_t>(dstX) * static_cast<size_t>(dstBytesPerPixel);
  for (int i = 0; i < rows; ++i) {
    const int srcRow = Flip ? rect.bottom - 1 - i : rect.top + i;
    const uint8_t *s = src + static_cast<size_t>(srcRow) * static_cast<size_t>(srcStride) + srcOffset;
    uint8_t *d = dst + static_cast<size_t>(dstY + i) * static_cast<size_t>(dstStride) + dstOffset;
    fn(d, s, static_cast<size_t>(width));
  }
  return 1;
}

const Sample16 *AsSamples(const uint8_t *p) {
  return reinterpret_cast<const Sample16 *>(p);
}
Sample16 *AsSamples(uint8_t *p) {
  return reinterpret_cast<Sample16 *>(p);
}

void RowShr4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  const Sample16 *in = AsSamples(s);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(in[i] >> 4);
}

void RowShl4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  const Sample16 *in = AsSamples(s);
  Sample16 *out = AsSamples(d);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<Sample16>(in[i] << 4);
}

// SrcStep: bytes per source pixel (3 or 4). Swap writes red, green, blue.
template <int SrcStep, bool Swap>
void RowBgr8(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = s[SrcStep * i], g = s[SrcStep * i + 1], r = s[SrcStep * i + 2];
    d[3 * i] = Swap ? r : b;
    d[3 * i + 1] = g;
    d[3 * i + 2] = Swap ? b : r;
  }
}

// SrcStep: 16-bit words per source pixel (3 or 4).
template <int SrcStep>
void RowBgr16Shr4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  const Sample16 *in = AsSamples(s);
  for (size_t i = 0; i < n; ++i) {
    d[3 * i] = static_cast<uint8_t>(in[SrcStep * i] >> 4);
    d[3 * i + 1] = static_cast<uint8_t>(in[SrcStep * i + 1] >> 4);
    d[3 * i + 2] = static_cast<uint8_t>(in[SrcStep * i + 2] >> 4);
  }
}

// SrcStep/DstStep: 16-bit words per pixel; a 4-word destination gets 0xFFFF last.
template <int SrcStep, int DstStep, bool Swap>
void RowBgr16Shl4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  const Sample16 *in = AsSamples(s);
  Sample16 *out = AsSamples(d);
  for (size_t i = 0; i < n; ++i) {
    const Sample16 b = static_cast<Sample16>(in[SrcStep * i] << 4);
    const Sample16 g = static_cast<Sample16>(in[SrcStep * i + 1] << 4);
    const Sample16 r = static_cast<Sample16>(in[SrcStep * i + 2] << 4);
    out[DstStep * i] = Swap ? r : b;
    out[DstStep * i + 1] = g;
    out[DstStep * i + 2] = Swap ? b : r;
    if constexpr (DstStep == 4) out[DstStep * i + 3] = 0xFFFF;
  }
}

void RowInvertFourth(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  for (size_t i = 0; i < 4 * n; i += 4) {
    d[i] = s[i];
    d[i + 1] = s[i + 1];
    d[i + 2] = s[i + 2];
    d[i + 3] = static_cast<uint8_t>(255 - s[i + 3]);
  }
}

int StrideRows(uint8_t *dst, const KernelRect &rect, int bytesPerSample, int stride) {
  if (dst == nullptr) return 0;
  const int rows = rect.bottom - rect.top;
  const int width = rect.right - rect.left;
  if (rows <= 0 || width <= 0) return 1;
  const size_t packed = static_cast<size_t>(width) * static_cast<size_t>(bytesPerSample);
  // A stride shorter than a packed row would move rows over data not yet moved.
  if (stride < 0 || static_cast<size_t>(stride) < packed) return 0;
  if (static_cast<size_t>(stride) == packed) return 1;
  // Last row first: a row's stride position never lies before its packed
  // position, so no row is overwritten before it has moved. memmove copies a
  // row correctly even where its old and new places overlap.
  for (int row = rows - 1; row > 0; --row) {
    std::memmove(dst + static_cast<size_t>(row) * static_cast<size_t>(stride), dst + static_cast<size_t>(row) * packed,
                 packed);
  }
  return 1;
}

}  // namespace

int StrideRows8(uint8_t *dst, const uint8_t *, const KernelRect &rect, int, int, int dstBytesPerPixel, int,
                int dstStride, int, void *, void *) {
  if (dstBytesPerPixel != 1) return 0;
  return StrideRows(dst, rect, 1, dstStride);
}

int StrideRows16(uint8_t *dst, const uint8_t *, const KernelRect &rect, int, int, int dstBytesPerPixel, int,
                 int dstStride, int, void *, void *) {
  if (dstBytesPerPixel != 2) return 0;
  return StrideRows(dst, rect, 2, dstStride);
}

int Gray16To8Shr4(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                  int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  if (dstBytesPerPixel != 1 || srcBytesPerPixel != 2) return 0;
  return ForEachRow<false>(dst, src, rect, dstX, dstY, 1, 2, dstStride, srcStride, RowShr4);
}

int Gray16To8Shr4Flip(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                      int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  if (dstBytesPerPixel != 1 || srcBytesPerPixel != 2) return 0;
  return ForEachRow<true>(dst, src, rect, dstX, dstY, 1, 2, dstStride, srcStride, RowShr4);
}

int Gray16Shl4(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
               int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  if (dstBytesPerPixel != 2 || srcBytesPerPixel != 2) return 0;
  return ForEachRow<false>(dst, src, rect, dstX, dstY, 2, 2, dstStride, srcStride, RowShl4);
}

int Color32To24(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  if (dstBytesPerPixel != 3 || srcBytesPerPixel != 4) return 0;
  return ForEachRow<false>(dst, src, rect, dstX, dstY, 3, 4, dstStride, srcStride, RowBgr8<4, false>);
}

namespace {
template <bool Flip>
int Color16To24(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                int srcBytesPerPixel, int dstStride, int srcStride) {
  if (dstBytesPerPixel != 3) return 0;
  if (srcBytesPerPixel == 6)
    return ForEachRow<Flip>(dst, src, rect, dstX, dstY, 3, 6, dstStride, srcStride, RowBgr16Shr4<3>);
  if (srcBytesPerPixel == 8)
    return ForEachRow<Flip>(dst, src, rect, dstX, dstY, 3, 8, dstStride, srcStride, RowBgr16Shr4<4>);
  return 0;
}

template <int DstStep, bool Swap>
int Color16Shl4(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                int srcBytesPerPixel, int dstStride, int srcStride) {
  if (dstBytesPerPixel != 2 * DstStep) return 0;
  if (srcBytesPerPixel == 6)
    return ForEachRow<false>(dst, src, rect, dstX, dstY, 2 * DstStep, 6, dstStride, srcStride,
                             RowBgr16Shl4<3, DstStep, Swap>);
  if (srcBytesPerPixel == 8)
    return ForEachRow<false>(dst, src, rect, dstX, dstY, 2 * DstStep, 8, dstStride, srcStride,
                             RowBgr16Shl4<4, DstStep, Swap>);
  return 0;
}

template <bool Flip, bool Swap>
int Color24(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
            int srcBytesPerPixel, int dstStride, int srcStride) {
  if (dstBytesPerPixel != 3) return 0;
  if (srcBytesPerPixel == 3)
    return ForEachRow<Flip>(dst, src, rect, dstX, dstY, 3, 3, dstStride, srcStride, RowBgr8<3, Swap>);
  if (srcBytesPerPixel == 4)
    return ForEachRow<Flip>(dst, src, rect, dstX, dstY, 3, 4, dstStride, srcStride, RowBgr8<4, Swap>);
  return 0;
}
}  // namespace

int Color16To24Shr4(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                    int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color16To24<false>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color16To24Shr4Flip(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                        int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color16To24<true>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color16To48Shl4(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                    int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color16Shl4<3, false>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color16To48Shl4Swap(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                        int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color16Shl4<3, true>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color16To64Shl4(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                    int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color16Shl4<4, false>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color16To64Shl4Swap(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                        int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color16Shl4<4, true>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color24CopyFlip(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                    int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color24<true, false>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int Color24SwapRB(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                  int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  return Color24<false, true>(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride);
}

int RowCopyFlip(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int, int dstY, int dstBytesPerPixel,
                int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  if (dst == nullptr || src == nullptr || dstBytesPerPixel != srcBytesPerPixel || dstStride <= 0 || srcStride <= 0)
    return 0;
  const size_t rowBytes = static_cast<size_t>(dstStride < srcStride ? dstStride : srcStride);
  for (int i = 0; i < rect.bottom - rect.top; ++i) {
    std::memcpy(dst + static_cast<size_t>(dstY + i) * static_cast<size_t>(dstStride),
                src + static_cast<size_t>(rect.bottom - 1 - i) * static_cast<size_t>(srcStride), rowBytes);
  }
  return 1;
}

int Color32InvertFourth(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                        int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *, void *) {
  if (dstBytesPerPixel != 4 || srcBytesPerPixel != 4) return 0;
  return ForEachRow<false>(dst, src, rect, dstX, dstY, 4, 4, dstStride, srcStride, RowInvertFourth);
}

}  // namespace quorel
