// Painting the live preview under Xvfb, against a plain memcpy of the same
// bytes in the same run:
//   - a full 3488 x 2616 24-bit frame into a window of exactly that client
//     size (the direct path: one conversion pass into a shared image that
//     the server copies while the next frame is converted);
//   - the scaled path to a 1280 x 960 client: nearest-neighbour scaling
//     into the display image, then painting it, against a memcpy of the
//     client image.
// The server runs in its own process, so the figures are wall-clock times.
// MIT-SHM and plain XPutImage are measured on separate servers.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

void BM_MemcpyFrame24(benchmark::State &state) {
  int stride = 0;
  const std::vector<uint8_t> src = Frame24(kWidth, kHeight, &stride);
  std::vector<uint8_t> dst(src.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_MemcpyFrame24)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  for (auto _ : state) {
    if (module->paint(window, &image) != 1) {
      state.SkipWithError("paint failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}

void BM_PaintExactFrame24_Shm(benchmark::State &state) {
  PaintExact(state, true);
}
BENCHMARK(BM_PaintExactFrame24_Shm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PaintExactFrame24_PutImage(benchmark::State &state) {
  PaintExact(state, false);
}
BENCHMARK(BM_PaintExactFrame24_PutImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpyClient24(benchmark::State &state) {
  int stride = 0;
  const std::vector<uint8_t> src = Frame24(kClientWidth, kClientHeight, &stride);
  std::vector<uint8_t> dst(src.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_MemcpyClient24)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  for (auto _ : state) {
    display.ApplyScaleKernel(quorel::ScaleNearestColor, source, nullptr, nullptr);
    if (module->paint(window, &image) != 1) {
      state.SkipWithError("paint failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(display.pixelBytes()));
}

void BM_PaintScaledClient24_Shm(benchmark::State &state) {
  PaintScaled(state, true);
}
BENCHMARK(BM_PaintScaledClient24_Shm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PaintScaledClient24_PutImage(benchmark::State &state) {
  PaintScaled(state, false);
}
BENCHMARK(BM_PaintScaledClient24_PutImage)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  for (auto _ : state) {
    display.ApplyScaleKernel(quorel::ScaleNearestColor, source, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(display.pixelBytes()));
}
BENCHMARK(BM_ScaleKernelClient24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
