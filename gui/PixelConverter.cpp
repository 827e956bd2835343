#include "gui/PixelConverter.h"

#include <immintrin.h>

#include <cstring>

namespace quorel::gui {
namespace {

// The value of an 8-bit channel scaled into a contiguous mask.
uint32_t Place(uint32_t mask, uint32_t value8) {
  if (mask == 0) return 0;
  const int shift = __builtin_ctz(mask);
  const int bits = __builtin_popcount(mask);
  const uint32_t scaled = bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits);
  return (scaled << shift) & mask;
}

bool Contiguous(uint32_t mask) {
  if (mask == 0) return false;
  const uint32_t shifted = mask >> __builtin_ctz(mask);
  return (shifted & (shifted + 1)) == 0;
}

// 24-bit blue, green, red to 32-bit 0x00RRGGBB, four pixels per step where
// possible: three 32-bit loads carry four pixels.
void BgrToBgrx(const uint8_t *src, uint32_t *dst, int width) {
  int x = 0;
  for (; x + 4 <= width; x += 4) {
    uint32_t a, b, c;
    std::memcpy(&a, src, 4);
    std::memcpy(&b, src + 4, 4);
    std::memcpy(&c, src + 8, 4);
    dst[x] = a & 0xffffff;
    dst[x + 1] = ((a >> 24) | (b << 8)) & 0xffffff;
    dst[x + 2] = ((b >> 16) | (c << 16)) & 0xffffff;
    dst[x + 3] = c >> 8;
    src += 12;
  }
  for (; x < width; ++x, src += 3) {
    dst[x] = static_cast<uint32_t>(src[0]) | static_cast<uint32_t>(src[1]) << 8 | static_cast<uint32_t>(src[2]) << 16;
  }
}

// Four pixels of 24 bits in the low 12 bytes of a register to four of 32.
__attribute__((target("ssse3"))) inline __m128i Widen4(__m128i v) {
  const __m128i mask = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  return _mm_shuffle_epi8(v, mask);
}

// Sixteen pixels per step: three 16-byte loads, four shuffles. Large
// images are written with streaming stores, which skip reading the
// destination into the cache first; the server reads them from memory anyway.
template <bool Stream>
__attribute__((target("ssse3"))) void BgrToBgrxSsse3(const uint8_t *src, uint32_t *dst, int width) {
  int x = 0;
  auto store = [](uint32_t *at, __m128i v) {
    if constexpr (Stream) {
      _mm_stream_si128(reinterpret_cast<__m128i *>(at), v);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(at), v);
    }
  };
  for (; x + 16 <= width; x += 16, src += 48) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 32));
    store(dst + x, Widen4(a));
    store(dst + x + 4, Widen4(_mm_alignr_epi8(b, a, 12)));
    store(dst + x + 8, Widen4(_mm_alignr_epi8(c, b, 8)));
    store(dst + x + 12, Widen4(_mm_srli_si128(c, 4)));
  }
  BgrToBgrx(src, dst + x, width - x);
}

// Sixteen gray levels to sixteen 32-bit pixels with all three channels set.
template <bool Stream>
__attribute__((target("ssse3"))) void GrayToBgrxSsse3(const uint8_t *src, uint32_t *dst, int width) {
  int x = 0;
  auto store = [](uint32_t *at, __m128i v) {
    if constexpr (Stream) {
      _mm_stream_si128(reinterpret_cast<__m128i *>(at), v);
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(at), v);
    }
  };
  for (; x + 16 <= width; x += 16) {
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + x));
    for (int q = 0; q < 4; ++q) {
      const char b = static_cast<char>(4 * q);
      const __m128i mask =
          _mm_setr_epi8(b, b, b, -1, static_cast<char>(b + 1), static_cast<char>(b + 1), static_cast<char>(b + 1), -1,
                        static_cast<char>(b + 2), static_cast<char>(b + 2), static_cast<char>(b + 2), -1,
                        static_cast<char>(b + 3), static_cast<char>(b + 3), static_cast<char>(b + 3), -1);
      store(dst + x + 4 * q, _mm_shuffle_epi8(g, mask));
    }
  }
  for (; x < width; ++x) dst[x] = static_cast<uint32_t>(src[x]) * 0x010101u;
}

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// Streaming stores pay off once the image no longer fits the caches.
constexpr size_t kStreamBytes = size_t{8} << 20;

bool IsGrayRamp(const uint8_t *palette) {
  if (palette == nullptr) return true;
  for (int i = 0; i < 256; ++i) {
    const uint8_t *e = palette + 4 * i;
    if (e[0] != i || e[1] != i || e[2] != i) return false;
  }
  return true;
}

}  // namespace

bool PixelLayout::Valid() const {
  if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return false;
  if (!Contiguous(redMask) || !Contiguous(greenMask) || !Contiguous(blueMask)) return false;
  if ((redMask & greenMask) != 0 || (redMask & blueMask) != 0 || (greenMask & blueMask) != 0) return false;
  const uint64_t limit = (uint64_t{1} << bitsPerPixel) - 1;
  return (static_cast<uint64_t>(redMask | greenMask | blueMask) & ~limit) == 0;
}

PixelConverter::PixelConverter(const PixelLayout &layout) : layout_(layout) {
  bgrx32_ =
      layout.bitsPerPixel == 32 && layout.redMask == 0xff0000 && layout.greenMask == 0xff00 && layout.blueMask == 0xff;
  for (uint32_t v = 0; v < 256; ++v) {
    red_[v] = Place(layout.redMask, v);
    green_[v] = Place(layout.greenMask, v);
    blue_[v] = Place(layout.blueMask, v);
  }
}

uint32_t PixelConverter::Pack(uint8_t red, uint8_t green, uint8_t blue) const {
  return red_[red] | green_[green] | blue_[blue];
}

void PixelConverter::Store(uint8_t *dst, uint32_t pixel) const {
  switch (layout_.bitsPerPixel) {
    case 16:
      dst[0] = static_cast<uint8_t>(pixel);
      dst[1] = static_cast<uint8_t>(pixel >> 8);
      break;
    case 24:
      dst[0] = static_cast<uint8_t>(pixel);
      dst[1] = static_cast<uint8_t>(pixel >> 8);
      dst[2] = static_cast<uint8_t>(pixel >> 16);
      break;
    default:
      std::memcpy(dst, &pixel, 4);
      break;
  }
}

void PixelConverter::Convert(const QuorelGuiImage &image, int width, int height, uint8_t *dst, int dstStride) const {
  const int bytes = BytesPerPixel();
  // 8-bit images map every index through one table built from the palette.
  std::array<uint32_t, 256> indexed{};
  if (image.bitsPerPixel == 8) {
    for (int i = 0; i < 256; ++i) {
      const uint8_t *entry = image.palette != nullptr ? image.palette + 4 * i : nullptr;
      const uint8_t gray = static_cast<uint8_t>(i);
      indexed[i] = entry != nullptr ? Pack(entry[2], entry[1], entry[0]) : Pack(gray, gray, gray);
    }
  }
  const bool simd = bgrx32_ && HasSsse3() && (image.bitsPerPixel == 24 || IsGrayRamp(image.palette));
  const bool stream = simd && static_cast<size_t>(dstStride) * static_cast<size_t>(height) >= kStreamBytes &&
                      (reinterpret_cast<uintptr_t>(dst) % 16) == 0 && dstStride % 16 == 0;
  for (int y = 0; y < height; ++y) {
    const int sourceRow = image.bottomUp != 0 ? image.height - 1 - y : y;
    const uint8_t *src = image.pixels + static_cast<ptrdiff_t>(sourceRow) * image.stride;
    uint8_t *out = dst + static_cast<ptrdiff_t>(y) * dstStride;
    auto *out32 = reinterpret_cast<uint32_t *>(out);
    if (simd) {
      if (image.bitsPerPixel == 8) {
        stream ? GrayToBgrxSsse3<true>(src, out32, width) : GrayToBgrxSsse3<false>(src, out32, width);
      } else {
        stream ? BgrToBgrxSsse3<true>(src, out32, width) : BgrToBgrxSsse3<false>(src, out32, width);
      }
    } else if (image.bitsPerPixel == 8) {
      if (bytes == 4) {
        for (int x = 0; x < width; ++x) out32[x] = indexed[src[x]];
      } else {
        for (int x = 0; x < width; ++x) Store(out + x * bytes, indexed[src[x]]);
      }
    } else if (bgrx32_) {
      BgrToBgrx(src, out32, width);
    } else {
      for (int x = 0; x < width; ++x, src += 3) Store(out + x * bytes, Pack(src[2], src[1], src[0]));
    }
  }
  if (stream) _mm_sfence();
}

}  // namespace quorel::gui
