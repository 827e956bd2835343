// A plain pixel buffer for calling pixel kernels directly in tests, with rows
// padded to a multiple of 4 bytes as in the camera's images.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/PixelKernel.h"

namespace quorel::test {

struct KernelTestImage {
  int width = 0;
  int height = 0;
  int bytesPerPixel = 1;
  int stride = 0;
  std::vector<uint8_t> pixels;

  KernelTestImage(int w, int h, int bpp) : width(w), height(h), bytesPerPixel(bpp), stride((w * bpp + 3) / 4 * 4) {
    pixels.assign(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
  }

  size_t Offset(int x, int y, int sample, int sampleBytes) const {
    return static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x * bytesPerPixel) +
           static_cast<size_t>(sample * sampleBytes);
  }
  uint8_t Byte(int x, int y, int c = 0) const { return pixels[Offset(x, y, c, 1)]; }
  void SetByte(int x, int y, int c, uint8_t v) { pixels[Offset(x, y, c, 1)] = v; }
  uint16_t Word(int x, int y, int c = 0) const {
    uint16_t v;
    std::memcpy(&v, &pixels[Offset(x, y, c, 2)], 2);
    return v;
  }
  void SetWord(int x, int y, int c, uint16_t v) { std::memcpy(&pixels[Offset(x, y, c, 2)], &v, 2); }

  // Every sample of every pixel (all bytes or words of the pixel).
  void FillBytes(uint8_t v) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < bytesPerPixel; ++c) SetByte(x, y, c, v);
  }
  void FillWords(uint16_t v) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < bytesPerPixel / 2; ++c) SetWord(x, y, c, v);
  }

  KernelRect Whole() const { return KernelRect{0, 0, width, height}; }

  // The image as a kernel sees it, rectangle `rect` (default: whole).
  FrameView View() { return FrameView{pixels.data(), stride, width, height, bytesPerPixel, Whole()}; }
  ConstFrameView View() const { return ConstFrameView{pixels.data(), stride, width, height, bytesPerPixel, Whole()}; }
  FrameView View(const KernelRect &rect) {
    FrameView v = View();
    v.rect = rect;
    return v;
  }
  ConstFrameView View(const KernelRect &rect) const {
    ConstFrameView v = View();
    v.rect = rect;
    return v;
  }
};

// Runs a kernel over the whole of `src` into `dst` at (0, 0); in place when
// both are the same image.
template <typename... Params>
int RunKernel(PixelKernel<Params...> kernel, KernelTestImage &dst, const KernelTestImage &src,
              std::type_identity_t<Params>... params) {
  FrameView d = dst.View();
  d.rect = src.Whole();
  return kernel(d, src.View(), params...);
}

template <typename... Params>
int RunInPlace(PixelKernel<Params...> kernel, KernelTestImage &image, std::type_identity_t<Params>... params) {
  return RunKernel(kernel, image, image, params...);
}

}  // namespace quorel::test
