// Output files at the full 3488 x 2616 frame: one still save per format and
// depth (written to /tmp), and the AVI writer's frame append rate, both to
// /dev/null (the writer's own cost) and to a file in /tmp (with the disk).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

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
