#include "image/FormatKernels.h"

#pragma GCC optimize("O3")

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace quorel {

namespace {

using Sample16 = uint16_t;

// Runs fn(destination row, source row, width in pixels) for each row of the
// source rectangle, the source rows taken top to bottom or (Flip) bottom to
// top.
template <bool Flip, auto RowFn>
int ForEachRow(const FrameView &dstView, const ConstFrameView &srcView) {
  uint8_t *dst = dstView.pixels;
  const uint8_t *src = srcView.pixels;
  const KernelRect &rect = srcView.rect;
  const int dstX = dstView.rect.left;
  const int dstY = dstView.rect.top;
  const int dstBytesPerPixel = dstView.bytesPerPixel;
  const int srcBytesPerPixel = srcView.bytesPerPixel;
  const int dstStride = dstView.stride;
  const int srcStride = srcView.stride;
  if (dst == nullptr || src == nullptr) return 0;
  const int rows = rect.bottom - rect.top;
  const int width = rect.right - rect.left;
  if (rows <= 0 || width <= 0) return 1;
  const size_t srcOffset = static_cast<size_t>(rect.left) * static_cast<size_t>(srcBytesPerPixel);
  const size_t dstOffset = static_cast<size_t>(dstX) * static_cast<size_t>(dstBytesPerPixel);
  // A flipped copy walks the source forwards and the destination backwards:
  // reading memory in ascending order keeps the hardware prefetch effective,
  // while stores are buffered either way.
  for (int step = 0; step < rows; ++step) {
    const int i = Flip ? rows - 1 - step : step;
    const int srcRow = Flip ? rect.bottom - 1 - i : rect.top + i;
    const uint8_t *s = src + static_cast<size_t>(srcRow) * static_cast<size_t>(srcStride) + srcOffset;
    uint8_t *d = dst + static_cast<size_t>(dstY + i) * static_cast<size_t>(dstStride) + dstOffset;
    RowFn(d, s, static_cast<size_t>(width));
  }
  return 1;
}

// Samples and pixels are read and written through memcpy: plain (possibly
// unaligned) loads and stores without type-punning.
template <typename T>
T Load(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(uint8_t *p, T v) {
  std::memcpy(p, &v, sizeof v);
}

void RowShr4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(Load<Sample16>(s + 2 * i) >> 4);
}

void RowShl4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) Store<Sample16>(d + 2 * i, static_cast<Sample16>(Load<Sample16>(s + 2 * i) << 4));
}

void RowCopy24(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  std::memcpy(d, s, 3 * n);
}

// Whole pixels as one integer, first byte lowest: a pixel of up to 4 bytes
// in a uint32_t, of 6 or 8 bytes in a uint64_t.
template <int Bytes>
using PixelWord = std::conditional_t<(Bytes <= 4), uint32_t, uint64_t>;

// A pixel of `Bytes` bytes read as a whole word; the bytes beyond the pixel
// (the next pixel's) are read too, so this is used only where they exist.
template <int Bytes>
PixelWord<Bytes> LoadWide(const uint8_t *p) {
  return Load<PixelWord<Bytes>>(p);
}

// A pixel read byte-exactly, for the last pixel of a row.
template <int Bytes>
PixelWord<Bytes> LoadExact(const uint8_t *p) {
  PixelWord<Bytes> v = 0;
  std::memcpy(&v, p, Bytes);
  return v;
}

// Converts a row pixel by pixel with word-wide loads and stores. Where a
// pixel is narrower than its word, a store also writes the start of the next
// pixel, which that pixel's own store then overwrites; the last pixel of the
// row is read and written byte-exactly, so nothing outside the row is read
// or written.
template <int SrcBytes, int DstBytes, auto Convert>
void ConvertRow(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  if (n == 0) return;
  using Out = PixelWord<DstBytes>;
  for (size_t i = 0; i + 1 < n; ++i) {
    Store<Out>(d + DstBytes * i, static_cast<Out>(Convert(LoadWide<SrcBytes>(s + SrcBytes * i))));
  }
  const Out last = static_cast<Out>(Convert(LoadExact<SrcBytes>(s + SrcBytes * (n - 1))));
  std::memcpy(d + DstBytes * (n - 1), &last, DstBytes);
}

// 8-bit blue, green, red in the low three bytes; Swap exchanges red and blue.
template <bool Swap>
uint32_t Bgr8(uint32_t v) {
  if constexpr (Swap) return ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
  return v & 0xFFFFFFu;
}

// Three 16-bit samples, each << 4 within its word; Swap exchanges red and
// blue; Fourth sets the fourth word to 0xFFFF.
template <bool Swap, bool Fourth>
uint64_t Bgr16Shl4(uint64_t v) {
  uint64_t w = (v << 4) & 0x0000FFF0FFF0FFF0ull;
  if constexpr (Swap) w = ((w & 0xFFFFull) << 32) | (w & 0xFFFF0000ull) | ((w >> 32) & 0xFFFFull);
  if constexpr (Fourth) w |= 0xFFFF000000000000ull;
  return w;
}

uint32_t InvertFourth(uint32_t v) {
  return v ^ 0xFF000000u;
}

// Sample-by-sample rows, for the conversions whose word-wide form the
// compiler cannot vectorise (those interleaving or swapping narrow samples).
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
  for (size_t i = 0; i < n; ++i) {
    const uint8_t *p = s + 2 * SrcStep * i;
    d[3 * i] = static_cast<uint8_t>(Load<Sample16>(p) >> 4);
    d[3 * i + 1] = static_cast<uint8_t>(Load<Sample16>(p + 2) >> 4);
    d[3 * i + 2] = static_cast<uint8_t>(Load<Sample16>(p + 4) >> 4);
  }
}

// SrcStep/DstStep: 16-bit words per pixel; a 4-word destination gets 0xFFFF last.
template <int SrcStep, int DstStep, bool Swap>
void RowBgr16Shl4(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t *p = s + 2 * SrcStep * i;
    uint8_t *q = d + 2 * DstStep * i;
    const Sample16 b = static_cast<Sample16>(Load<Sample16>(p) << 4);
    const Sample16 g = static_cast<Sample16>(Load<Sample16>(p + 2) << 4);
    const Sample16 r = static_cast<Sample16>(Load<Sample16>(p + 4) << 4);
    Store<Sample16>(q, Swap ? r : b);
    Store<Sample16>(q + 2, g);
    Store<Sample16>(q + 4, Swap ? b : r);
    if constexpr (DstStep == 4) Store<Sample16>(q + 6, 0xFFFF);
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

int StrideRows8(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 1) return 0;
  return StrideRows(dst.pixels, src.rect, 1, dst.stride);
}

int StrideRows16(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 2) return 0;
  return StrideRows(dst.pixels, src.rect, 2, dst.stride);
}

int Gray16To8Shr4(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 1 || src.bytesPerPixel != 2) return 0;
  return ForEachRow<false, RowShr4>(dst, src);
}

int Gray16To8Shr4Flip(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 1 || src.bytesPerPixel != 2) return 0;
  return ForEachRow<true, RowShr4>(dst, src);
}

int Gray16Shl4(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 2 || src.bytesPerPixel != 2) return 0;
  return ForEachRow<false, RowShl4>(dst, src);
}

int Color32To24(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 3 || src.bytesPerPixel != 4) return 0;
  return ForEachRow<false, ConvertRow<4, 3, Bgr8<false>>>(dst, src);
}

namespace {
template <bool Flip>
int Color16To24(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 3) return 0;
  if (src.bytesPerPixel == 6) return ForEachRow<Flip, RowBgr16Shr4<3>>(dst, src);
  if (src.bytesPerPixel == 8) return ForEachRow<Flip, RowBgr16Shr4<4>>(dst, src);
  return 0;
}

template <int DstStep, bool Swap>
int Color16Shl4(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 2 * DstStep) return 0;
  // 64-bit to 64-bit in order works on whole pixels as one word each.
  constexpr bool Wide64 = DstStep == 4 && !Swap;
  if (src.bytesPerPixel == 6) return ForEachRow<false, RowBgr16Shl4<3, DstStep, Swap>>(dst, src);
  if (src.bytesPerPixel == 8)
    return ForEachRow<false, (Wide64 ? ConvertRow<8, 8, Bgr16Shl4<false, true>> : RowBgr16Shl4<4, DstStep, Swap>)>(dst,
                                                                                                                   src);
  return 0;
}

template <bool Flip, bool Swap>
int Color24(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 3) return 0;
  if (src.bytesPerPixel == 3) return ForEachRow<Flip, (Swap ? RowBgr8<3, true> : RowCopy24)>(dst, src);
  if (src.bytesPerPixel == 4) return ForEachRow<Flip, ConvertRow<4, 3, Bgr8<Swap>>>(dst, src);
  return 0;
}
}  // namespace

int Color16To24Shr4(const FrameView &dst, const ConstFrameView &src) {
  return Color16To24<false>(dst, src);
}

int Color16To24Shr4Flip(const FrameView &dst, const ConstFrameView &src) {
  return Color16To24<true>(dst, src);
}

int Color16To48Shl4(const FrameView &dst, const ConstFrameView &src) {
  return Color16Shl4<3, false>(dst, src);
}

int Color16To48Shl4Swap(const FrameView &dst, const ConstFrameView &src) {
  return Color16Shl4<3, true>(dst, src);
}

int Color16To64Shl4(const FrameView &dst, const ConstFrameView &src) {
  return Color16Shl4<4, false>(dst, src);
}

int Color16To64Shl4Swap(const FrameView &dst, const ConstFrameView &src) {
  return Color16Shl4<4, true>(dst, src);
}

int Color24CopyFlip(const FrameView &dst, const ConstFrameView &src) {
  return Color24<true, false>(dst, src);
}

int Color24SwapRB(const FrameView &dst, const ConstFrameView &src) {
  return Color24<false, true>(dst, src);
}

int RowCopyFlip(const FrameView &dst, const ConstFrameView &src) {
  if (dst.pixels == nullptr || src.pixels == nullptr || dst.bytesPerPixel != src.bytesPerPixel || dst.stride <= 0 ||
      src.stride <= 0)
    return 0;
  const KernelRect &rect = src.rect;
  const size_t rowBytes = static_cast<size_t>(dst.stride < src.stride ? dst.stride : src.stride);
  for (int i = 0; i < rect.bottom - rect.top; ++i) {
    std::memcpy(dst.pixels + static_cast<size_t>(dst.rect.top + i) * static_cast<size_t>(dst.stride),
                src.pixels + static_cast<size_t>(rect.bottom - 1 - i) * static_cast<size_t>(src.stride), rowBytes);
  }
  return 1;
}

int Color32InvertFourth(const FrameView &dst, const ConstFrameView &src) {
  if (dst.bytesPerPixel != 4 || src.bytesPerPixel != 4) return 0;
  return ForEachRow<false, ConvertRow<4, 4, InvertFourth>>(dst, src);
}

}  // namespace quorel
