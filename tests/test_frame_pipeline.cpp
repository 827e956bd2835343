#include "image/FramePipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/ToneParams.h"
#include "image/WhiteBalance.h"

namespace quorel {
namespace {

// One kernel call as the fakes saw it.
struct Call {
  std::string name;
  const uint8_t *dst;
  const uint8_t *src;
  int32_t record[4];  // first words of the record p1 points to (0 without one)
  int32_t p2;         // the defect threshold, or what a fake noted (-1 without one)
};

std::vector<Call> g_calls;

// What the white-balance and gray-balance fakes write into their records.
WhiteBalanceParams g_balanceResult;
int32_t g_grayGains[4] = {128, 128, 128, 128};

template <int Words>
Call Record(const char *name, const uint8_t *dst, const uint8_t *src, const void *p1, const int32_t *p2) {
  Call call{name, dst, src, {0, 0, 0, 0}, -1};
  if (p1 != nullptr) std::memcpy(call.record, p1, Words * sizeof(int32_t));
  if (p2 != nullptr) call.p2 = *p2;
  return call;
}

// A recording kernel; names index into kNames.
constexpr const char *kNames[] = {"defect8",    "defect16", "balance8",    "balance16", "interior8",  "border8",
                                  "interior16", "border16", "grayBalance", "grayGain8", "grayGain16", "luma",
                                  "hueSat",     "gamma",    "contrast",    "sharpen",   "brightness"};
enum : int {
  kDefect8,
  kDefect16,
  kBalance8,
  kBalance16,
  kInterior8,
  kBorder8,
  kInterior16,
  kBorder16,
  kGrayBalanceK,
  kGrayGain8,
  kGrayGain16,
  kLuma,
  kHueSat,
  kGammaK,
  kContrastK,
  kSharpenK,
  kBrightnessK
};

// Fakes for each parameter list; the record is seen through its first words.
template <int Id>
int Fake(const FrameView &dst, const ConstFrameView &src) {
  g_calls.push_back(Record<4>(kNames[Id], dst.pixels, src.pixels, nullptr, nullptr));
  return 1;
}

template <int Id>
int FakeDefect(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params, int32_t threshold) {
  g_calls.push_back(Record<4>(kNames[Id], dst.pixels, src.pixels, &params, &threshold));
  return 1;
}

template <int Id, typename Params>
int FakeWith(const FrameView &dst, const ConstFrameView &src, Params &params) {
  // Gamma, contrast, sharpness and brightness records hold two words.
  constexpr int kWords = (Id == kGammaK || Id == kContrastK || Id == kSharpenK || Id == kBrightnessK) ? 2 : 4;
  g_calls.push_back(Record<kWords>(kNames[Id], dst.pixels, src.pixels, &params, nullptr));
  if constexpr (Id == kBalance8 || Id == kBalance16) {
    const int32_t mode = params.mode;
    params = g_balanceResult;
    params.mode = mode;
  }
  if constexpr (Id == kGrayBalanceK) std::memcpy(params.gains, g_grayGains, sizeof g_grayGains);
  if constexpr (Id == kSharpenK) {
    // Sharpness must read a copy equal to the image it writes.
    const bool same = std::memcmp(dst.pixels, src.pixels, 16) == 0 && dst.pixels != src.pixels;
    g_calls.back().p2 = same ? 1 : 0;
  }
  return 1;
}

PipelineKernels Fakes() {
  PipelineKernels k;
  k.suppressDefects8 = FakeDefect<kDefect8>;
  k.suppressDefects16 = FakeDefect<kDefect16>;
  k.balanceMeans8 = FakeWith<kBalance8, WhiteBalanceParams>;
  k.balanceMeans16 = FakeWith<kBalance16, WhiteBalanceParams>;
  k.demosaicInterior8 = FakeWith<kInterior8, const DemosaicParams>;
  k.demosaicBorder8 = FakeWith<kBorder8, const DemosaicParams>;
  k.demosaicInterior16 = FakeWith<kInterior16, const DemosaicParams>;
  k.demosaicBorder16 = FakeWith<kBorder16, const DemosaicParams>;
  k.grayBalance = FakeWith<kGrayBalanceK, GrayParams>;
  k.grayGainOffset8 = FakeWith<kGrayGain8, const GrayParams>;
  k.grayGainOffset16 = FakeWith<kGrayGain16, const GrayParams>;
  k.luma24To8 = Fake<kLuma>;
  for (auto &t : k.tone) {
    t.hueSaturation = FakeWith<kHueSat, const HueSaturationParams>;
    t.gamma = FakeWith<kGammaK, const ToneParams>;
    t.contrast = FakeWith<kContrastK, const ToneParams>;
    t.sharpen = FakeWith<kSharpenK, const ToneParams>;
    t.brightness = FakeWith<kBrightnessK, const ToneParams>;
  }
  return k;
}

class LoggingDevice : public PipelineDevice {
 public:
  int GetGlobalGain() override { return 20; }
  void SetGlobalGain(int gain) override { g_calls.push_back({"setGain", nullptr, nullptr, {gain, 0, 0, 0}, -1}); }
  int GetExposure() override { return 100; }
  void SetExposure(int lines) override { g_calls.push_back({"setExposure", nullptr, nullptr, {lines, 0, 0, 0}, -1}); }
  int GetExposureMax() override { return 0x3FFF; }
};

FilterBlock DefaultFilters() {
  FilterBlock f{};
  f[kBayerGainRed] = f[kBayerGainGreen] = f[kBayerGainBlue] = 100;
  f[kGamma] = 100;
  f[kBayerMode] = 3;
  for (int i = 0; i < 4; ++i) f[kGrayGainR + i] = 128;
  return f;
}

// The camera object's side: images sized for one colour type as the format
// preparation sizes them, default settings.
class PipelineTest : public ::testing::Test {
 protected:
  static constexpr int kW = 16, kH = 12;

  void Prepare(int type) {
    for (DibImage *image : {&image8, &image16, &image24, &image32, &image48, &image64, &sharpenCopy}) image->Release();
    if (type <= kColorType32) image8.Create(kW, kH, 8);
    if (type == kColorType16 || type >= kColorType48) image16.Create(kW, kH, 16);
    if (type != kColorType16) image24.Create(kW, kH, 24);
    if (type == kColorType32) image32.Create(kW, kH, 32);
    if (type == kColorType48) image48.Create(kW, kH, 48);
    if (type == kColorType64) image64.Create(kW, kH, 64);
    context.colorType = type;
    DibImage *out = OutputImage(context);
    for (size_t i = 0; i < out->pixelBytes(); ++i) out->pixels()[i] = static_cast<uint8_t>(i * 7 + 3);
    sharpenCopy.CopyFormat(out);
  }

  void SetUp() override {
    g_calls.clear();
    g_balanceResult = WhiteBalanceParams{};
    for (int32_t &g : g_grayGains) g = 128;
  }

  std::vector<std::string> Run() {
    g_calls.clear();
    ProcessFrame(context, kernels);
    std::vector<std::string> names;
    names.reserve(g_calls.size());
    for (const Call &c : g_calls) names.push_back(c.name);
    return names;
  }

  const Call &Find(const std::string &name) {
    for (const Call &c : g_calls)
      if (c.name == name) return c;
    static const Call none{"", nullptr, nullptr, {0, 0, 0, 0}, -1};
    ADD_FAILURE() << name << " not called";
    return none;
  }

  using Names = std::vector<std::string>;
  DibImage image8, image16, image24, image32, image48, image64, sharpenCopy;
  FilterBlock filters = DefaultFilters();
  AnalogBlock analog;
  LoggingDevice device;
  int filterRefreshes = 0;
  std::vector<int> analogShown;
  FrameContext context{image8,
                       image16,
                       image24,
                       image32,
                       image48,
                       image64,
                       sharpenCopy,
                       filters,
                       analog,
                       device,
                       kColorType8,
                       0,
                       [this] { ++filterRefreshes; },
                       [this](int, int value) { analogShown.push_back(value); }};
  PipelineKernels kernels = Fakes();
};

TEST_F(PipelineTest, DefaultColourFrameOnlySuppressesDefectsAndDemosaics) {
  Prepare(kColorType24);
  EXPECT_EQ(Run(), (Names{"defect8", "interior8", "border8"}));
  EXPECT_EQ(Find("defect8").p2, 30);
  EXPECT_EQ(Find("interior8").dst, image24.pixels());
  EXPECT_EQ(Find("interior8").src, image8.pixels());
  Prepare(kColorType64);
  EXPECT_EQ(Run(), (Names{"defect16", "interior16", "border16"}));
  EXPECT_EQ(Find("defect16").p2, 480);
  EXPECT_EQ(Find("border16").dst, image64.pixels());
  EXPECT_EQ(Find("border16").src, image16.pixels());
}

TEST_F(PipelineTest, BinnedFramesSkipDefectSuppression) {
  Prepare(kColorType32);
  for (int code : {0, 1, 2}) {
    context.subSample = code;
    EXPECT_EQ(Run().front(), "defect8") << code;
  }
  for (int code : {17, 18}) {
    context.subSample = code;
    EXPECT_EQ(Run(), (Names{"interior8", "border8"})) << code;
  }
}

TEST_F(PipelineTest, EveryStepRunsInOrderWithItsRecord) {
  Prepare(kColorType48);
  analog.autoIris = kAutoIrisExposure;
  filters[kBayerGainAuto] = 1;
  filters[kHue] = 30;
  filters[kSaturation] = -5;
  filters[kGamma] = 120;
  filters[kContrast] = 7;
  filters[kSharpness] = 12;
  filters[kBrightness] = -40;
  // The image is black, so the automatic iris opens up (factor 1.5).
  std::memset(image16.pixels(), 0, image16.pixelBytes());
  EXPECT_EQ(Run(), (Names{"setExposure", "defect16", "balance16", "interior16", "border16", "hueSat", "gamma",
                          "contrast", "sharpen", "brightness"}));
  EXPECT_EQ(Find("setExposure").record[0], 150);
  EXPECT_EQ(analog.exposure, 150);
  EXPECT_EQ(analogShown, std::vector<int>{150});
  const Call &hue = Find("hueSat");
  EXPECT_EQ(hue.record[0], 30);
  EXPECT_EQ(hue.record[1], 0);
  EXPECT_EQ(hue.record[2], -5);
  EXPECT_EQ(hue.record[3], 12);
  EXPECT_EQ(Find("gamma").record[0], 120);
  EXPECT_EQ(Find("gamma").record[1], 12);
  EXPECT_EQ(Find("contrast").record[0], 7);
  EXPECT_EQ(Find("brightness").record[0], -40);
  const Call &sharpen = Find("sharpen");
  EXPECT_EQ(sharpen.record[0], 12);
  EXPECT_EQ(sharpen.dst, image48.pixels());
  EXPECT_EQ(sharpen.src, sharpenCopy.pixels());
  EXPECT_EQ(sharpen.p2, 1) << "sharpenCopy did not hold the image";
  for (const Call &c : g_calls) {
    if (c.dst != nullptr && c.name != "defect16" && c.name != "balance16") {
      EXPECT_EQ(c.dst, image48.pixels()) << c.name;
    }
  }
}

TEST_F(PipelineTest, SharpnessRemakesAMisSizedCopy) {
  Prepare(kColorType24);
  sharpenCopy.Create(3, 3, 8);
  filters[kSharpness] = 5;
  Run();
  EXPECT_EQ(Find("sharpen").p2, 1);
  EXPECT_EQ(sharpenCopy.width(), kW);
  EXPECT_EQ(sharpenCopy.bitsPerPixel(), 24);
}

TEST_F(PipelineTest, WhiteBalanceOnceStoresLimitedGainsAndSwitchesOff) {
  Prepare(kColorType24);
  filters[kBayerGainAuto] = 1;
  filters[kAwbOnceA] = filters[kAwbOnceB] = 1;
  g_balanceResult.redGain = 523;
  g_balanceResult.blueGain = 50;
  g_balanceResult.greenGain = 77;
  Run();
  EXPECT_EQ(filters[kBayerGainRed], 400);
  EXPECT_EQ(filters[kBayerGainBlue], 50);
  EXPECT_EQ(filters[kBayerGainGreen], 100);
  EXPECT_EQ(filters[kBayerGainAuto], 0);
  EXPECT_EQ(filters[kAwbOnceA], 0);
  EXPECT_EQ(filters[kAwbOnceB], 0);
  EXPECT_EQ(filterRefreshes, 1);
  // The same frame is demosaiced with the new gains.
  const Call &interior = Find("interior8");
  EXPECT_EQ(interior.record[1], 400);
  EXPECT_EQ(interior.record[3], 50);
  EXPECT_EQ(Run(), (Names{"defect8", "interior8", "border8"}));
}

TEST_F(PipelineTest, WhiteBalanceOnEveryFrameStaysOn) {
  Prepare(kColorType32);
  filters[kBayerGainAuto] = 1;
  g_balanceResult.redGain = 120;
  g_balanceResult.blueGain = 90;
  Run();
  Run();
  EXPECT_EQ(filters[kBayerGainAuto], 1);
  EXPECT_EQ(filters[kBayerGainRed], 120);
  EXPECT_EQ(filterRefreshes, 2);
}

TEST_F(PipelineTest, MirrorsFoldIntoTheBayerMode) {
  Prepare(kColorType24);
  filters[kBayerMode] = 3;
  analog.mirrorV = 1;
  Run();
  EXPECT_EQ(Find("interior8").record[0], 2);
  EXPECT_EQ(Find("defect8").record[0], 2);
  analog.mirrorH = 1;
  Run();
  EXPECT_EQ(Find("interior8").record[0], 0);
  analog.mirrorV = 0;
  Run();
  EXPECT_EQ(Find("border8").record[0], 1);
}

TEST_F(PipelineTest, BayerModeGrayPassesTheMosaicAndSkipsColourFilters) {
  Prepare(kColorType8);
  filters[kHue] = 10;
  filters[kSaturation] = 10;
  filters[kGamma] = 50;
  EXPECT_EQ(Run(), (Names{"defect8", "gamma"}));
  EXPECT_EQ(Find("gamma").dst, image8.pixels());
}

TEST_F(PipelineTest, BayerConvertRunsGainsOnlyWhenNotNeutral) {
  Prepare(kColorType16);
  filters[kGrayMode] = kGrayModeBayerConvert;
  filters[kGrayOffsetR] = 20;
  EXPECT_EQ(Run(), (Names{"defect16"}));
  filters[kGrayGainB] = 129;
  EXPECT_EQ(Run(), (Names{"defect16", "grayGain16"}));
  EXPECT_EQ(Find("grayGain16").dst, image16.pixels());
}

TEST_F(PipelineTest, GrayBalanceOnceStoresGainsAndCountsDown) {
  Prepare(kColorType8);
  filters[kGrayMode] = kGrayModeBayerConvert;
  filters[kGrayAutoGain] = 1;
  filters[kGrayOffsetG1] = -7;
  g_grayGains[3] = 256;
  EXPECT_EQ(Run(), (Names{"defect8", "grayBalance", "grayGain8"}));
  EXPECT_EQ(filters[kGrayGainB], 256);
  EXPECT_EQ(filters[kGrayGainR], 128);
  EXPECT_EQ(filters[kGrayOffsetG1], -7);
  EXPECT_EQ(filters[kGrayAutoGain], 0);
  EXPECT_EQ(filterRefreshes, 1);
  EXPECT_EQ(Run(), (Names{"defect8", "grayGain8"}));

  filters[kGrayAutoGain] = -1;  // every frame
  Run();
  Run();
  EXPECT_EQ(filters[kGrayAutoGain], -3);
  EXPECT_EQ(filterRefreshes, 3);
}

TEST_F(PipelineTest, GrayscaleDemosaicsIntoColourAndBackToLuminance) {
  Prepare(kColorType8);
  filters[kGrayMode] = kGrayModeGrayscale;
  filters[kBayerGainAuto] = 1;
  EXPECT_EQ(Run(), (Names{"defect8", "balance8", "interior8", "border8", "luma"}));
  EXPECT_EQ(Find("interior8").dst, image24.pixels());
  EXPECT_EQ(Find("luma").dst, image8.pixels());
  EXPECT_EQ(Find("luma").src, image24.pixels());
  // The 16-bit gray type holds its frame in neither image.
  Prepare(kColorType16);
  EXPECT_EQ(Run(), (Names{"defect16"}));
}

TEST_F(PipelineTest, GainIrisRunsFirstAndOtherIrisModesNotAtAll) {
  Prepare(kColorType24);
  analog.autoIris = kAutoIrisGain;
  EXPECT_EQ(Run(), (Names{"setGain", "defect8", "interior8", "border8"}));
  EXPECT_EQ(analog.globalGain, 30);
  analog.autoIris = 3;
  EXPECT_EQ(Run(), (Names{"defect8", "interior8", "border8"}));
}

TEST_F(PipelineTest, UnpreparedImagesOrUnknownTypeDoNothing) {
  Prepare(kColorType24);
  analog.autoIris = kAutoIrisGain;
  context.colorType = 6;
  EXPECT_TRUE(Run().empty());
  context.colorType = kColorType48;  // image16 and image48 were not made
  EXPECT_TRUE(Run().empty());
}

TEST(PipelineDefaults, LibraryKernelsProduceARealFrame) {
  // A uniform mosaic demosaics to uniform gray with every default setting.
  DibImage image8, image16, image24, image32, image48, image64, copy;
  ASSERT_EQ(image8.Create(12, 10, 8), 1);
  ASSERT_EQ(image24.Create(12, 10, 24), 1);
  std::memset(image8.pixels(), 100, image8.pixelBytes());
  FilterBlock filters = DefaultFilters();
  AnalogBlock analog;
  LoggingDevice device;
  FrameContext context{image8,  image16, image24, image32,      image48, image64, copy,
                       filters, analog,  device,  kColorType24, 0,       nullptr, nullptr};
  ProcessFrame(context);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 36; ++x) ASSERT_EQ(image24.pixels()[y * image24.stride() + x], 100) << x << "," << y;
}

}  // namespace
}  // namespace quorel
