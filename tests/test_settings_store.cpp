// The camera's settings groups in the registry store: first run, defaults for
// missing keys and values, and what each save writes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/RegistryFile.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

const std::string kRoot = "Software\\Velmor\\Quorel470KXPLUSdk";

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Writes values straight into the store, as a user editing the file would.
void Put(const std::string &key, std::initializer_list<std::pair<const char *, int32_t>> values) {
  RegistryTransaction tx;
  ASSERT_TRUE(tx.CreateKey(key));
  for (const auto &[name, value] : values) ASSERT_TRUE(tx.SetDword(key, name, value));
  ASSERT_TRUE(tx.Commit());
}

std::optional<int32_t> Get(const std::string &key, const char *name) {
  return RegistrySnapshot().QueryDword(key, name);
}

CaptureGeometry Sentinel() {
  return CaptureGeometry{11, 12, 13, 14, 15, 16, 17};
}

void ExpectGeometry(const CaptureGeometry &g, const CaptureGeometry &want) {
  EXPECT_EQ(g.horizontalTotal, want.horizontalTotal);
  EXPECT_EQ(g.verticalTotal, want.verticalTotal);
  EXPECT_EQ(g.width, want.width);
  EXPECT_EQ(g.height, want.height);
  EXPECT_EQ(g.horizontalStart, want.horizontalStart);
  EXPECT_EQ(g.verticalStart, want.verticalStart);
  EXPECT_EQ(g.presetBuffer, want.presetBuffer);
}

class SettingsStoreTest : public testing::Test {
 protected:
  void SetUp() override { path_ = test::UseFreshRegistry(); }
  std::string path_;
};

TEST_F(SettingsStoreTest, FirstRunWritesDefaultsAndLeavesTheCameraOnItsOwn) {
  CaptureGeometry g = Sentinel();
  EXPECT_EQ(LoadSizePreset(0, g), 0);
  ExpectGeometry(g, Sentinel());

  const std::string camera = kRoot + "\\Camera_00";
  EXPECT_EQ(Get(camera, "Size"), 0);
  EXPECT_EQ(Get(camera, "Color"), 2);
  EXPECT_EQ(Get(camera, "SubSample"), 0);
  EXPECT_EQ(Get(camera, "WaitTime"), 1);
  EXPECT_EQ(Get(camera, "Clock"), 2);
  const std::string preset = camera + "\\Size_00";
  EXPECT_EQ(Get(preset, "TH"), 3488);
  EXPECT_EQ(Get(preset, "TV"), 2616);
  EXPECT_EQ(Get(preset, "EH"), 3488);
  EXPECT_EQ(Get(preset, "EV"), 2616);
  EXPECT_EQ(Get(preset, "EHS"), 0);
  EXPECT_EQ(Get(preset, "EVS"), 0);
  EXPECT_EQ(Get(preset, "Buf"), 4);

  // The rest of the same initialisation.
  FormatValues f;
  EXPECT_EQ(LoadFormatValues(0, f), 1);
  EXPECT_EQ(f.colorMode, 2);
  EXPECT_EQ(f.subSample, 0);
  EXPECT_EQ(f.waitTime, 1);
  EXPECT_EQ(f.halfClock, 2);

  int defaultsCalls = 0;
  AnalogBlock a;
  EXPECT_EQ(LoadGainGroup(0, a,
                          [&] {
                            ++defaultsCalls;
                            AnalogBlock d{32, 32, 32, 32, 32, 1970, 1, 0, 0};
                            return d;
                          }),
            1);
  EXPECT_EQ(defaultsCalls, 1);
  EXPECT_EQ(a.exposure, 1970);
  EXPECT_EQ(a.mirrorV, 1);

  FilterBlock b{};
  b.fill(-7);
  EXPECT_EQ(LoadFilterGroup(0, b), 0);
  EXPECT_EQ(LoadGrayGroup(0, b), 0);
  const FilterBlock want = {0,   0, 0, 0, 0, 100, 100, 100, 100, 3, -7, 0, 128, 128, 128,
                            128, 0, 0, 0, 0, 0,   0,   0,   0,   0, 0,  0, 0,   0,   -7};
  EXPECT_EQ(b, want);

  // The next run finds the preset.
  g = Sentinel();
  EXPECT_EQ(LoadSizePreset(0, g), 1);
  ExpectGeometry(g, CaptureGeometry{});
}

TEST_F(SettingsStoreTest, MissingCameraKeyOrPresetLeavesGeometry) {
  Put(kRoot + "\\Camera_00", {{"Size", 5}});
  const std::string before = ReadText(path_);
  CaptureGeometry g = Sentinel();
  // Another device number under an existing root: no first run, nothing written.
  EXPECT_EQ(LoadSizePreset(3, g), 0);
  EXPECT_EQ(ReadText(path_), before);
  // "Size" names a preset that does not exist.
  EXPECT_EQ(LoadSizePreset(0, g), 0);
  ExpectGeometry(g, Sentinel());
  // A preset with values missing fills only what it has.
  Put(kRoot + "\\Camera_00\\Size_05", {{"EH", 640}, {"EV", 480}});
  EXPECT_EQ(LoadSizePreset(0, g), 1);
  ExpectGeometry(g, CaptureGeometry{11, 12, 640, 480, 15, 16, 17});
}

TEST_F(SettingsStoreTest, FormatValuesAreNotRangeChecked) {
  FormatValues f;
  EXPECT_EQ(LoadFormatValues(0, f), 0);
  EXPECT_EQ(f.waitTime, 10);
  Put(kRoot + "\\Camera_00", {{"Color", 77}, {"Clock", -1}});
  EXPECT_EQ(LoadFormatValues(0, f), 1);
  EXPECT_EQ(f.colorMode, 77);
  EXPECT_EQ(f.halfClock, -1);
  EXPECT_EQ(f.subSample, 0);  // missing: unchanged
  EXPECT_EQ(f.waitTime, 10);
}

TEST_F(SettingsStoreTest, GainGroupCarriesTheLastValueReadIntoMissingOnes) {
  Put(kRoot + "\\Camera_00\\Gain", {{"Global", 50}});
  AnalogBlock a{1, 2, 3, 4, 5, 6, 7, 8, 9};
  bool defaultsUsed = false;
  EXPECT_EQ(LoadGainGroup(0, a,
                          [&] {
                            defaultsUsed = true;
                            return AnalogBlock{};
                          }),
            1);
  EXPECT_FALSE(defaultsUsed);
  EXPECT_EQ(a.globalGain, 50);
  EXPECT_EQ(a.colorGainGreen1, 50);
  EXPECT_EQ(a.exposure, 50);
  EXPECT_EQ(a.autoIris, 50);

  // A gap in the middle repeats the value before it; "Global" missing gives 0.
  Put(kRoot + "\\Camera_01\\Gain", {{"ColorR", 40}, {"V_Mirror", 1}});
  EXPECT_EQ(LoadGainGroup(1, a, nullptr), 1);
  const AnalogBlock want{0, 0, 40, 40, 40, 40, 1, 1, 1};
  EXPECT_EQ(std::memcmp(&a, &want, sizeof a), 0);

  // Without a key and without a device, the built-in defaults apply.
  EXPECT_EQ(LoadGainGroup(2, a, nullptr), 1);
  EXPECT_EQ(a.globalGain, 32);
  EXPECT_EQ(a.exposure, 1970);
}

TEST_F(SettingsStoreTest, GroupsRoundTripUnderTheirOwnDeviceNumber) {
  const AnalogBlock gains{10, 20, 30, 40, 50, 16383, 1, 0, 2};
  FilterBlock block{};
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int32_t>(i) * 3 - 20;
  ASSERT_EQ(SaveGainGroup(12, gains), 1);
  ASSERT_EQ(SaveFilterGroup(12, block), 1);
  ASSERT_EQ(SaveGrayGroup(12, block), 1);

  const std::string text = ReadText(path_);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Velmor\\Quorel470KXPLUSdk\\Camera_12\\Gain]"), std::string::npos);
  EXPECT_NE(text.find("\"V_Mirror\"=dword:00000001"), std::string::npos);
  EXPECT_NE(text.find("\"Brightness\"=dword:ffffffec"), std::string::npos);
  EXPECT_EQ(text.find("Camera_00"), std::string::npos);

  AnalogBlock a;
  EXPECT_EQ(LoadGainGroup(12, a, nullptr), 1);
  EXPECT_EQ(std::memcmp(&a, &gains, sizeof a), 0);
  FilterBlock loaded{};
  loaded.fill(99);
  EXPECT_EQ(LoadFilterGroup(12, loaded), 1);
  EXPECT_EQ(LoadGrayGroup(12, loaded), 1);
  for (size_t i = 0; i < loaded.size(); ++i) {
    const bool stored = i <= 9 || (i >= 11 && i <= 19);
    EXPECT_EQ(loaded[i], stored ? block[i] : 99) << "entry " << i;
  }
}

TEST_F(SettingsStoreTest, MissingFilterKeyResetsFilterDefaultsAndWhiteBalanceState) {
  Put(kRoot + "\\Camera_00\\Gray", {{"Mode", 2}});
  FilterBlock b;
  b.fill(5);
  EXPECT_EQ(LoadFilterGroup(0, b), 0);
  const FilterBlock want = {0, 0, 0, 0, 0, 100, 100, 100, 100, 3, 5, 5, 5, 5, 5,
                            5, 5, 5, 5, 5, 0,   0,   0,   0,   0, 0, 0, 0, 0, 5};
  EXPECT_EQ(b, want);
  // The gray key exists: values present are read, missing ones stay.
  EXPECT_EQ(LoadGrayGroup(0, b), 1);
  EXPECT_EQ(b[kGrayMode], 2);
  EXPECT_EQ(b[kGrayGainR], 5);
}

TEST_F(SettingsStoreTest, GraySaveWithoutCameraKeyWritesNothing) {
  FilterBlock b{};
  EXPECT_EQ(SaveGrayGroup(0, b), 0);
  EXPECT_FALSE(std::filesystem::exists(path_));

  ASSERT_EQ(SaveGainGroup(0, AnalogBlock{}), 1);
  const std::string before = ReadText(path_);
  EXPECT_EQ(SaveGrayGroup(4, b), 0);
  EXPECT_EQ(ReadText(path_), before);
  // With the camera key present the gray save creates its own key.
  EXPECT_EQ(SaveGrayGroup(0, b), 1);
  EXPECT_EQ(Get(kRoot + "\\Camera_00\\Gray", "GainB1"), 0);
}

TEST_F(SettingsStoreTest, DeviceSwitchKeepsEachNumbersGroups) {
  AnalogBlock first{1, 1, 1, 1, 1, 100, 0, 0, 0};
  AnalogBlock second{2, 2, 2, 2, 2, 200, 1, 1, 1};
  FilterBlock fb{};
  ASSERT_EQ(SaveGainGroup(0, first), 1);
  ASSERT_EQ(SaveFilterGroup(0, fb), 1);
  ASSERT_EQ(SaveGrayGroup(0, fb), 1);
  ASSERT_EQ(SaveGainGroup(1, second), 1);
  AnalogBlock a;
  ASSERT_EQ(LoadGainGroup(0, a, nullptr), 1);
  EXPECT_EQ(a.exposure, 100);
  ASSERT_EQ(LoadGainGroup(1, a, nullptr), 1);
  EXPECT_EQ(a.exposure, 200);
  EXPECT_EQ(a.autoIris, 1);
}

TEST_F(SettingsStoreTest, CameraDialogTableSavesOnlyItsPresetsAndReadsUpToAGap) {
  CameraDialogTable t;
  EXPECT_EQ(LoadCameraDialogTable(0, t), 0);
  for (int i = 0; i < 5; ++i)
    t.presets[static_cast<size_t>(i)] = CaptureGeometry{3488, 2616, 100 * (i + 1), 80, i, i, 4};
  t.presetCount = 5;
  t.size = 3;
  t.color = 5;
  t.subSample = 17;
  t.waitTime = 25;
  t.clock = 1;
  ASSERT_EQ(SaveCameraDialogTable(0, t), 1);
  // A shorter table leaves the presets beyond it in place.
  t.presets[0].width = 999;
  t.presetCount = 2;
  ASSERT_EQ(SaveCameraDialogTable(0, t), 1);

  CameraDialogTable back;
  ASSERT_EQ(LoadCameraDialogTable(0, back), 1);
  EXPECT_EQ(back.presetCount, 5);
  EXPECT_EQ(back.presets[0].width, 999);
  EXPECT_EQ(back.presets[4].width, 500);
  EXPECT_EQ(back.presets[4].horizontalStart, 4);
  EXPECT_EQ(back.size, 3);
  EXPECT_EQ(back.color, 5);
  EXPECT_EQ(back.subSample, 17);
  EXPECT_EQ(back.waitTime, 25);
  EXPECT_EQ(back.clock, 1);

  // The camera picks up the dialog's choice.
  CaptureGeometry g;
  ASSERT_EQ(LoadSizePreset(0, g), 1);
  EXPECT_EQ(g.width, 400);

  // A count beyond the table is held to it.
  t.presetCount = 100000;
  ASSERT_EQ(SaveCameraDialogTable(0, t), 1);
  ASSERT_EQ(LoadCameraDialogTable(0, back), 1);
  EXPECT_EQ(back.presetCount, 100);
}

TEST_F(SettingsStoreTest, RootPresetsAppendAndReadInOrder) {
  std::vector<CaptureGeometry> presets(3);
  EXPECT_EQ(ReadRootPresets(presets), 0);
  EXPECT_EQ(presets.size(), 3u);

  ASSERT_EQ(AddRootPreset(CaptureGeometry{3488, 2616, 640, 480, 0, 0, 4}), 1);
  ASSERT_EQ(AddRootPreset(CaptureGeometry{3488, 2616, 1920, 1080, 8, 8, 4}), 1);
  // A camera's presets are not root presets.
  Put(kRoot + "\\Camera_00\\Size_00", {{"EH", 1}});
  ASSERT_EQ(ReadRootPresets(presets), 1);
  ASSERT_EQ(presets.size(), 2u);
  EXPECT_EQ(presets[0].width, 640);
  EXPECT_EQ(presets[1].height, 1080);
  EXPECT_EQ(presets[1].horizontalStart, 8);

  // Numbering has no gaps: a reader stops at the first missing number, and
  // the next preset fills that gap.
  Put(kRoot + "\\Size_03", {{"EH", 7}});
  ASSERT_EQ(ReadRootPresets(presets), 1);
  EXPECT_EQ(presets.size(), 2u);
  ASSERT_EQ(AddRootPreset(CaptureGeometry{}), 1);
  ASSERT_EQ(ReadRootPresets(presets), 1);
  EXPECT_EQ(presets.size(), 4u);
  EXPECT_EQ(presets[3].width, 7);
  EXPECT_EQ(presets[3].height, 2616);  // missing value: full-sensor default

  for (int i = 4; i < 100; ++i) ASSERT_EQ(AddRootPreset(CaptureGeometry{}), 1);
  EXPECT_EQ(AddRootPreset(CaptureGeometry{}), 0);
  ASSERT_EQ(ReadRootPresets(presets), 1);
  EXPECT_EQ(presets.size(), 100u);
}

}  // namespace
}  // namespace quorel
