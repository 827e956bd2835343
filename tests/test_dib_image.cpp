#include "image/DibImage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ZeroedBytes.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// What a kernel was handed, for checking the clipping and row conversion.
struct KernelCall {
  int calls = 0;
  KernelRect rect;
  int x = -1, y = -1, dstBpp = 0, srcBpp = 0, dstStride = 0, srcStride = 0;
};

int RecordingKernel(const FrameView &dst, const ConstFrameView &src, KernelCall *call) {
  ++call->calls;
  call->rect = src.rect;
  call->x = dst.rect.left;
  call->y = dst.rect.top;
  call->dstBpp = dst.bytesPerPixel;
  call->srcBpp = src.bytesPerPixel;
  call->dstStride = dst.stride;
  call->srcStride = src.stride;
  return 7;
}

TEST(DibImageCreate, StrideIsRowBytesRoundedUpToFour) {
  DibImage image;
  ASSERT_EQ(image.Create(10, 5, 24), 1);
  EXPECT_EQ(image.stride(), 32);
  ASSERT_EQ(image.Create(3, 1, 8), 1);
  EXPECT_EQ(image.stride(), 4);
  ASSERT_EQ(image.Create(1, 1, 64), 1);
  EXPECT_EQ(image.stride(), 8);
  ASSERT_EQ(image.Create(5, 3, 48), 1);
  EXPECT_EQ(image.stride(), 32);
  EXPECT_EQ(image.pixelBytes(), 96u);
  for (size_t i = 0; i < image.pixelBytes(); ++i) ASSERT_EQ(image.pixels()[i], 0) << i;
}

TEST(DibImageCreate, HeaderDescribesBottomUpUncompressedBitmap) {
  DibImage image;
  ASSERT_EQ(image.Create(7, 4, 32), 1);
  const BitmapInfoHeader &h = image.header();
  EXPECT_EQ(h.size, 40u);
  EXPECT_EQ(h.width, 7);
  EXPECT_EQ(h.height, 4);
  EXPECT_EQ(h.planes, 1);
  EXPECT_EQ(h.bitCount, 32);
  EXPECT_EQ(h.compression, 0u);
  EXPECT_EQ(h.sizeImage, 0u);
}

TEST(DibImageCreate, BadSizesAreRefusedAndLeaveTheImageAsItWas) {
  DibImage image;
  ASSERT_EQ(image.Create(4, 4, 8), 1);
  const uint8_t *before = image.pixels();
  EXPECT_EQ(image.Create(0, 4, 8), 0);
  EXPECT_EQ(image.Create(4, -1, 8), 0);
  EXPECT_EQ(image.Create(4, 4, 0), 0);
  EXPECT_EQ(image.Create(4, 4, 12), 0);
  EXPECT_EQ(image.Create(4, 4, 1), 0);
  // height x stride beyond any sane image, and beyond 32 bits.
  EXPECT_EQ(image.Create(0x7FFFFFFF, 0x7FFFFFFF, 64), 0);
  EXPECT_EQ(image.Create(100000, 100000, 32), 0);
  EXPECT_EQ(image.pixels(), before);
  EXPECT_EQ(image.width(), 4);
  EXPECT_EQ(image.bitsPerPixel(), 8);
}

// The copy a save takes under the frame lock: everything a file is written
// from, into memory of its own, reused while the size stays.
TEST(DibImageCreate, CopyFromTakesHeaderPaletteAndPixels) {
  DibImage source;
  ASSERT_EQ(source.Create(5, 3, 8), 1);
  const RgbQuad red{0, 0, 255, 0};
  source.SetPalette(DibImage::kPaletteEntries, &red, 7, 1);
  for (size_t i = 0; i < source.pixelBytes(); ++i) source.pixels()[i] = static_cast<uint8_t>(i * 13);
  DibImage copy;
  ASSERT_EQ(copy.CopyFrom(source), 1);
  EXPECT_EQ(std::memcmp(&copy.info(), &source.info(), sizeof(BitmapInfo)), 0);
  EXPECT_EQ(copy.stride(), source.stride());
  EXPECT_NE(copy.pixels(), source.pixels());
  EXPECT_EQ(std::memcmp(copy.pixels(), source.pixels(), source.pixelBytes()), 0);
  const uint8_t *memory = copy.pixels();
  source.pixels()[4] = 200;
  ASSERT_EQ(copy.CopyFrom(source), 1);
  EXPECT_EQ(copy.pixels(), memory);
  EXPECT_EQ(copy.pixels()[4], 200);
  DibImage wide;
  ASSERT_EQ(wide.Create(9, 4, 48), 1);
  ASSERT_EQ(copy.CopyFrom(wide), 1);
  EXPECT_EQ(copy.bitsPerPixel(), 48);
  EXPECT_EQ(copy.pixelBytes(), wide.pixelBytes());
  DibImage empty;
  EXPECT_EQ(copy.CopyFrom(empty), 0);
  EXPECT_TRUE(copy.empty());
}

TEST(DibImageCreate, ReleaseEmptiesAndCopyFormatTakesShapeButNotPixels) {
  DibImage source;
  ASSERT_EQ(source.Create(6, 3, 16), 1);
  source.pixels()[0] = 9;
  DibImage copy;
  EXPECT_EQ(copy.CopyFormat(nullptr), 0);
  DibImage empty;
  EXPECT_EQ(copy.CopyFormat(&empty), 0);
  ASSERT_EQ(copy.CopyFormat(&source), 1);
  EXPECT_EQ(copy.width(), 6);
  EXPECT_EQ(copy.height(), 3);
  EXPECT_EQ(copy.stride(), source.stride());
  EXPECT_EQ(copy.bitsPerPixel(), 16);
  EXPECT_EQ(std::memcmp(&copy.header(), &source.header(), sizeof(BitmapInfoHeader)), 0);
  EXPECT_NE(copy.pixels(), source.pixels());
  EXPECT_EQ(copy.pixels()[0], 0);

  copy.Release();
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(copy.width(), 0);
  EXPECT_EQ(copy.stride(), 0);
  EXPECT_EQ(copy.bitsPerPixel(), 0);
  EXPECT_EQ(copy.header().size, 40u);
  EXPECT_EQ(copy.header().width, 0);
}

TEST(DibImagePalette, GrayRampAndPartialEntries) {
  DibImage image;
  ASSERT_EQ(image.Create(2, 2, 8), 1);
  EXPECT_EQ(image.info().colors[77].red, 77);
  EXPECT_EQ(image.info().colors[77].blue, 77);
  const RgbQuad red[2] = {{0, 0, 255, 0}, {0, 255, 0, 0}};
  EXPECT_EQ(image.SetPalette(DibImage::kPaletteEntries, red, 10, 2), 1);
  EXPECT_EQ(image.info().colors[10].red, 255);
  EXPECT_EQ(image.info().colors[11].green, 255);
  EXPECT_EQ(image.info().colors[11].red, 0);
  EXPECT_EQ(image.info().colors[12].red, 12);
  // Entries past the table are ignored, not written past it.
  EXPECT_EQ(image.SetPalette(DibImage::kPaletteEntries, red, 255, 2), 1);
  EXPECT_EQ(image.info().colors[255].red, 255);
  EXPECT_EQ(image.SetPalette(DibImage::kPaletteEntries, nullptr, 0, 256), 1);
  EXPECT_EQ(image.SetPalette(DibImage::kPaletteGray), 1);
  EXPECT_EQ(image.info().colors[10].red, 10);
}

TEST(DibImageBmp, EightBitFileHasGrayTableAndExactLength) {
  DibImage image;
  ASSERT_EQ(image.Create(640, 480, 8), 1);
  image.pixels()[0] = 0xAB;                       // memory row 0, first in the file
  image.pixels()[image.pixelBytes() - 1] = 0xCD;  // last byte of the file
  const std::string path = test::ScratchPath("gray.bmp");
  ASSERT_EQ(image.WriteBmp(path.c_str()), 1);
  const auto bytes = ReadFile(path);
  std::remove(path.c_str());
  ASSERT_EQ(bytes.size(), 1078u + 480u * 640u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Le32(bytes, 2), 1078u + 480u * 640u);
  EXPECT_EQ(Le32(bytes, 6), 0u);
  EXPECT_EQ(Le32(bytes, 10), 1078u);
  EXPECT_EQ(std::memcmp(bytes.data() + 14, &image.header(), 40), 0);
  EXPECT_EQ(Le32(bytes, 14), 40u);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(bytes[54 + 4 * i], i);
    ASSERT_EQ(bytes[54 + 4 * i + 1], i);
    ASSERT_EQ(bytes[54 + 4 * i + 2], i);
    ASSERT_EQ(bytes[54 + 4 * i + 3], 0);
  }
  EXPECT_EQ(bytes[1078], 0xAB);
  EXPECT_EQ(bytes.back(), 0xCD);
}

TEST(DibImageBmp, ColourFileHasNoTableAndPaddedRows) {
  DibImage image;
  ASSERT_EQ(image.Create(3, 2, 24), 1);  // stride 12: 9 bytes of pixels, 3 of padding
  for (size_t i = 0; i < image.pixelBytes(); ++i) image.pixels()[i] = static_cast<uint8_t>(i + 1);
  const std::string path = test::ScratchPath("colour.bmp");
  ASSERT_EQ(image.WriteBmp(path.c_str()), 1);
  const auto bytes = ReadFile(path);
  std::remove(path.c_str());
  ASSERT_EQ(bytes.size(), 54u + 24u);
  EXPECT_EQ(Le32(bytes, 10), 54u);
  EXPECT_EQ(Le32(bytes, 2), 78u);
  EXPECT_EQ(std::memcmp(bytes.data() + 54, image.pixels(), 24), 0);
}

TEST(DibImageBmp, UnwritablePathOrEmptyImageFails) {
  DibImage image;
  EXPECT_EQ(image.WriteBmp(test::ScratchPath("empty.bmp").c_str()), 0);
  ASSERT_EQ(image.Create(2, 2, 24), 1);
  EXPECT_EQ(image.WriteBmp("/nonexistent-dir/x.bmp"), 0);
  EXPECT_EQ(image.WriteBmp(nullptr), 0);
}

TEST(DibImageApplyKernel, WholeImageOfEqualSizeGoesThroughUnchanged) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(8, 6, 24), 1);
  ASSERT_EQ(src.Create(8, 6, 8), 1);
  KernelCall call;
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, 0, 0, &call), 7);
  EXPECT_EQ(call.calls, 1);
  EXPECT_EQ(call.rect.left, 0);
  EXPECT_EQ(call.rect.top, 0);
  EXPECT_EQ(call.rect.right, 8);
  EXPECT_EQ(call.rect.bottom, 6);
  EXPECT_EQ(call.x, 0);
  EXPECT_EQ(call.y, 0);
  EXPECT_EQ(call.dstBpp, 3);
  EXPECT_EQ(call.srcBpp, 1);
  EXPECT_EQ(call.dstStride, 24);
  EXPECT_EQ(call.srcStride, 8);
}

TEST(DibImageApplyKernel, SmallerSourceLandsOnTheBottomMemoryRows) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(20, 10, 8), 1);
  ASSERT_EQ(src.Create(5, 4, 8), 1);
  KernelCall call;
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, 0, 0, &call), 7);
  EXPECT_EQ(call.x, 0);
  EXPECT_EQ(call.y, 10 - 4);
  EXPECT_EQ(call.rect.right, 5);
  EXPECT_EQ(call.rect.bottom, 4);
}

TEST(DibImageApplyKernel, RectangleInBitmapRowsBecomesMemoryRows) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(10, 10, 8), 1);
  ASSERT_EQ(src.Create(10, 10, 8), 1);
  KernelCall call;
  const KernelRect rect{2, 1, 5, 3};  // bitmap rows 1..2 are memory rows 7..8
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, &rect, 4, 6, &call), 7);
  EXPECT_EQ(call.rect.left, 2);
  EXPECT_EQ(call.rect.top, 7);
  EXPECT_EQ(call.rect.right, 5);
  EXPECT_EQ(call.rect.bottom, 9);
  EXPECT_EQ(call.x, 4);
  EXPECT_EQ(call.y, 10 - 8);
}

TEST(DibImageApplyKernel, ClippingKeepsSourceAndDestinationInStep) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(10, 10, 8), 1);
  ASSERT_EQ(src.Create(6, 6, 8), 1);
  KernelCall call;
  // Past the destination's right and bottom edges: cut to 3 x 2.
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, 7, 8, &call), 7);
  EXPECT_EQ(call.rect.right - call.rect.left, 3);
  EXPECT_EQ(call.rect.bottom - call.rect.top, 2);
  EXPECT_EQ(call.rect.top, 4);  // source bitmap rows 0..1 = memory rows 4..5
  EXPECT_EQ(call.x, 7);
  EXPECT_EQ(call.y, 0);
  // Negative position: the source's top left part is cut off.
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, -2, -1, &call), 7);
  EXPECT_EQ(call.rect.left, 2);
  EXPECT_EQ(call.rect.right, 6);
  EXPECT_EQ(call.rect.top, 0);
  EXPECT_EQ(call.rect.bottom, 5);
  EXPECT_EQ(call.x, 0);
  EXPECT_EQ(call.y, 10 - 5);
  // A rectangle reaching past the source's last bitmap row: the rows that
  // exist land where they belong, not shifted by the missing ones.
  const KernelRect tall{0, 0, 6, 9};
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, &tall, 0, 0, &call), 7);
  EXPECT_EQ(call.rect.top, 0);
  EXPECT_EQ(call.rect.bottom, 6);
  EXPECT_EQ(call.y, 10 - 6);
}

TEST(DibImageApplyKernel, NothingLeftOrNoKernelNeverCallsIt) {
  DibImage dst, src, empty;
  ASSERT_EQ(dst.Create(10, 10, 8), 1);
  ASSERT_EQ(src.Create(4, 4, 8), 1);
  KernelCall call;
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, 10, 0, &call), 0);
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, 0, 10, &call), 0);
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, -4, 0, &call), 0);
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, 0x7FFFFFFF, 0x7FFFFFFF, &call), 0);
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, nullptr, -0x7FFFFFFF, 0, &call), 0);
  const KernelRect outside{4, 0, 8, 4};
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, src, &outside, 0, 0, &call), 0);
  EXPECT_EQ(dst.ApplyKernel(RecordingKernel, empty, nullptr, 0, 0, &call), 0);
  EXPECT_EQ(dst.ApplyKernel(PixelKernel<KernelCall *>{nullptr}, src, nullptr, 0, 0, &call), 0);
  EXPECT_EQ(call.calls, 0);
}

// Destination rectangle, source rectangle, and both image sizes of the last call.
KernelRect g_scaleSeen[3];

int RecordingScaleKernel(const FrameView &dst, const ConstFrameView &src) {
  g_scaleSeen[0] = dst.rect;
  g_scaleSeen[1] = src.rect;
  g_scaleSeen[2] = KernelRect{dst.width, dst.height, src.width, src.height};
  return 1;
}

TEST(DibImageApplyScaleKernel, WholeImagesByDefaultAndRectanglesOutsideRefused) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(30, 20, 24), 1);
  ASSERT_EQ(src.Create(12, 8, 24), 1);
  KernelRect *seen = g_scaleSeen;
  ASSERT_EQ(dst.ApplyScaleKernel(RecordingScaleKernel, src, nullptr, nullptr), 1);
  EXPECT_EQ(seen[0].right, 30);
  EXPECT_EQ(seen[0].bottom, 20);
  EXPECT_EQ(seen[1].right, 12);
  EXPECT_EQ(seen[1].bottom, 8);
  EXPECT_EQ(seen[2].left, 30);
  EXPECT_EQ(seen[2].top, 20);
  EXPECT_EQ(seen[2].right, 12);
  EXPECT_EQ(seen[2].bottom, 8);
  const KernelRect tooWide{0, 0, 31, 20};
  EXPECT_EQ(dst.ApplyScaleKernel(RecordingScaleKernel, src, nullptr, &tooWide), 0);
  const KernelRect negative{-1, 0, 4, 4};
  EXPECT_EQ(dst.ApplyScaleKernel(RecordingScaleKernel, src, &negative, nullptr), 0);
  EXPECT_EQ(dst.ApplyScaleKernel(nullptr, src, nullptr, nullptr), 0);
}

TEST(DibImageDraw, GrayPaletteExpandsToColourAtBitmapPosition) {
  DibImage gray, colour;
  ASSERT_EQ(gray.Create(2, 2, 8), 1);
  ASSERT_EQ(colour.Create(4, 3, 24), 1);
  gray.pixels()[0] = 10;  // memory row 0 = bitmap row 1
  gray.pixels()[1] = 20;
  gray.pixels()[gray.stride()] = 30;  // memory row 1 = bitmap row 0
  gray.pixels()[gray.stride() + 1] = 40;
  const RgbQuad tinted{1, 2, 3, 0};
  gray.SetPalette(DibImage::kPaletteEntries, &tinted, 40, 1);
  // Bitmap (1, 0) of a 3-row image is memory row 2, column 1.
  ASSERT_EQ(colour.Draw(gray, nullptr, 1, 0), 1);
  const uint8_t *row2 = colour.pixels() + 2 * colour.stride();
  const uint8_t *row1 = colour.pixels() + colour.stride();
  EXPECT_EQ(row2[3], 30);
  EXPECT_EQ(row2[5], 30);
  EXPECT_EQ(row2[6], 1);  // entry 40 through the tinted table
  EXPECT_EQ(row2[7], 2);
  EXPECT_EQ(row2[8], 3);
  EXPECT_EQ(row1[3], 10);
  EXPECT_EQ(row1[6], 20);
  EXPECT_EQ(colour.pixels()[3], 0);  // memory row 0 untouched
  EXPECT_EQ(row2[0], 0);
}

TEST(DibImageDraw, EqualDepthCopiesAndUnsupportedPairsFail) {
  DibImage a, b, c;
  ASSERT_EQ(a.Create(3, 2, 32), 1);
  ASSERT_EQ(b.Create(3, 2, 32), 1);
  ASSERT_EQ(c.Create(3, 2, 16), 1);
  for (size_t i = 0; i < a.pixelBytes(); ++i) a.pixels()[i] = static_cast<uint8_t>(i * 3 + 1);
  ASSERT_EQ(b.Draw(a, nullptr, 0, 0), 1);
  EXPECT_EQ(std::memcmp(a.pixels(), b.pixels(), a.pixelBytes()), 0);
  EXPECT_EQ(c.Draw(a, nullptr, 0, 0), 0);
  EXPECT_EQ(a.Draw(c, nullptr, 0, 0), 0);
  EXPECT_EQ(a.Draw(a, nullptr, 1, 0), 0);
}

TEST(DibImageStretchMirror, RowsReverseAndFourthByteIsDropped) {
  DibImage src, dst;
  ASSERT_EQ(src.Create(2, 3, 32), 1);
  ASSERT_EQ(dst.Create(2, 3, 24), 1);
  for (int row = 0; row < 3; ++row)
    for (int b = 0; b < 8; ++b) src.pixels()[row * src.stride() + b] = static_cast<uint8_t>(row * 10 + b);
  ASSERT_EQ(dst.StretchMirrorFrom(src), 1);
  for (int row = 0; row < 3; ++row) {
    const uint8_t *d = dst.pixels() + row * dst.stride();
    const int srcRow = 2 - row;
    EXPECT_EQ(d[0], srcRow * 10 + 0);
    EXPECT_EQ(d[2], srcRow * 10 + 2);
    EXPECT_EQ(d[3], srcRow * 10 + 4);  // second pixel's blue: the fourth byte was skipped
    EXPECT_EQ(d[5], srcRow * 10 + 6);
  }
  DibImage other;
  ASSERT_EQ(other.Create(2, 4, 24), 1);
  EXPECT_EQ(other.StretchMirrorFrom(src), 0);
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A camera made and closed again and again must not keep its frames: each
// full frame, written all over and freed, leaves nothing resident, also
// after the first (the C library's heap would keep it for reuse), and a new
// one reads as zeros.
TEST(DibImageMemory, FreedFullFramesLeaveNothingResidentAndNewOnesAreZero) {
  if (!kMapLargeBuffers) GTEST_SKIP() << "the sanitizer's allocator owns large blocks";
  const long before = ResidentKiB();
  for (int cycle = 0; cycle < 3; ++cycle) {
    DibImage image;
    image.Create(3488, 2616, 24);
    ASSERT_FALSE(image.empty());
    const uint8_t *p = image.pixels();
    for (size_t i = 0; i < image.pixelBytes(); i += 4096) ASSERT_EQ(p[i], 0) << "cycle " << cycle << " byte " << i;
    std::memset(image.pixels(), 0xFF, image.pixelBytes());
  }
  // 27 MB a frame; a little slack for the test framework's own allocations.
  EXPECT_LT(ResidentKiB() - before, 8 * 1024);
}

}  // namespace
}  // namespace quorel
