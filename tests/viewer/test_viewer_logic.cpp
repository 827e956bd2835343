// Headless logic of quorel-viewer: histogram, status figures, viewer.ini,
// error texts, language choice and the recorded clip's header.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <poll.h>

#include <atomic>
#include <thread>

#include "AviInfo.h"
#include "CameraThread.h"
#include "ErrorTexts.h"
#include "Histogram.h"
#include "Language.h"
#include "PictureLayout.h"
#include "StatusFigures.h"
#include "ViewerConfig.h"
#include "ViewerScript.h"

namespace quorel::viewer {
namespace {

namespace fs = std::filesystem;

// A 3 x 2 frame of distinct pixels, rows padded to 4 bytes, in the given depth.
std::vector<uint8_t> SmallFrame(int bitCount, size_t &stride) {
  // B, G, R of the six pixels (8-bit levels).
  const int px[6][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  stride = FrameStride(3, bitCount);
  std::vector<uint8_t> frame(stride * 2, 0xEE);  // padding bytes must not count
  for (int i = 0; i < 6; ++i) {
    uint8_t *p = frame.data() + (i / 3) * stride + (i % 3) * (bitCount / 8);
    for (int c = 0; c < 3; ++c) {
      if (bitCount == 48 || bitCount == 64) {
        const uint16_t v = static_cast<uint16_t>(px[i][c] * 16 + 15);  // 12-bit, low bits must be dropped
        p[2 * c] = static_cast<uint8_t>(v);
        p[2 * c + 1] = static_cast<uint8_t>(v >> 8);
      } else if (bitCount >= 24) {
        p[c] = static_cast<uint8_t>(px[i][c]);
      }
    }
    if (bitCount == 8) p[0] = static_cast<uint8_t>(px[i][0]);
    if (bitCount == 16) {
      const uint16_t v = static_cast<uint16_t>(px[i][0] * 16);
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
    }
  }
  return frame;
}

TEST(ViewerHistogram, CountsEveryColourDepthWithoutPaddingOrSwappedChannels) {
  for (int bits : {24, 32, 48, 64}) {
    SCOPED_TRACE(bits);
    size_t stride = 0;
    std::vector<uint8_t> frame = SmallFrame(bits, stride);
    Histogram h;
    ASSERT_TRUE(ComputeHistogram(frame.data(), frame.size(), 3, 2, bits, 1, h));
    EXPECT_EQ(h.pixels, 6u);
    EXPECT_EQ(h.channel(HistogramChannel::kBlue)[255], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kBlue)[10], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kGreen)[20], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kRed)[30], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kRed)[255], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kRed)[0], 2u);
    // Pure blue, green and red weigh 29, 150 and 77 of 256 in the gray level.
    EXPECT_EQ(h.channel(HistogramChannel::kGray)[(29 * 255) >> 8], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kGray)[(150 * 255) >> 8], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kGray)[(77 * 255) >> 8], 1u);
    EXPECT_EQ(h.channel(HistogramChannel::kGray)[0xEE], 0u);
  }
}

TEST(ViewerHistogram, GrayFramesFillEveryChannelAndClampDeepSamples) {
  for (int bits : {8, 16}) {
    size_t stride = 0;
    std::vector<uint8_t> frame = SmallFrame(bits, stride);
    Histogram h;
    ASSERT_TRUE(ComputeHistogram(frame.data(), frame.size(), 3, 2, bits, 1, h));
    for (HistogramChannel c : {HistogramChannel::kBlue, HistogramChannel::kRed, HistogramChannel::kGray}) {
      EXPECT_EQ(h.channel(c)[10], 1u);
      EXPECT_EQ(h.channel(c)[0], 2u);
      EXPECT_EQ(h.channel(c)[255], 1u);
    }
  }
  // A 16-bit word above 4095 (not a 12-bit sample) lands in the top bin.
  const uint8_t word[4] = {0xFF, 0xFF, 0, 0};
  Histogram h;
  ASSERT_TRUE(ComputeHistogram(word, sizeof word, 1, 1, 16, 1, h));
  EXPECT_EQ(h.channel(HistogramChannel::kGray)[255], 1u);
}

TEST(ViewerHistogram, RejectsShortBuffersUnknownDepthsAndBadSteps) {
  size_t stride = 0;
  std::vector<uint8_t> frame = SmallFrame(24, stride);
  Histogram h;
  EXPECT_FALSE(ComputeHistogram(frame.data(), frame.size() - 1, 3, 2, 24, 1, h));
  EXPECT_EQ(h.pixels, 0u);
  EXPECT_FALSE(ComputeHistogram(frame.data(), frame.size(), 3, 2, 12, 1, h));
  EXPECT_FALSE(ComputeHistogram(frame.data(), frame.size(), 3, 2, 24, 0, h));
  EXPECT_FALSE(ComputeHistogram(nullptr, frame.size(), 3, 2, 24, 1, h));
  EXPECT_FALSE(ComputeHistogram(frame.data(), frame.size(), 0, 2, 24, 1, h));
  // Step 2 takes pixels 0 and 2 of row 0 only.
  ASSERT_TRUE(ComputeHistogram(frame.data(), frame.size(), 3, 2, 24, 2, h));
  EXPECT_EQ(h.pixels, 2u);
  EXPECT_EQ(h.channel(HistogramChannel::kBlue)[70], 1u);
  // A full-size frame sampled within a budget of a quarter million pixels.
  const int step = HistogramStepFor(3488, 2616, 250'000);
  EXPECT_LE((3488 / step + 1) * (2616 / step + 1), 260'000);
  EXPECT_GE((3488 / (step - 1)) * (2616 / (step - 1)), 250'000);
}

TEST(ViewerHistogram, BarsAreRelativeToTheFullestBinLinearOrLog) {
  Histogram h;
  h.counts[3][0] = 1000;
  h.counts[3][100] = 10;
  auto linear = BarHeights(h, HistogramChannel::kGray, HistogramScale::kLinear);
  EXPECT_DOUBLE_EQ(linear[0], 1.0);
  EXPECT_DOUBLE_EQ(linear[100], 0.01);
  EXPECT_DOUBLE_EQ(linear[50], 0.0);
  auto log = BarHeights(h, HistogramChannel::kGray, HistogramScale::kLog);
  EXPECT_DOUBLE_EQ(log[0], 1.0);
  EXPECT_NEAR(log[100], std::log1p(10.0) / std::log1p(1000.0), 1e-12);
  auto empty = BarHeights(h, HistogramChannel::kRed, HistogramScale::kLog);
  for (double v : empty) EXPECT_EQ(v, 0.0);
}

TEST(ViewerStatus, RateCoversTheLastSecondAndFormatsEveryFigure) {
  FrameRateMeter meter;
  const int64_t ms = 1'000'000;
  for (int i = 0; i <= 30; ++i) meter.AddFrame(i * 40 * ms);  // 25 fps for 1.2 s
  EXPECT_NEAR(meter.Rate(1200 * ms), 25.0, 1e-9);
  EXPECT_EQ(meter.frames(), 31u);
  // A slow stream: the last two frames tell its rate until it goes stale.
  meter.AddFrame(3200 * ms);
  EXPECT_NEAR(meter.Rate(3300 * ms), 0.5, 1e-9);
  EXPECT_EQ(meter.Rate(8300 * ms), 0.0);
  // A stall, then a batch of messages read at once: the batch's own span
  // says nothing (no millions of frames per second); the rate then recovers.
  meter.Reset();
  meter.AddFrame(0);
  meter.AddFrame(40 * ms);
  meter.AddFrame(600 * ms);
  EXPECT_NEAR(meter.Rate(600 * ms), 2 / 0.6, 1e-9);
  meter.AddFrame(3000 * ms);
  meter.AddFrame(3000 * ms + 2000);
  EXPECT_NEAR(meter.Rate(3000 * ms), 2 / 0.6, 1e-9);
  for (int i = 1; i <= 10; ++i) meter.AddFrame(3000 * ms + i * 50 * ms);
  EXPECT_NEAR(meter.Rate(3500 * ms), 11 / 0.5, 1e-6);
  meter.Reset();
  EXPECT_EQ(meter.frames(), 0u);

  StatusFigures f;
  f.framesPerSecond = 12.46;
  f.frames = 340;
  f.dropped = 2;
  f.exposureUs = 33333;
  f.globalGain = 8;
  f.colourGains[0] = 16;
  f.colourGains[1] = 17;
  f.colourGains[2] = 18;
  f.colourGains[3] = 19;
  EXPECT_EQ(FormatStatus(f, Language::kEnglish),
            "12.5 fps | 340 frames | 2 dropped | exposure 33.3 ms | gain 8 (R 16, G 17/18, B 19)");
  StatusFigures unknown;
  EXPECT_EQ(FormatStatus(unknown, Language::kEnglish),
            "0.0 fps | 0 frames | - dropped | exposure - | gain - (R -, G -/-, B -)");
  EXPECT_NE(FormatStatus(f, Language::kJapanese).find("露光 33.3 ms"), std::string::npos);
  EXPECT_EQ(FormatMilliseconds(299439), "299.4");
  EXPECT_EQ(FormatMilliseconds(50), "0.1");
  EXPECT_EQ(FormatMilliseconds(0), "0.0");
}

class ViewerConfigFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("viewer-config-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(ViewerConfigFile, RoundTripsThroughANewDirectoryAndReplacesAtomically) {
  const std::string path = ViewerConfigPath(dir_.c_str(), "/home/nobody");
  EXPECT_EQ(path, (dir_ / "quorel/viewer.ini").string());
  ViewerConfig c;
  c.width = 1400;
  c.height = 900;
  c.unit = 3;
  c.channel = HistogramChannel::kRed;
  c.scale = HistogramScale::kLog;
  c.fit = false;
  ASSERT_TRUE(SaveViewerConfig(path, c));
  ViewerConfig back = LoadViewerConfig(path);
  EXPECT_EQ(back.width, 1400);
  EXPECT_EQ(back.height, 900);
  EXPECT_EQ(back.unit, 3);
  EXPECT_EQ(back.channel, HistogramChannel::kRed);
  EXPECT_EQ(back.scale, HistogramScale::kLog);
  EXPECT_FALSE(back.fit);
  c.unit = 4;
  ASSERT_TRUE(SaveViewerConfig(path, c));
  EXPECT_EQ(LoadViewerConfig(path).unit, 4);
  // No temporary file stays behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "quorel"), fs::directory_iterator()), 1);
  // A file in place of the directory: the save fails, nothing is thrown.
  fs::remove_all(dir_ / "quorel");
  std::ofstream(dir_ / "quorel") << "x";
  EXPECT_FALSE(SaveViewerConfig(path, c));
}

TEST(ViewerConfigText, BadLinesAndValuesKeepTheirDefaults) {
  const ViewerConfig defaults;
  ViewerConfig c = ParseViewerConfig(
      "garbage\n[window]\nwidth=99999\nheight = 500 \r\n[camera]\nunit=32\n[view]\nchannel=purple\nscale=log\n"
      "zoom=\n[window\nwidth=400\n\xff\xfe=\x01\n");
  EXPECT_EQ(c.width, defaults.width);  // out of range; the later width is outside any section
  EXPECT_EQ(c.height, 500);
  EXPECT_EQ(c.unit, defaults.unit);
  EXPECT_EQ(c.channel, defaults.channel);
  EXPECT_EQ(c.scale, HistogramScale::kLog);
  EXPECT_EQ(c.fit, defaults.fit);
  EXPECT_EQ(LoadViewerConfig("/nonexistent/dir/viewer.ini").width, defaults.width);
  EXPECT_EQ(ViewerConfigPath(nullptr, "/home/u"), "/home/u/.config/quorel/viewer.ini");
  EXPECT_EQ(ViewerConfigPath("relative", "/home/u"), "/home/u/.config/quorel/viewer.ini");
  EXPECT_EQ(ViewerConfigPath("", nullptr), "");
}

TEST(ViewerTexts, ErrorMeaningsAndLanguageFollowTheLocale) {
  EXPECT_EQ(DescribeError(2, Language::kEnglish), "error 2: camera not available");
  EXPECT_EQ(DescribeError(13, Language::kEnglish), "error 13: transfer stopped");
  EXPECT_EQ(DescribeError(14, Language::kEnglish), "error 14: unknown error");
  EXPECT_EQ(DescribeError(-1, Language::kJapanese), "エラー -1: 不明なエラー");
  for (int code = 0; code <= 13; ++code) {
    EXPECT_STRNE(ErrorMeaning(code, Language::kJapanese), ErrorMeaning(code, Language::kEnglish));
  }
  EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "ja_JP.UTF-8"), Language::kJapanese);
  EXPECT_EQ(LanguageFromLocale("C", nullptr, "ja_JP.UTF-8"), Language::kEnglish);
  EXPECT_EQ(LanguageFromLocale("", "ja_JP", "en_US"), Language::kJapanese);
  EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, nullptr), Language::kEnglish);
}

// The header block of a single-stream AVI as the library writes it.
std::vector<uint8_t> AviHead(uint32_t riffSize, uint32_t frames, uint32_t streamLength, uint32_t scale) {
  std::vector<uint8_t> h(232, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  auto tag = [&](size_t at, const char *t) { std::memcpy(h.data() + at, t, 4); };
  tag(0, "RIFF");
  put(4, riffSize);
  tag(8, "AVI ");
  tag(12, "LIST");
  tag(20, "hdrl");
  tag(24, "avih");
  put(28, 56);
  put(32 + 16, frames);
  put(32 + 32, 640);
  put(32 + 36, 480);
  tag(100, "strh");
  put(104, 56);
  put(108 + 20, scale);
  put(108 + 24, 10'000'000);
  put(108 + 32, streamLength);
  return h;
}

TEST(ViewerAviInfo, FinishedOnlyWhenSizesAndBothCountsAreWritten) {
  AviInfo info;
  auto head = AviHead(10'000 - 8, 42, 42, 400'000);
  ASSERT_TRUE(ParseAviHeader(head.data(), head.size(), 10'000, info));
  EXPECT_TRUE(info.finished);
  EXPECT_EQ(info.frames, 42u);
  EXPECT_DOUBLE_EQ(info.framesPerSecond, 25.0);
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  // Still being written: the RIFF size is 0, or the file has grown past it,
  // or the stream length is not patched yet.
  head = AviHead(0, 0, 0, 400'000);
  ASSERT_TRUE(ParseAviHeader(head.data(), head.size(), 10'000, info));
  EXPECT_FALSE(info.finished);
  head = AviHead(10'000 - 8, 42, 42, 400'000);
  ASSERT_TRUE(ParseAviHeader(head.data(), head.size(), 20'000, info));
  EXPECT_FALSE(info.finished);
  head = AviHead(10'000 - 8, 42, 0, 400'000);
  ASSERT_TRUE(ParseAviHeader(head.data(), head.size(), 10'000, info));
  EXPECT_FALSE(info.finished);
  // Not an AVI, or cut short.
  head[8] = 'W';
  EXPECT_FALSE(ParseAviHeader(head.data(), head.size(), 10'000, info));
  head = AviHead(10'000 - 8, 42, 42, 0);
  EXPECT_FALSE(ParseAviHeader(head.data(), 100, 10'000, info));
  EXPECT_FALSE(ReadAviInfo("/nonexistent.avi", info));
}

TEST(ViewerCameraThread, RunsJobsInOrderElsewhereAndCompletionsOnTheDrainingThread) {
  std::vector<int> jobs;
  std::vector<int> done;
  std::atomic<bool> onOtherThread{true};
  const std::thread::id me = std::this_thread::get_id();
  {
    CameraThread camera;
    EXPECT_TRUE(camera.Idle());
    for (int i = 0; i < 5; ++i) {
      camera.Post<int>(
          [&, i] {
            if (std::this_thread::get_id() == me) onOtherThread = false;
            jobs.push_back(i);
            return i * 10;
          },
          [&](int v) {
            EXPECT_EQ(std::this_thread::get_id(), me);
            done.push_back(v);
          });
    }
    EXPECT_FALSE(camera.Idle());
    // Wait on the descriptor, as the main loop does, with a generous deadline.
    for (int spins = 0; spins < 200 && done.size() < 5; ++spins) {
      pollfd p{camera.fd(), POLLIN, 0};
      ::poll(&p, 1, 100);
      camera.Drain();
    }
    EXPECT_TRUE(camera.Idle());
    // Jobs still queued at destruction run; their completions do not.
    camera.Post([&] { jobs.push_back(99); }, [&] { done.push_back(99); });
  }
  EXPECT_TRUE(onOtherThread);
  EXPECT_EQ(jobs, (std::vector<int>{0, 1, 2, 3, 4, 99}));
  EXPECT_EQ(done, (std::vector<int>{0, 10, 20, 30, 40}));
}

TEST(ViewerPicture, FitsKeepingTheAspectOrShowsFullSizeCentred) {
  PictureRect r = LayoutPicture(800, 600, 3488, 2616, true);  // 4:3 into 4:3
  EXPECT_EQ(r.width, 800);
  EXPECT_EQ(r.height, 600);
  r = LayoutPicture(1000, 600, 872, 654, true);  // wider area: bars left and right
  EXPECT_EQ(r.height, 600);
  EXPECT_EQ(r.width, 800);
  EXPECT_EQ(r.x, 100);
  EXPECT_EQ(r.y, 0);
  r = LayoutPicture(500, 400, 872, 654, false);  // 100 %: larger than the area, centred
  EXPECT_EQ(r.width, 872);
  EXPECT_EQ(r.x, (500 - 872) / 2);
  EXPECT_EQ(r.y, (400 - 654) / 2);
  r = LayoutPicture(10, 1000, 3488, 10, true);  // never thinner than a pixel
  EXPECT_EQ(r.height, 1);
  r = LayoutPicture(0, 600, 872, 654, true);
  EXPECT_EQ(r.width, 0);
}

TEST(ViewerPicture, DisplayCopyKeepsOrientationAndChannelOrder) {
  // 2 x 2, 24-bit, top row: red, green; bottom row: blue, white.
  const size_t stride = FrameStride(2, 24);
  std::vector<uint8_t> frame(stride * 2, 0);
  auto put = [&](int x, int y, uint8_t b, uint8_t g, uint8_t r) {
    uint8_t *p = frame.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
  };
  put(0, 0, 0, 0, 255);
  put(1, 0, 0, 255, 0);
  put(0, 1, 255, 0, 0);
  put(1, 1, 255, 255, 255);
  DisplayImage d;
  ASSERT_TRUE(MakeDisplayImage(frame.data(), frame.size(), 2, 2, 24, true, 100, 100, d));
  ASSERT_EQ(d.width, 2);
  EXPECT_EQ(d.pixels, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
  // The same memory read as a bottom-up bitmap shows its rows swapped.
  ASSERT_TRUE(MakeDisplayImage(frame.data(), frame.size(), 2, 2, 24, false, 100, 100, d));
  EXPECT_EQ(d.pixels, (std::vector<uint32_t>{0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}));
  // Reduced to fit 1 x 1; short buffers refused.
  ASSERT_TRUE(MakeDisplayImage(frame.data(), frame.size(), 2, 2, 24, true, 1, 1, d));
  EXPECT_EQ(d.pixels.size(), 1u);
  EXPECT_FALSE(MakeDisplayImage(frame.data(), frame.size() - 1, 2, 2, 24, true, 100, 100, d));
  EXPECT_TRUE(d.pixels.empty());
  // 12-bit gray in 16-bit words: 4095 is white.
  const uint8_t gray[4] = {0xFF, 0x0F, 0, 0};
  ASSERT_TRUE(MakeDisplayImage(gray, sizeof gray, 1, 1, 16, true, 10, 10, d));
  EXPECT_EQ(d.pixels[0], 0xFFFFFFu);
}

TEST(ViewerScriptText, ParsesCommandsAndNamesTheBadLine) {
  std::vector<ScriptCommand> cmds;
  std::string error;
  ASSERT_TRUE(ParseViewerScript("# set-up\nwait-frames 3  # three\n\nsave /tmp/a.png png\nquit\n", cmds, &error));
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(cmds[0].name, "wait-frames");
  EXPECT_EQ(cmds[0].args, (std::vector<std::string>{"3"}));
  EXPECT_EQ(cmds[1].line, 4);
  EXPECT_FALSE(ParseViewerScript("quit\nsave only-a-path\n", cmds, &error));
  EXPECT_EQ(error, "line 2: 'save' takes 2 argument(s)");
  EXPECT_TRUE(cmds.empty());
  EXPECT_FALSE(ParseViewerScript("explode\n", cmds, &error));
  EXPECT_EQ(error, "line 1: unknown command 'explode'");
  EXPECT_EQ(SaveTypeFromName("jpeg70"), 3);
  EXPECT_EQ(SaveTypeFromName("tiff"), 6);
  EXPECT_EQ(SaveTypeFromName("gif"), -1);
}

}  // namespace
}  // namespace quorel::viewer
