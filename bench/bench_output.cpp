// Output files at the full 3488 x 2616 frame: one still save per format and
// depth (written to /tmp), and the AVI writer's frame append rate, both to
// /dev/null (the writer's own cost) and to a file in /tmp (with the disk).
// The same binary times the yardsticks: bare library encodes of a 24-bit
// frame and a plain sequential write of AVI-sized frames, so that save and
// recording figures are ratios from one run.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/Yardstick.h"
#include "image/DibImage.h"
#include "output/AviWriter.h"
#include "output/StillImageWriter.h"

namespace {

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

// Smooth gradients with a little texture: compresses like a real scene
// rather than like noise or a flat field.
void FillScene(quorel::DibImage *image) {
  const bool wide = image->bitsPerPixel() == 16 || image->bitsPerPixel() >= 48;
  const size_t bytesPerPixel = static_cast<size_t>(image->bytesPerPixel());
  for (int y = 0; y < image->height(); ++y) {
    uint8_t *row = image->pixels() + static_cast<size_t>(y) * static_cast<size_t>(image->stride());
    for (int x = 0; x < image->width(); ++x) {
      for (size_t b = 0; b < bytesPerPixel; b += wide ? 2 : 1) {
        const unsigned v = static_cast<unsigned>(x * (b + 1) + y * 2 + ((x * 7 + y * 13) & 15));
        if (wide) {
          const unsigned sample = v & 0xFFF;
          row[x * bytesPerPixel + b] = static_cast<uint8_t>(sample);
          row[x * bytesPerPixel + b + 1] = static_cast<uint8_t>(sample >> 8);
        } else {
          row[x * bytesPerPixel + b] = static_cast<uint8_t>(v);
        }
      }
    }
  }
}

std::string TempPath(const char *name) {
  return "/tmp/bench_output_" + std::to_string(::getpid()) + "_" + name;
}

// Arguments: file type, bits per pixel.
void BM_SaveStillImage(benchmark::State &state) {
  const int fileType = static_cast<int>(state.range(0));
  const int bits = static_cast<int>(state.range(1));
  quorel::DibImage image;
  if (image.Create(kWidth, kHeight, bits) == 0) {
    state.SkipWithError("cannot allocate the frame");
    return;
  }
  FillScene(&image);
  const std::string path = TempPath("still");
  for (auto _ : state) {
    const quorel::SaveResult result = quorel::SaveStillImage(&image, path.c_str(), fileType);
    if (result.saved != 1) {
      state.SkipWithError("save failed");
      break;
    }
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.pixelBytes()));
}

void StillArguments(benchmark::internal::Benchmark *b) {
  for (int type = quorel::kStillBmp; type <= quorel::kStillTiff; ++type) {
    for (int bits : {8, 24, 48}) b->Args({type, bits});
  }
  b->ArgNames({"type", "bits"});
}
BENCHMARK(BM_SaveStillImage)->Apply(StillArguments)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument 0: to /dev/null; 1: to a file in /tmp, started anew every 16
// frames so that the benchmark does not fill the disk.
void BM_AviWriteFrame(benchmark::State &state) {
  const bool toDisk = state.range(0) == 1;
  quorel::DibImage frame;
  if (frame.Create(kWidth, kHeight, 24) == 0) {
    state.SkipWithError("cannot allocate the frame");
    return;
  }
  FillScene(&frame);
  const std::string path = toDisk ? TempPath("avi") : std::string("/dev/null");
  quorel::AviWriter avi;
  avi.SetFrameSize(kWidth, kHeight);
  avi.SetFrameRate(30);
  if (avi.Create(path.c_str()) != 1) {
    state.SkipWithError("cannot create the file");
    return;
  }
  int framesInFile = 0;
  for (auto _ : state) {
    if (framesInFile == 16) {
      state.PauseTiming();
      avi.SetFrameRate(3000);
      avi.Finish();
      avi.SetFrameRate(30);
      avi.Create(path.c_str());
      framesInFile = 0;
      state.ResumeTiming();
    }
    if (avi.WriteFrame(frame.pixels()) != 0) {
      state.SkipWithError("frame write failed");
      break;
    }
    ++framesInFile;
  }
  avi.SetFrameRate(3000);
  avi.Finish();
  if (toDisk) std::remove(path.c_str());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.pixelBytes()));
}
BENCHMARK(BM_AviWriteFrame)->Arg(0)->Arg(1)->ArgName("disk")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

namespace {
namespace baseline {

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;
constexpr size_t kRowBytes = static_cast<size_t>(kWidth) * 3;

const std::vector<unsigned char> &Scene() {
  static const std::vector<unsigned char> scene = [] {
    std::vector<unsigned char> rgb(kRowBytes * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        for (int c = 0; c < 3; ++c) {
          rgb[y * kRowBytes + x * 3 + c] = static_cast<unsigned char>(x * (c + 1) + y * 2 + ((x * 7 + y * 13) & 15));
        }
      }
    }
    return rgb;
  }();
  return scene;
}

std::string BaselinePath(const char *name) {
  return "/tmp/bench_baseline_" + std::to_string(::getpid()) + "_" + name;
}

void BM_BareJpeg100(benchmark::State &state) {
  const auto &rgb = Scene();
  const std::string path = BaselinePath("jpg");
  for (auto _ : state) {
    FILE *file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = const_cast<unsigned char *>(&rgb[cinfo.next_scanline * kRowBytes]);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BareJpeg100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BarePng(benchmark::State &state) {
  const auto &rgb = Scene();
  const std::string path = BaselinePath("png");
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) rows[y] = const_cast<png_bytep>(&rgb[y * kRowBytes]);
  for (auto _ : state) {
    FILE *file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      state.SkipWithError("libpng failed");
      png_destroy_write_struct(&png, &info);
      std::fclose(file);
      return;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BarePng)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareTiff(benchmark::State &state) {
  const auto &rgb = Scene();
  const std::string path = BaselinePath("tif");
  for (auto _ : state) {
    TIFF *tiff = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kHeight);
    TIFFWriteEncodedStrip(tiff, 0, const_cast<unsigned char *>(rgb.data()), static_cast<tmsize_t>(rgb.size()));
    TIFFClose(tiff);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BareTiff)->Unit(benchmark::kMillisecond)->UseRealTime();

// A plain sequential write of 24-bit frames with 8-byte chunk headers: what
// the AVI writer's append rate compares with. Argument 0: /dev/null, 1: disk.
void BM_PlainFrameWrite(benchmark::State &state) {
  const auto &rgb = Scene();
  const std::string path = state.range(0) != 0 ? BaselinePath("frames") : std::string("/dev/null");
  FILE *file = std::fopen(path.c_str(), "wb");
  const unsigned char header[8] = {'0', '0', 'd', 'b', 0, 0, 0, 0};
  for (auto _ : state) {
    std::fwrite(header, 1, sizeof header, file);
    std::fwrite(rgb.data(), 1, rgb.size(), file);
  }
  std::fclose(file);
  if (state.range(0) != 0) std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rgb.size() + 8));
}
BENCHMARK(BM_PlainFrameWrite)->Arg(0)->Arg(1)->ArgName("disk")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace baseline
// What a save holds the camera's frame lock for: the copy of the 24-bit
// frame into the camera's save image (sized before the lock is taken), as a
// ratio to a memcpy of the frame from the same run; and to the whole
// quality-100 JPEG save from that copy, which runs after the lock is let go.
void BM_SaveLockHold(benchmark::State &state) {
  quorel::DibImage frame;
  frame.Create(kWidth, kHeight, 24);
  FillScene(&frame);
  std::vector<uint8_t> target(frame.pixelBytes());
  quorel::DibImage copy;
  copy.Create(kWidth, kHeight, 24);
  const std::string path = "/tmp/quorel_bench_lock_hold.jpg";
  quorel::bench::Compare(
      state, [&] { benchmark::DoNotOptimize(copy.CopyFrom(frame)); },
      {{"memcpy", [&] { std::memcpy(target.data(), frame.pixels(), target.size()); }},
       {"jpeg100Save", [&] { benchmark::DoNotOptimize(quorel::SaveStillImage(&frame, path.c_str(), 2)); }}});
  unlink(path.c_str());
}
BENCHMARK(BM_SaveLockHold)
    ->UseManualTime()
    ->ComputeStatistics("min", quorel::bench::Fastest)
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);

}  // namespace
