// The virtual camera's frames: layout against the host's geometry, sample
// depth, Bayer phase, mirrors, exposure and gains, the raw, counter and
// picture scenes, pacing, trigger and faults.
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "device/sim/SimFrameGenerator.h"
#include "device/sim/SimFrameLayout.h"
#include "device/sim/SimFramePacer.h"
#include "device/sim/SimFrameSource.h"
#include "support/TestEnvironment.h"
#include "tests/fakes/FakeSensorView.h"

namespace quorel::sim {
namespace {

using FakeSensor = test::FakeSensorView;

SimSceneSettings Scene(SceneKind kind, std::string file = "", uint32_t seed = 1, int noise = 0, int defects = 0) {
  SimSceneSettings scene;
  scene.kind = kind;
  scene.file = std::move(file);
  scene.seed = seed;
  scene.noise = noise;
  scene.defects = defects;
  return scene;
}

SimFrameSourceOptions Options(SceneKind kind, uint32_t triggerPeriodMs = 0) {
  SimFrameSourceOptions options;
  options.scene = Scene(kind);
  options.triggerPeriodMs = triggerPeriodMs;
  return options;
}

std::vector<uint8_t> RenderFrame(SimFrameGenerator &gen, const FakeSensor &view, uint32_t frame = 0) {
  std::vector<uint8_t> out(ProgrammedTransferBytes(view), 0xEE);
  std::string error;
  EXPECT_TRUE(gen.Render(view, frame, out.data(), out.size(), &error)) << error;
  return out;
}

// Sample (x, y) of a packed frame.
int SampleAt(const std::vector<uint8_t> &frame, int width, int x, int y, bool depth16) {
  const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
  return depth16 ? frame[2 * i] | frame[2 * i + 1] << 8 : frame[i];
}

double MeanOfWindow(const std::vector<uint8_t> &frame, const SimFrameLayout &l, bool depth16) {
  double sum = 0;
  for (int y = 0; y < l.imageHeight; ++y)
    for (int x = 0; x < l.imageWidth; ++x) sum += SampleAt(frame, l.imageWidth, x, y, depth16);
  return sum / (static_cast<double>(l.imageWidth) * l.imageHeight);
}

TEST(SimFrameLayout, MatchesHostGeometryForEveryModeAndPreviousReadMode) {
  struct Window {
    int x, y, w, h;
  };
  const Window windows[] = {{0, 0, 3488, 2616}, {0, 0, 1000, 1000}, {101, 33, 1001, 777}, {3400, 2600, 88, 16}};
  const int previous[] = {0, 1, 2, 17, 18, 5};
  for (int mode = 0; mode <= 20; ++mode) {
    const int d = (mode == 1 || mode == 17) ? 2 : (mode == 2 || mode == 18) ? 4 : 1;
    for (const Window &win : windows) {
      for (int prev : previous) {
        FakeSensor view;
        view.SetWindow(0, 0, 3488, 2616, prev);
        view.SetMirror(true, false);
        view.SetWindow(win.x, win.y, win.w, win.h, mode);
        const SimFrameLayout l = DeriveFrameLayout(view);
        SCOPED_TRACE("mode " + std::to_string(mode) + " after " + std::to_string(prev) + ", window " +
                     std::to_string(win.w) + "x" + std::to_string(win.h));
        ASSERT_TRUE(l.valid);
        EXPECT_EQ(l.divisor, d);
        EXPECT_EQ(l.windowX, win.x);
        EXPECT_EQ(l.windowY, win.y);
        EXPECT_EQ(l.lineTotal, win.w / d);
        EXPECT_EQ(l.lineStart, 0);
        EXPECT_EQ(l.imageWidth, win.w / d);
        EXPECT_EQ(l.frameLines, win.h / d);
        EXPECT_EQ(l.imageTop, 0);
        EXPECT_EQ(l.imageHeight, win.h / d);
        EXPECT_EQ(l.transferSamples, ProgrammedTransferSamples(view));
        EXPECT_EQ(l.binning, mode == 17 || mode == 18);
        EXPECT_TRUE(l.mirrorH);
        EXPECT_FALSE(l.mirrorV);
      }
    }
  }
  // The sensor raises quarter sizes to a multiple of 4; the host does not.
  FakeSensor view;
  view.SetWindow(0, 0, 1000, 1000, 18);
  EXPECT_EQ(view.Register(kRegOutputWidth), 252);
  EXPECT_EQ(DeriveFrameLayout(view).imageWidth, 250);
}

TEST(SimFrameLayout, UnprogrammedWindowGivesZeroFrameOfRequestedSize) {
  FakeSensor view;  // window registers all 0
  EXPECT_FALSE(DeriveFrameLayout(view).valid);
  SimFrameGenerator gen(SimSceneSettings{});
  std::vector<uint8_t> out(4096, 0xEE);
  ASSERT_TRUE(gen.Render(view, 0, out.data(), out.size(), nullptr));
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), 4096);
}

TEST(SimFrameGenerator, SampleDepthPacking) {
  FakeSensor view;
  view.SetWindow(1000, 800, 640, 480, 0);
  SimFrameGenerator gen(SimSceneSettings{});
  view.SetDepth16(false);
  const std::vector<uint8_t> f8 = RenderFrame(gen, view);
  view.SetDepth16(true);
  const std::vector<uint8_t> f16 = RenderFrame(gen, view);
  ASSERT_EQ(f8.size(), ProgrammedTransferSamples(view));
  ASSERT_EQ(f16.size(), 2 * ProgrammedTransferSamples(view));
  const size_t samples = 640 * 480;
  int maxValue = 0;
  for (size_t i = 0; i < samples; ++i) {
    const int v16 = f16[2 * i] | f16[2 * i + 1] << 8;
    maxValue = std::max(maxValue, v16);
    ASSERT_LE(v16, 4095) << "sample " << i;
    // The same light at 12 bits is 16 times the 8-bit value.
    ASSERT_NEAR(v16 / 16.0, f8[i], 1.0) << "sample " << i;
  }
  EXPECT_GT(maxValue, 255);  // really 12-bit, not 8-bit values in words
  // Past the window the transfer is padded with zeros.
  for (size_t i = samples; i < f8.size(); ++i) ASSERT_EQ(f8[i], 0);
}

TEST(SimFrameGenerator, BayerPhaseFollowsMirrors) {
  // On the grey ramp all sites see the same light; doubling the red gain
  // must brighten exactly the red sites: G R / B G unmirrored, and the
  // phase the host expects under each mirror.
  struct Case {
    bool h, v;
    int redX, redY;  // red site within the 2 x 2 cell
  };
  for (const Case c :
       {Case{false, false, 1, 0}, Case{true, false, 0, 0}, Case{false, true, 1, 1}, Case{true, true, 0, 1}}) {
    FakeSensor view;
    view.SetWindow(1600, 2100, 200, 100, 0);  // inside the grey ramp
    view.SetMirror(c.h, c.v);
    SimFrameGenerator gen(SimSceneSettings{});
    const std::vector<uint8_t> base = RenderFrame(gen, view);
    view.Set(kRegGainRed, 0x1080 | 64);
    const std::vector<uint8_t> red = RenderFrame(gen, view);
    for (int y = 0; y < 100; ++y) {
      for (int x = 0; x < 200; ++x) {
        const int b = SampleAt(base, 200, x, y, false), r = SampleAt(red, 200, x, y, false);
        if ((x & 1) == c.redX && (y & 1) == c.redY) {
          ASSERT_GT(r, b + b / 2) << "red site " << x << "," << y;
        } else {
          ASSERT_EQ(r, b) << "site " << x << "," << y;
        }
      }
    }
  }
}

TEST(SimFrameGenerator, MirrorsFlipThePictureAndWindowsCropIt) {
  SimFrameGenerator gen(SimSceneSettings{});
  FakeSensor view;
  view.SetWindow(0, 0, 3488, 2616, 1);  // whole chart at half size
  const std::vector<uint8_t> plain = RenderFrame(gen, view);
  const int w = 1744, h = 1308;
  view.SetMirror(true, false);
  const std::vector<uint8_t> flippedH = RenderFrame(gen, view);
  view.SetMirror(false, true);
  const std::vector<uint8_t> flippedV = RenderFrame(gen, view);
  size_t differing = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int p = SampleAt(plain, w, x, y, false);
      ASSERT_EQ(SampleAt(flippedH, w, w - 1 - x, y, false), p) << x << "," << y;
      ASSERT_EQ(SampleAt(flippedV, w, x, h - 1 - y, false), p) << x << "," << y;
      differing += SampleAt(flippedH, w, x, y, false) != p;
    }
  }
  // The chart has no mirror symmetry, so an ignored mirror would show.
  EXPECT_GT(differing, static_cast<size_t>(w) * h / 4);

  // A window shows the same sensor pixels as the full frame.
  FakeSensor small;
  small.SetWindow(1000, 600, 400, 300, 1);
  const std::vector<uint8_t> crop = RenderFrame(gen, small);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x)
      ASSERT_EQ(SampleAt(crop, 200, x, y, false), SampleAt(plain, w, 500 + x, 300 + y, false)) << x << "," << y;
}

TEST(SimFrameGenerator, ChartTopLeftIsRed) {
  FakeSensor view;
  view.SetWindow(0, 0, 160, 120, 0);  // inside the red marker
  SimFrameGenerator gen(SimSceneSettings{});
  const std::vector<uint8_t> f = RenderFrame(gen, view);
  EXPECT_GT(SampleAt(f, 160, 1, 0, false), 4 * SampleAt(f, 160, 0, 1, false));  // red site >> blue site
  EXPECT_GT(SampleAt(f, 160, 1, 0, false), 4 * SampleAt(f, 160, 0, 0, false));  // red site >> green site
}

TEST(SimFrameGenerator, ExposureAndGainsBrightenMonotonically) {
  FakeSensor view;
  view.SetWindow(0, 0, 3488, 2616, 2);
  const SimFrameLayout l = DeriveFrameLayout(view);
  SimFrameGenerator gen(SimSceneSettings{});
  double last = -1;
  for (int exposure : {1, 200, 800, 1970, 2600}) {
    view.Set(kRegExposure, static_cast<uint16_t>(exposure));
    const double mean = MeanOfWindow(RenderFrame(gen, view), l, false);
    EXPECT_GT(mean, last) << "exposure " << exposure;
    last = mean;
  }
  view.Set(kRegExposure, kNominalExposure);
  last = -1;
  for (int gain : {4, 16, 32, 48}) {
    view.Set(kRegGainGlobal, static_cast<uint16_t>(0x1080 | gain));
    const double mean = MeanOfWindow(RenderFrame(gen, view), l, false);
    EXPECT_GT(mean, last) << "gain " << gain;
    last = mean;
  }
  // Far past full exposure the picture clips at full scale instead of wrapping.
  view.Set(kRegExposure, 0x3FFF);
  view.Set(kRegGainGlobal, 0x1080 | 127);
  EXPECT_GT(MeanOfWindow(RenderFrame(gen, view), l, false), 200.0);
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(SimFrameGenerator, RawSceneIsVerbatimAndWrongSizeIsRefused) {
  FakeSensor view;
  view.SetWindow(8, 4, 200, 100, 0);  // 20,000 samples, transfer 20,480
  for (bool depth16 : {false, true}) {
    view.SetDepth16(depth16);
    const size_t bytes = 200u * 100u * (depth16 ? 2 : 1);
    std::vector<uint8_t> content(bytes);
    for (size_t i = 0; i < bytes; ++i) content[i] = static_cast<uint8_t>((i * 131) ^ (i >> 8));
    const std::string path = test::ScratchPath(depth16 ? "raw16.bin" : "raw8.bin");
    WriteFile(path, content);
    SimFrameGenerator gen(Scene(SceneKind::kRaw, path));
    for (uint32_t frame : {0u, 7u}) {
      const std::vector<uint8_t> f = RenderFrame(gen, view, frame);
      ASSERT_TRUE(std::equal(content.begin(), content.end(), f.begin()));
      ASSERT_TRUE(std::all_of(f.begin() + static_cast<long>(bytes), f.end(), [](uint8_t b) { return b == 0; }));
    }
    // The same file at the other depth no longer fits.
    view.SetDepth16(!depth16);
    std::vector<uint8_t> out(ProgrammedTransferBytes(view));
    std::string error;
    EXPECT_FALSE(gen.Render(view, 0, out.data(), out.size(), &error));
    EXPECT_NE(error.find(std::to_string(bytes)), std::string::npos) << error;
    EXPECT_NE(error.find("200 x 100"), std::string::npos) << error;
  }
  SimFrameGenerator missing(Scene(SceneKind::kRaw, test::ScratchPath("absent.bin")));
  std::vector<uint8_t> out(ProgrammedTransferBytes(view));
  std::string error;
  EXPECT_FALSE(missing.Render(view, 0, out.data(), out.size(), &error));
  EXPECT_NE(error.find("absent.bin"), std::string::npos);
}

TEST(SimFrameGenerator, CounterSceneCarriesFrameNumberAndDependsOnFrameEverywhere) {
  FakeSensor view;
  view.SetWindow(0, 0, 640, 480, 0);
  SimFrameGenerator gen(Scene(SceneKind::kCounter));
  for (bool depth16 : {false, true}) {
    view.SetDepth16(depth16);
    const std::vector<uint8_t> a = RenderFrame(gen, view, 0x12345678);
    const std::vector<uint8_t> b = RenderFrame(gen, view, 0x12345679);
    EXPECT_EQ(SampleAt(a, 640, 0, 0, depth16), 0x78);
    EXPECT_EQ(SampleAt(a, 640, 1, 0, depth16), 0x56);
    EXPECT_EQ(SampleAt(a, 640, 2, 0, depth16), 0x34);
    EXPECT_EQ(SampleAt(a, 640, 3, 0, depth16), 0x12);
    for (int y = 0; y < 480; ++y) {
      for (int x = 0; x < 640; ++x) {
        ASSERT_EQ(SampleAt(a, 640, x, y, depth16), SimFrameGenerator::CounterSample(0x12345678, x, y, depth16));
        if (y > 0 || x >= 4) {
          ASSERT_NE(SampleAt(a, 640, x, y, depth16), SampleAt(b, 640, x, y, depth16));
        }
      }
    }
  }
}

TEST(SimFrameGenerator, DefectsAndNoiseFollowTheSeed) {
  FakeSensor view;
  view.SetWindow(0, 0, 3488, 2616, 2);
  auto render = [&](uint32_t seed, int noise, int defects, uint32_t frame) {
    SimFrameGenerator gen(Scene(SceneKind::kChart, "", seed, noise, defects));
    return RenderFrame(gen, view, frame);
  };
  const std::vector<uint8_t> clean = render(1, 0, 0, 0);
  const std::vector<uint8_t> stuck = render(1, 0, 400, 0);
  EXPECT_EQ(stuck, render(1, 0, 400, 5));  // defects do not move between frames
  size_t changed = 0, extreme = 0;
  for (size_t i = 0; i < clean.size(); ++i) {
    if (stuck[i] != clean[i]) {
      ++changed;
      extreme += stuck[i] == 0 || stuck[i] == 255;
    }
  }
  EXPECT_GT(changed, 5u);  // 400 on the sensor, about 1 in 16 fall on a delivered pixel
  EXPECT_EQ(extreme, changed);
  EXPECT_NE(stuck, render(2, 0, 400, 0));

  const std::vector<uint8_t> noisy0 = render(1, 4, 0, 0);
  const std::vector<uint8_t> noisy1 = render(1, 4, 0, 1);
  EXPECT_NE(noisy0, noisy1);  // noise changes from frame to frame
  const SimFrameLayout l = DeriveFrameLayout(view);
  EXPECT_NEAR(MeanOfWindow(noisy0, l, false), MeanOfWindow(clean, l, false), 0.5);
}

void WritePpm(const std::string &path, int width, int height, const std::vector<uint8_t> &rgb) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n# test\n" << width << " " << height << "\n255\n";
  out.write(reinterpret_cast<const char *>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
}

bool WritePng(const std::string &path, int width, int height, const std::vector<uint8_t> &rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

TEST(SimFrameGenerator, PictureScenesShowThePictureThroughTheFilter) {
  // Left half red, right half blue.
  const std::vector<uint8_t> rgb = {255, 0, 0, 0, 0, 255};
  const std::string ppm = test::ScratchPath("scene.ppm"), png = test::ScratchPath("scene.png");
  WritePpm(ppm, 2, 1, rgb);
  ASSERT_TRUE(WritePng(png, 2, 1, rgb));
  FakeSensor view;
  view.SetWindow(0, 0, 3488, 2616, 2);
  for (const std::string &file : {ppm, png}) {
    SimFrameGenerator gen(Scene(SceneKind::kImage, file));
    const std::vector<uint8_t> f = RenderFrame(gen, view);
    const int w = 872;
    // Red site (1, 0) and blue site (0, 1) of a cell near each side.
    EXPECT_GT(SampleAt(f, w, 101, 100, false), 100) << file;
    EXPECT_EQ(SampleAt(f, w, 100, 101, false), 0) << file;
    EXPECT_EQ(SampleAt(f, w, 701, 100, false), 0) << file;
    EXPECT_GT(SampleAt(f, w, 700, 101, false), 100) << file;
  }
  // Hostile or broken files are refused with a reason, not rendered.
  const std::string huge = test::ScratchPath("huge.ppm");
  WriteFile(huge, {'P', '6', ' ', '9', '9', '9', '9', '9', ' ', '9', '9', '9', '9', '9', ' ', '2', '5', '5', '\n'});
  const std::string text = test::ScratchPath("text.png");
  WriteFile(text, {'h', 'e', 'l', 'l', 'o'});
  for (const std::string &file : {huge, text}) {
    SimFrameGenerator gen(Scene(SceneKind::kImage, file));
    std::vector<uint8_t> out(ProgrammedTransferBytes(view));
    std::string error;
    EXPECT_FALSE(gen.Render(view, 0, out.data(), out.size(), &error));
    EXPECT_NE(error.find(file), std::string::npos) << error;
  }
}

TEST(SimFramePacer, SensorTimingAndFixedRate) {
  FakeSensor view;
  view.SetWindow(0, 0, 3488, 2616, 0);
  // 2961 lines of 3648 clocks at 24 MHz.
  EXPECT_NEAR(SimSensorFrameSeconds(view), 2961.0 * 3648 / 24e6, 1e-9);
  view.Set(kRegClockMultiplier, 64);
  EXPECT_NEAR(SimSensorFrameSeconds(view), 2961.0 * 3648 / 48e6, 1e-9);
  view.Set(kRegExposure, 5000);  // longer than the frame: the frame stretches
  EXPECT_NEAR(SimSensorFrameSeconds(view), 5001.0 * 3648 / 48e6, 1e-9);

  using Clock = SimFramePacer::Clock;
  const Clock::time_point t0{};
  SimFramePacer fixed(SimPacing{SimPacingKind::kFixed, 50});
  const auto period = std::chrono::milliseconds(20);
  EXPECT_EQ(fixed.NextFrameDue(view, t0), t0 + period);
  // Requests served late still keep the 20 ms rhythm...
  EXPECT_EQ(fixed.NextFrameDue(view, t0 + std::chrono::milliseconds(25)), t0 + 2 * period);
  // ...until a request comes more than a frame late: a new sequence starts.
  EXPECT_EQ(fixed.NextFrameDue(view, t0 + std::chrono::milliseconds(100)), t0 + std::chrono::milliseconds(120));
  SimFramePacer max(SimPacing{});
  EXPECT_EQ(max.NextFrameDue(view, t0 + period), t0 + period);
}

class SimFrameSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.SetWindow(0, 0, 64, 48, 0);
    buffer_.resize(ProgrammedTransferBytes(view_));
  }
  bool Read(SimFrameSource &source, uint32_t timeoutMs, size_t *moved) {
    return source.ReadFrame(view_, buffer_.data(), buffer_.size(), timeoutMs, moved);
  }
  FakeSensor view_;
  std::vector<uint8_t> buffer_;
};

TEST_F(SimFrameSourceTest, DeliversProgrammedSizeAndArmedFaultsOnce) {
  SimFrameSource source(Options(SceneKind::kCounter));
  size_t moved = 0;
  ASSERT_TRUE(Read(source, 0, &moved));
  EXPECT_EQ(moved, 3072u);
  ASSERT_TRUE(Read(source, 0, &moved));
  EXPECT_EQ(buffer_[0], 1);  // counter scene: second frame
  EXPECT_TRUE(source.InjectFault("short-frame"));
  ASSERT_TRUE(Read(source, 0, &moved));
  EXPECT_LT(moved, 3072u);
  EXPECT_TRUE(source.InjectFault("fail-frame"));
  EXPECT_FALSE(Read(source, 0, &moved));
  EXPECT_EQ(moved, 0u);
  ASSERT_TRUE(Read(source, 0, &moved));
  EXPECT_EQ(moved, 3072u);
  for (const char *bad : {"stall=", "stall=x", "stall=0", "short", "", "stall=9999999"}) {
    EXPECT_FALSE(source.InjectFault(bad)) << bad;
  }
  EXPECT_FALSE(source.InjectFault(nullptr));
  // A stall delays the next frame only, even past the driver time-out.
  // The stall is long enough that an unstalled read on a loaded machine is
  // still told apart from it.
  EXPECT_TRUE(source.InjectFault("stall=1000"));
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Read(source, 50, &moved));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Read(source, 50, &moved));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  // At a paced rate slower than the time-out the driver gives up.
  SimFrameSourceOptions slow = Options(SceneKind::kChart);
  slow.pacing = SimPacing{SimPacingKind::kFixed, 2};
  SimFrameSource paced(slow);
  EXPECT_FALSE(Read(paced, 50, &moved));
  EXPECT_TRUE(Read(paced, 2000, &moved));
}

TEST_F(SimFrameSourceTest, TriggerModeWaitsForPulseOrTimesOut) {
  SimFrameSource source(Options(SceneKind::kChart));
  view_.SetPort(kPortTrigger, kTriggerOn);
  size_t moved = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Read(source, 80, &moved));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
  source.Trigger();  // a pulse before the capture is kept for it
  EXPECT_TRUE(Read(source, 80, &moved));
  std::thread pulser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    source.Trigger();
  });
  EXPECT_TRUE(Read(source, 5000, &moved));
  pulser.join();
  EXPECT_EQ(moved, buffer_.size());

  SimFrameSource periodic(Options(SceneKind::kChart, 20));
  EXPECT_TRUE(Read(periodic, 1000, &moved));
}

TEST_F(SimFrameSourceTest, UnplugEndsWaitingReadAndLaterReads) {
  SimFrameSource source(Options(SceneKind::kChart));
  view_.SetPort(kPortTrigger, kTriggerOn);
  size_t moved = 0;
  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    source.SetPresent(false);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Read(source, 0, &moved));  // would wait forever without the unplug
  unplug.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  view_.SetPort(kPortTrigger, 0);
  EXPECT_FALSE(Read(source, 0, &moved));
  source.SetPresent(true);
  EXPECT_TRUE(Read(source, 0, &moved));
}

}  // namespace
}  // namespace quorel::sim
