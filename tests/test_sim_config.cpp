// The virtual camera's configuration string: accepted forms, refusals with a
// one-line reason, and hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "QuorelSim.h"
#include "device/sim/SimConfig.h"

namespace quorel::sim {
namespace {

SimConfig MustParse(const std::string &text) {
  SimConfig c;
  std::string error;
  EXPECT_TRUE(ParseSimConfig(text, &c, &error)) << text << ": " << error;
  return c;
}

std::string MustFail(const std::string &text) {
  SimConfig c;
  c.fps = 99;  // sentinel: a failed parse leaves the target alone
  std::string error;
  EXPECT_FALSE(ParseSimConfig(text, &c, &error)) << text;
  EXPECT_EQ(c.fps, 99);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find('\n'), std::string::npos);
  return error;
}

TEST(SimConfig, DefaultsFromEmptyString) {
  SimConfig c = MustParse("");
  EXPECT_TRUE(c.units[0]);
  for (size_t i = 1; i < c.units.size(); ++i) EXPECT_FALSE(c.units[i]);
  EXPECT_EQ(c.fpsMode, FpsMode::kMax);
  EXPECT_EQ(c.scene.kind, SceneKind::kChart);
  EXPECT_EQ(c.triggerPeriodMs, 0);
}

TEST(SimConfig, AllKeys) {
  SimConfig c =
      MustParse(" units = 0,3 ,31; fps=25;scene=raw:/tmp/a.raw;seed=4294967295;noise=3;defects=12;trigger=40;");
  EXPECT_TRUE(c.units[0]);
  EXPECT_TRUE(c.units[3]);
  EXPECT_TRUE(c.units[31]);
  EXPECT_FALSE(c.units[1]);
  EXPECT_EQ(c.fpsMode, FpsMode::kFixed);
  EXPECT_EQ(c.fps, 25);
  EXPECT_EQ(c.scene.seed, 4294967295u);
  EXPECT_EQ(c.scene.noise, 3);
  EXPECT_EQ(c.scene.defects, 12);
  EXPECT_EQ(c.triggerPeriodMs, 40);
}

TEST(SimConfig, SceneForms) {
  EXPECT_EQ(MustParse("scene=counter").scene.kind, SceneKind::kCounter);
  SimConfig image = MustParse("scene=image:/pics/x:y.ppm");
  EXPECT_EQ(image.scene.kind, SceneKind::kImage);
  EXPECT_EQ(image.scene.file, "/pics/x:y.ppm");
  SimConfig raw = MustParse("scene=raw:frame.bin");
  EXPECT_EQ(raw.scene.kind, SceneKind::kRaw);
  EXPECT_EQ(raw.scene.file, "frame.bin");
  EXPECT_EQ(MustParse("fps=sensor").fpsMode, FpsMode::kSensor);
  // A later key wins.
  EXPECT_EQ(MustParse("scene=counter;scene=chart").scene.kind, SceneKind::kChart);
}

TEST(SimConfig, RefusalsNameTheProblem) {
  EXPECT_NE(MustFail("colour=red").find("colour"), std::string::npos);
  EXPECT_NE(MustFail("units=32").find("units"), std::string::npos);
  MustFail("units=");
  MustFail("units=0,,3");
  MustFail("units=-1");
  MustFail("units=1x");
  MustFail("fps=0");
  MustFail("fps=fast");
  MustFail("scene=image:");
  MustFail("scene=video");
  MustFail("seed=4294967296");
  MustFail("noise=-3");
  MustFail("trigger=1e3");
  MustFail("units");
  MustFail("=3");
}

TEST(SimConfig, HostileStringsGiveOnePrintableLine) {
  std::string nasty = "key\x01\n\x7f" + std::string(5000, 'A') + "=1";
  std::string error = MustFail(nasty);
  EXPECT_LT(error.size(), 200u);
  for (char ch : error) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << static_cast<int>(ch);
  MustFail(std::string("units=0\0;fps=1", 14));
}

TEST(SimConfig, RandomInputIsDeterministicAndNeverCrashes) {
  std::mt19937 rng(1234);
  const std::string alphabet = "units=fpscenchart:raw;0123456789,-= \t\xff";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t len = rng() % 40;
    for (size_t i = 0; i < len; ++i) text += alphabet[rng() % alphabet.size()];
    SimConfig a, b;
    std::string ea, eb;
    bool ra = ParseSimConfig(text, &a, &ea);
    bool rb = ParseSimConfig(text, &b, &eb);
    ASSERT_EQ(ra, rb);
    EXPECT_EQ(ea, eb);
    if (ra) {
      EXPECT_EQ(a.units, b.units);
      EXPECT_EQ(a.fps, b.fps);
      EXPECT_EQ(a.scene.file, b.scene.file);
    } else {
      EXPECT_FALSE(ea.empty());
    }
  }
}

TEST(SimConfig, EnableRefusesBadConfigurationAndAcceptsGoodOne) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(QuorelSim_Enable("units=0;bogus=1"), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("bogus"), std::string::npos);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  EXPECT_EQ(QuorelSim_Enable("units=0,3"), 1);
  EXPECT_EQ(QuorelSim_Enable(nullptr), 1);  // defaults
}

}  // namespace
}  // namespace quorel::sim
