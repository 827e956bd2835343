// Painting the live preview under Xvfb, against a plain memcpy of the same
// bytes in the same run:
//   - a full 3488 x 2616 24-bit frame into a window of exactly that client
//     size (the direct path: one conversion pass into a shared image that
//     the server copies while the next frame is converted);
//   - the scaled path to a 1280 x 960 client: nearest-neighbour scaling
//     into the display image, then painting it, against a memcpy of the
//     client image.
// The server runs in its own process, so the figures are wall-clock times.
// MIT-SHM and plain XPutImage are measured on separate servers. Each paint
// is timed against its yardsticks in the same iteration (bench/Yardstick.h):
// "x_memcpy" a memcpy of the painted bytes, and for the scaled path also
// "x_memcpyRows" a memcpy of the source rows the scaling must read (every
// cache line of 960 rows of the full frame), the memory traffic that bounds it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/Yardstick.h"
#include "gui/PixelConverter.h"
#include "image/DibImage.h"
#include "image/ScaleKernels.h"
#include "platform/GuiLoader.h"
#include "x11/XvfbServer.h"

namespace {

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;
constexpr int kClientWidth = 1280;
constexpr int kClientHeight = 960;

// One Xvfb per transfer kind, large enough to show the whole frame, and one
// window per client size on it.
struct Screen {
  std::unique_ptr<quorel::test::XvfbServer> server;
  std::map<int, QuorelGuiWindow *> windows;  // by client width
};

const QuorelGuiModule *Module() {
  setenv("QUOREL_GUI_MODULE", QUOREL_GUI_MODULE_PATH, 0);
  return quorel::LoadGuiModule();
}

QuorelGuiWindow *WindowFor(bool shared, int width, int height) {
  static std::map<bool, Screen> screens;
  Screen &screen = screens[shared];
  if (screen.server == nullptr) {
    screen.server = std::make_unique<quorel::test::XvfbServer>(3600, 2700);
    if (!screen.server->ok()) return nullptr;
  }
  // A new DISPLAY gives the module a new connection, which reads the
  // MIT-SHM choice anew.
  setenv("DISPLAY", screen.server->display().c_str(), 1);
  if (shared) {
    unsetenv("QUOREL_GUI_SHM");
  } else {
    setenv("QUOREL_GUI_SHM", "0", 1);
  }
  QuorelGuiWindow *&window = screen.windows[width];
  const QuorelGuiModule *module = Module();
  if (window == nullptr && module != nullptr) {
    const QuorelGuiWindowSpec spec{0, 0, 0, width, height, "Active Window", "VideoRenderer_bench", 0};
    window = module->createWindow(&spec);
  }
  return window;
}

std::vector<uint8_t> Frame24(int width, int height, int *stride) {
  *stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> pixels(static_cast<size_t>(*stride) * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  return pixels;
}

// A copy of `bytes` bytes between buffers of its own, for the yardsticks.
std::function<void()> Memcpy(size_t bytes) {
  auto src = std::make_shared<std::vector<uint8_t>>(bytes, 1);
  auto dst = std::make_shared<std::vector<uint8_t>>(bytes);
  return [src, dst] {
    std::memcpy(dst->data(), src->data(), src->size());
    benchmark::DoNotOptimize(dst->data());
  };
}

void PaintExact(benchmark::State &state, bool shared) {
  QuorelGuiWindow *window = WindowFor(shared, kWidth, kHeight);
  if (window == nullptr) {
    state.SkipWithError("no Xvfb or GUI module");
    return;
  }
  int stride = 0;
  const std::vector<uint8_t> frame = Frame24(kWidth, kHeight, &stride);
  const QuorelGuiImage image{frame.data(), kWidth, kHeight, stride, 24, nullptr, 0};
  const QuorelGuiModule *module = Module();
  // The first paints make the window's paint buffers.
  module->paint(window, &image);
  module->paint(window, &image);
  bool failed = false;
  quorel::bench::Compare(
      state, [&] { failed = failed || module->paint(window, &image) != 1; }, {{"memcpy", Memcpy(frame.size())}},
      quorel::bench::Clock::kWall);
  if (failed) state.SkipWithError("paint failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}

void BM_PaintExactFrame24_Shm(benchmark::State &state) {
  PaintExact(state, true);
}
BENCHMARK(BM_PaintExactFrame24_Shm)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_PaintExactFrame24_PutImage(benchmark::State &state) {
  PaintExact(state, false);
}
BENCHMARK(BM_PaintExactFrame24_PutImage)->Unit(benchmark::kMillisecond)->UseManualTime();

// A copy of every source row the scaling reads, whole: the least memory
// traffic the scaled path can have.
std::function<void()> MemcpySourceRows(const std::vector<uint8_t> &frame, int stride) {
  auto dst = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(stride) * 2);
  const uint8_t *src = frame.data();
  return [src, stride, dst] {
    const float sy = static_cast<float>(kHeight) / static_cast<float>(kClientHeight);
    for (int y = 0; y < kClientHeight; ++y) {
      const int row = static_cast<int>(static_cast<float>(y) * sy);
      std::memcpy(dst->data() + static_cast<size_t>(y & 1) * static_cast<size_t>(stride),
                  src + static_cast<size_t>(row) * static_cast<size_t>(stride), static_cast<size_t>(stride));
    }
    benchmark::DoNotOptimize(dst->data());
  };
}

// The scaled path as the camera runs it: the full frame scaled into the
// display image at the client size, which is then painted bottom-up.
void PaintScaled(benchmark::State &state, bool shared) {
  QuorelGuiWindow *window = WindowFor(shared, kClientWidth, kClientHeight);
  if (window == nullptr) {
    state.SkipWithError("no Xvfb or GUI module");
    return;
  }
  quorel::DibImage source, display;
  source.Create(kWidth, kHeight, 24);
  display.Create(kClientWidth, kClientHeight, 24);
  int stride = 0;
  const std::vector<uint8_t> frame = Frame24(kWidth, kHeight, &stride);
  std::memcpy(source.pixels(), frame.data(), frame.size());
  const QuorelGuiImage image{display.pixels(), kClientWidth, kClientHeight, display.stride(), 24, nullptr, 1};
  const QuorelGuiModule *module = Module();
  module->paint(window, &image);
  module->paint(window, &image);
  bool failed = false;
  quorel::bench::Compare(
      state,
      [&] {
        display.ApplyScaleKernel(quorel::ScaleNearestColor, source, nullptr, nullptr);
        failed = failed || module->paint(window, &image) != 1;
      },
      {{"memcpy", Memcpy(display.pixelBytes())}, {"memcpyRows", MemcpySourceRows(frame, stride)}},
      quorel::bench::Clock::kWall);
  if (failed) state.SkipWithError("paint failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(display.pixelBytes()));
}

void BM_PaintScaledClient24_Shm(benchmark::State &state) {
  PaintScaled(state, true);
}
BENCHMARK(BM_PaintScaledClient24_Shm)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_PaintScaledClient24_PutImage(benchmark::State &state) {
  PaintScaled(state, false);
}
BENCHMARK(BM_PaintScaledClient24_PutImage)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

namespace {

// The parts of the paths on their own: the conversion into the visual's
// layout, and the scaling kernel.
void BM_Convert24(benchmark::State &state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  int stride = 0;
  const std::vector<uint8_t> frame = Frame24(width, height, &stride);
  const QuorelGuiImage image{frame.data(), width, height, stride, 24, nullptr, 0};
  const quorel::gui::PixelConverter converter(quorel::gui::PixelLayout{});
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
  for (auto _ : state) {
    converter.Convert(image, width, height, out.data(), width * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_Convert24)
    ->Args({kWidth, kHeight})
    ->Args({kClientWidth, kClientHeight})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ScaleKernelClient24(benchmark::State &state) {
  quorel::DibImage source, display;
  source.Create(kWidth, kHeight, 24);
  display.Create(kClientWidth, kClientHeight, 24);
  int stride = 0;
  const std::vector<uint8_t> frame = Frame24(kWidth, kHeight, &stride);
  std::memcpy(source.pixels(), frame.data(), frame.size());
  quorel::bench::Compare(state, [&] { display.ApplyScaleKernel(quorel::ScaleNearestColor, source, nullptr, nullptr); },
                         {{"memcpy", Memcpy(display.pixelBytes())}, {"memcpyRows", MemcpySourceRows(frame, stride)}});
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(display.pixelBytes()));
}
BENCHMARK(BM_ScaleKernelClient24)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
