// Still-image saving, checked by decoding every file with an independent
// reader (libjpeg, libpng, libtiff, or the BMP bytes) and comparing samples
// with the source buffer. The picture is an "F", red on blue, so that flips,
// transposes and red/blue swaps all show.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <tiffio.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "image/DibImage.h"
#include "output/StillImageWriter.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

using test::ScratchPath;

// 6 x 5 "F" in the top-left; scale enlarges every cell to scale x scale.
bool InF(int x, int y, int scale) {
  x /= scale;
  y /= scale;
  if (x == 0) return true;
  if (y == 0) return x <= 4;
  if (y == 2) return x <= 3;
  return false;
}

// Samples in memory order: blue, green, red, fourth (gray uses [0]). Values
// differ per channel so that a swap of any two shows; 16-bit depths use
// 12-bit values including the extremes 4095 and 16.
struct Colours {
  std::array<uint16_t, 4> fg;
  std::array<uint16_t, 4> bg;
};

Colours ColoursFor(int bits) {
  const bool wide = bits == 16 || bits == 48 || bits == 64;
  if (bits == 8) return {{200, 0, 0, 0}, {40, 0, 0, 0}};
  if (bits == 16) return {{4095, 0, 0, 0}, {16, 0, 0, 0}};
  if (wide) return {{320, 480, 4095, 1234}, {3840, 800, 16, 7}};
  return {{20, 60, 230, 0x30}, {210, 90, 10, 0}};
}

struct FImage {
  DibImage image;
  Colours colours;
  int scale = 1;

  uint16_t At(int x, int memoryRow, int channel) const {
    return InF(x, memoryRow, scale) ? colours.fg[channel] : colours.bg[channel];
  }
};

void MakeF(FImage *f, int bits, int width, int height, int scale = 1) {
  f->colours = ColoursFor(bits);
  f->scale = scale;
  ASSERT_EQ(f->image.Create(width, height, bits), 1);
  const int bytesPerPixel = bits / 8;
  const int channels = bits == 8 || bits == 16 ? 1 : bytesPerPixel / (bits >= 48 ? 2 : 1);
  const bool wide = bits == 16 || bits >= 48;
  for (int y = 0; y < height; ++y) {
    uint8_t *row = f->image.pixels() + static_cast<size_t>(y) * f->image.stride();
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) {
        const uint16_t v = f->At(x, y, c);
        if (wide) {
          row[x * bytesPerPixel + 2 * c] = static_cast<uint8_t>(v);
          row[x * bytesPerPixel + 2 * c + 1] = static_cast<uint8_t>(v >> 8);
        } else {
          row[x * bytesPerPixel + c] = static_cast<uint8_t>(v);
        }
      }
    }
  }
}

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void WriteJunk(const std::string &path, size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  out << std::string(bytes, 'J');
}

// ---------------------------------------------------------------- readers

struct Decoded {
  int width = 0, height = 0, channels = 0, bitDepth = 0;
  std::vector<uint16_t> samples;  // row-major, file order (first row first)
  uint16_t At(int x, int y, int c) const { return samples[(static_cast<size_t>(y) * width + x) * channels + c]; }
};

struct JpegInfo {
  Decoded image;
  bool progressive = false;
};

struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrors *>(cinfo->err)->jump, 1);
}

bool DecodeJpegRows(jpeg_decompress_struct *cinfo, JpegErrors *errors, std::FILE *file, JpegInfo *out) {
  if (setjmp(errors->jump) != 0) return false;
  jpeg_create_decompress(cinfo);
  jpeg_stdio_src(cinfo, file);
  jpeg_read_header(cinfo, TRUE);
  // Box upsampling keeps the chroma of 2 x 2 cells exact, so the comparison
  // below needs only the small quantisation tolerance.
  cinfo->do_fancy_upsampling = FALSE;
  jpeg_start_decompress(cinfo);
  out->progressive = jpeg_has_multiple_scans(cinfo);
  out->image.width = static_cast<int>(cinfo->output_width);
  out->image.height = static_cast<int>(cinfo->output_height);
  out->image.channels = cinfo->output_components;
  out->image.bitDepth = 8;
  const size_t rowBytes = static_cast<size_t>(cinfo->output_width) * cinfo->output_components;
  out->image.samples.reserve(rowBytes * cinfo->output_height);
  std::vector<JSAMPLE> row(rowBytes);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(cinfo, rows, 1);
    out->image.samples.insert(out->image.samples.end(), row.begin(), row.end());
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

bool ReadJpeg(const std::string &path, JpegInfo *out) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JpegFail;
  const bool ok = DecodeJpegRows(&cinfo, &errors, file, out);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return ok;
}

bool ReadPng(const std::string &path, Decoded *out, int *colorType) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    out->channels = png_get_channels(png, info);
    out->bitDepth = png_get_bit_depth(png, info);
    *colorType = png_get_color_type(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (int y = 0; y < out->height; ++y) {
      for (int i = 0; i < out->width * out->channels; ++i) {
        // PNG samples are most significant byte first.
        out->samples.push_back(out->bitDepth == 16 ? static_cast<uint16_t>((rows[y][2 * i] << 8) | rows[y][2 * i + 1])
                                                   : rows[y][i]);
      }
    }
    ok = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return ok;
}

struct TiffTags {
  uint16_t photometric = 0, compression = 0, planar = 0;
  uint32_t strips = 0;
  tmsize_t stripBytes = 0;
};

bool ReadTiff(const std::string &path, Decoded *out, TiffTags *tags) {
  TIFF *tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return false;
  uint32_t width = 0, height = 0;
  uint16_t bits = 0, spp = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &tags->photometric);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &tags->compression);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &tags->planar);
  tags->strips = TIFFNumberOfStrips(tiff);
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->channels = spp;
  out->bitDepth = bits;
  std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tiff)));
  tags->stripBytes = TIFFReadEncodedStrip(tiff, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
  TIFFClose(tiff);
  if (tags->stripBytes <= 0) return false;
  const size_t count = static_cast<size_t>(width) * height * spp;
  for (size_t i = 0; i < count && (bits == 16 ? 2 * i + 1 : i) < static_cast<size_t>(tags->stripBytes); ++i) {
    out->samples.push_back(bits == 16 ? static_cast<uint16_t>(strip[2 * i] | (strip[2 * i + 1] << 8)) : strip[i]);
  }
  return out->samples.size() == count;
}

// Source samples of pixel (x, memory row y) in red, green, blue order after
// the given conversion.
uint16_t Shr4(uint16_t v) {
  return static_cast<uint16_t>((v >> 4) & 0xFF);
}
uint16_t Shl4(uint16_t v) {
  return static_cast<uint16_t>(v << 4);
}

// PNG and TIFF share the conversion: gray or red, green, blue samples, 16-bit
// ones shifted left by 4; the fourth sample comes from `fourth`.
template <typename Fourth>
void ExpectScaledSamples(const FImage &f, const Decoded &file, int bits, Fourth fourth) {
  const bool wide = bits == 16 || bits >= 48;
  for (int y = 0; y < file.height; ++y) {
    for (int x = 0; x < file.width; ++x) {
      for (int c = 0; c < file.channels; ++c) {
        int expected = c == 3 ? fourth(x, y) : f.At(x, y, file.channels == 1 ? 0 : 2 - c);
        if (wide && c < 3) expected = Shl4(static_cast<uint16_t>(expected));
        ASSERT_EQ(file.At(x, y, c), expected) << "x " << x << " y " << y << " c " << c;
      }
    }
  }
}

const std::array<int, 6> kDepths = {8, 16, 24, 32, 48, 64};

// ------------------------------------------------------------------ tests

TEST(StillImageWriter, RefusesBadTypesAndMissingImagesWithoutCreatingFiles) {
  FImage f;
  MakeF(&f, 24, 6, 5);
  for (int type : {7, -1, 100}) {
    const std::string path = ScratchPath("bad-type-" + std::to_string(type));
    const SaveResult r = SaveStillImage(&f.image, path.c_str(), type);
    EXPECT_EQ(r.saved, 0) << type;
    EXPECT_EQ(r.errorCode, 0) << type;
    EXPECT_FALSE(std::filesystem::exists(path)) << type;
  }
  // No image buffer: the camera records "not ready".
  DibImage empty;
  const std::string path = ScratchPath("no-image.bmp");
  for (const DibImage *image : {static_cast<const DibImage *>(nullptr), static_cast<const DibImage *>(&empty)}) {
    const SaveResult r = SaveStillImage(image, path.c_str(), kStillBmp);
    EXPECT_EQ(r.saved, 0);
    EXPECT_EQ(r.errorCode, 1);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(SaveStillImage(&f.image, nullptr, kStillPng).saved, 0);
  EXPECT_EQ(SaveStillImage(&f.image, "", kStillPng).saved, 0);
}

TEST(StillImageWriter, UnwritablePathFailsForEveryTypeAndRecordsNothing) {
  for (int bits : kDepths) {
    FImage f;
    MakeF(&f, bits, 6, 5);
    for (int type = kStillBmp; type <= kStillTiff; ++type) {
      const SaveResult r = SaveStillImage(&f.image, "/nonexistent-dir-h8/picture", type);
      EXPECT_EQ(r.saved, 0) << "bits " << bits << " type " << type;
      EXPECT_EQ(r.errorCode, 0) << "bits " << bits << " type " << type;
    }
  }
}

// Writes that fail part way (a full disk) must not be reported as a saved
// file. A file-size limit makes every write past 64 bytes fail.
TEST(StillImageWriter, FailedWritesAreNotReportedAsSaved) {
  struct LimitGuard {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    LimitGuard() {
      getrlimit(RLIMIT_FSIZE, &old);
      oldHandler = signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 64;
      setrlimit(RLIMIT_FSIZE, &small);
    }
    ~LimitGuard() {
      setrlimit(RLIMIT_FSIZE, &old);
      signal(SIGXFSZ, oldHandler);
    }
  };
  FImage f;
  MakeF(&f, 24, 12, 10, 2);
  std::vector<int> saved;
  {
    LimitGuard guard;
    for (int type = kStillBmp; type <= kStillTiff; ++type) {
      const std::string path = ScratchPath("limited-" + std::to_string(type));
      saved.push_back(SaveStillImage(&f.image, path.c_str(), type).saved);
    }
  }
  for (int type = kStillBmp; type <= kStillTiff; ++type) EXPECT_EQ(saved[type], 0) << "type " << type;

  // A device that is always full: every stdio and libtiff writer notices.
  // The noisy picture's JPEG outgrows the encoder's output buffer, so the
  // write fails inside the encoder, whose error must come back as a result
  // rather than end the process.
  if (std::filesystem::exists("/dev/full")) {
    FImage noisy;
    MakeF(&noisy, 24, 256, 256, 40);
    for (size_t i = 0; i < noisy.image.pixelBytes(); ++i)
      noisy.image.pixels()[i] ^= static_cast<uint8_t>(i * 131 + i / 7);
    for (int type : {kStillRaw, kStillJpeg100, kStillPng, kStillTiff}) {
      EXPECT_EQ(SaveStillImage(&f.image, "/dev/full", type).saved, 0) << "type " << type;
      EXPECT_EQ(SaveStillImage(&noisy.image, "/dev/full", type).saved, 0) << "type " << type;
    }
  }
}

TEST(StillImageWriter, BmpStoresBottomLineFirstWithHeaderAndPalette) {
  for (int bits : kDepths) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    FImage f;
    MakeF(&f, bits, 10, 5);
    const std::string path = ScratchPath("f" + std::to_string(bits) + ".bmp");
    WriteJunk(path, 20000);  // an older, longer file must leave no trace
    ASSERT_EQ(SaveStillImage(&f.image, path.c_str(), kStillBmp).saved, 1);
    const std::vector<uint8_t> file = ReadAll(path);
    const size_t stride = static_cast<size_t>(f.image.stride());
    const size_t offset = bits == 8 ? 1078 : 54;
    ASSERT_EQ(file.size(), offset + 5 * stride);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), file.size());
    EXPECT_EQ(Le32(file, 10), offset);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 10u);
    EXPECT_EQ(Le32(file, 22), 5u);
    EXPECT_EQ(file[28] | (file[29] << 8), bits);
    if (bits == 24) {
      EXPECT_EQ(stride, 32u);
    }
    if (bits == 8) {
      for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(file[54 + 4 * i], i);
        ASSERT_EQ(file[54 + 4 * i + 1], i);
        ASSERT_EQ(file[54 + 4 * i + 2], i);
        ASSERT_EQ(file[54 + 4 * i + 3], 0);
      }
    }
    // Stored row i is memory row height - 1 - i, bytes unchanged.
    for (int i = 0; i < 5; ++i) {
      const uint8_t *memoryRow = f.image.pixels() + (4 - i) * stride;
      EXPECT_EQ(0, std::memcmp(file.data() + offset + i * stride, memoryRow, stride)) << "stored row " << i;
    }
  }
}

TEST(StillImageWriter, RawIsThePixelMemoryAsHeld) {
  for (int bits : kDepths) {
    FImage f;
    MakeF(&f, bits, 7, 5);
    const std::string path = ScratchPath("f" + std::to_string(bits) + ".raw");
    WriteJunk(path, 20000);
    ASSERT_EQ(SaveStillImage(&f.image, path.c_str(), kStillRaw).saved, 1) << bits;
    const std::vector<uint8_t> file = ReadAll(path);
    ASSERT_EQ(file.size(), f.image.pixelBytes()) << bits;
    EXPECT_EQ(0, std::memcmp(file.data(), f.image.pixels(), file.size())) << bits;
  }
}

TEST(StillImageWriter, JpegAtQuality100DecodesToTheSourceTopLineFirst) {
  for (int bits : kDepths) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    FImage f;
    // 2 x 2 cells keep the chroma subsampling exact, so only quantisation
    // error remains.
    MakeF(&f, bits, 12, 10, 2);
    const std::string path = ScratchPath("f" + std::to_string(bits) + ".jpg");
    WriteJunk(path, 20000);
    ASSERT_EQ(SaveStillImage(&f.image, path.c_str(), kStillJpeg100).saved, 1);
    JpegInfo jpeg;
    ASSERT_TRUE(ReadJpeg(path, &jpeg));
    EXPECT_TRUE(jpeg.progressive);
    const bool gray = bits == 8 || bits == 16;
    const bool wide = bits == 16 || bits >= 48;
    ASSERT_EQ(jpeg.image.width, 12);
    ASSERT_EQ(jpeg.image.height, 10);
    ASSERT_EQ(jpeg.image.channels, gray ? 1 : 3);
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 12; ++x) {
        for (int c = 0; c < jpeg.image.channels; ++c) {
          // File channel c is red, green, blue: memory channel 2 - c.
          const uint16_t source = f.At(x, y, gray ? 0 : 2 - c);
          const int expected = wide ? Shr4(source) : source;
          ASSERT_NEAR(jpeg.image.At(x, y, c), expected, 4) << "x " << x << " y " << y << " c " << c;
        }
      }
    }
  }
}

TEST(StillImageWriter, JpegQualitiesShrinkTheFile) {
  FImage f;
  MakeF(&f, 24, 96, 80, 16);
  // A little texture, so that quantisation has something to remove.
  for (size_t i = 0; i < f.image.pixelBytes(); i += 7) f.image.pixels()[i] ^= static_cast<uint8_t>(i * 13);
  std::vector<uintmax_t> sizes;
  for (int type : {kStillJpeg100, kStillJpeg70, kStillJpeg20}) {
    const std::string path = ScratchPath("q" + std::to_string(type) + ".jpg");
    ASSERT_EQ(SaveStillImage(&f.image, path.c_str(), type).saved, 1);
    JpegInfo jpeg;
    ASSERT_TRUE(ReadJpeg(path, &jpeg));
    sizes.push_back(std::filesystem::file_size(path));
  }
  EXPECT_GT(sizes[0], sizes[1]);
  EXPECT_GT(sizes[1], sizes[2]);
}

TEST(StillImageWriter, PngSamplesFollowTheConversionTable) {
  for (int width : {6, 7}) {
    for (int bits : kDepths) {
      SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
      FImage f;
      MakeF(&f, bits, width, 5);
      const std::string path = ScratchPath("f" + std::to_string(bits) + "-" + std::to_string(width) + ".png");
      WriteJunk(path, 20000);
      ASSERT_EQ(SaveStillImage(&f.image, path.c_str(), kStillPng).saved, 1);
      Decoded png;
      int colorType = -1;
      ASSERT_TRUE(ReadPng(path, &png, &colorType));
      const bool wide = bits == 16 || bits >= 48;
      const int channels = bits == 8 || bits == 16 ? 1 : (bits == 24 || bits == 48 ? 3 : 4);
      const int expectedType =
          channels == 1 ? PNG_COLOR_TYPE_GRAY : (channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA);
      ASSERT_EQ(png.width, width);
      ASSERT_EQ(png.height, 5);
      ASSERT_EQ(png.bitDepth, wide ? 16 : 8);
      ASSERT_EQ(colorType, expectedType);
      // Alpha is 255 minus the fourth byte, or opaque at 16 bits.
      ExpectScaledSamples(f, png, bits, [&](int x, int y) { return wide ? 65535 : 255 - f.At(x, y, 3); });
    }
  }
}

TEST(StillImageWriter, TiffSamplesTagsAndUnpaddedRows) {
  for (int width : {6, 7}) {
    for (int bits : kDepths) {
      SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
      FImage f;
      MakeF(&f, bits, width, 5);
      const std::string path = ScratchPath("f" + std::to_string(bits) + "-" + std::to_string(width) + ".tif");
      WriteJunk(path, 20000);
      ASSERT_EQ(SaveStillImage(&f.image, path.c_str(), kStillTiff).saved, 1);
      Decoded tiff;
      TiffTags tags;
      ASSERT_TRUE(ReadTiff(path, &tiff, &tags));
      const bool wide = bits == 16 || bits >= 48;
      const int channels = bits == 8 || bits == 16 ? 1 : (bits == 24 || bits == 48 ? 3 : 4);
      ASSERT_EQ(tiff.width, width);
      ASSERT_EQ(tiff.height, 5);
      ASSERT_EQ(tiff.bitDepth, wide ? 16 : 8);
      ASSERT_EQ(tiff.channels, channels);
      EXPECT_EQ(tags.photometric, channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
      EXPECT_EQ(tags.compression, COMPRESSION_NONE);
      EXPECT_EQ(tags.planar, PLANARCONFIG_CONTIG);
      EXPECT_EQ(tags.strips, 1u);
      // Rows hold exactly width samples: no stride padding in the strip.
      EXPECT_EQ(tags.stripBytes, static_cast<tmsize_t>(width) * 5 * channels * (wide ? 2 : 1));
      ExpectScaledSamples(f, tiff, bits, [&](int, int) { return wide ? 65535 : 0; });
    }
  }
}

}  // namespace
}  // namespace quorel
