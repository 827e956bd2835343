// The settings file and AVI repair through the offline file functions, as
// the command-line tool uses them: bad arguments are refused without touching
// any file, and what is written reads back.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QuorelFiles.h"
#include "output/AviWriter.h"
#include "support/TestEnvironment.h"

namespace {

const std::string kRoot = QUOREL_SETTINGS_ROOT_KEY;

bool Exists(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool operator==(const QuorelSizePreset &a, const QuorelSizePreset &b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(OfflineFiles, BadArgumentsAreRefusedAndWriteNothing) {
  const std::string registry = quorel::test::UseFreshRegistry();

  // The path: asked for its size, refused for bad buffers, never overrun.
  const int needed = QuorelFiles_GetSettingsPath(nullptr, 0);
  ASSERT_EQ(needed, static_cast<int>(registry.size()) + 1);
  EXPECT_EQ(QuorelFiles_GetSettingsPath(nullptr, 8), QUOREL_FILES_INVALID);
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(QuorelFiles_GetSettingsPath(small, -1), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_GetSettingsPath(small, 4), needed);
  EXPECT_EQ(small[0], '\0');
  EXPECT_EQ(small[4], 'x');
  std::vector<char> exact(static_cast<size_t>(needed), 'x');
  EXPECT_EQ(QuorelFiles_GetSettingsPath(exact.data(), needed), needed);
  EXPECT_EQ(std::string(exact.data()), registry);

  // Keys outside the settings root, NULL pointers, empty names, bad counts.
  const std::string gain = kRoot + "\\Camera_00\\Gain";
  int32_t value = 77;
  EXPECT_EQ(QuorelFiles_KeyExists(nullptr), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_KeyExists("Software\\Other"), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_KeyExists((kRoot + "Extra").c_str()), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_KeyExists((kRoot + "\\").c_str()), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_KeyExists(kRoot.c_str()), 0);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "Global", nullptr), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), nullptr, &value), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "Global", &value), 0);
  EXPECT_EQ(value, 77);
  const QuorelDwordValue good = {"Global", 1};
  const QuorelDwordValue unnamed[] = {{"Global", 1}, {nullptr, 2}};
  const QuorelDwordValue empty = {"", 3};
  EXPECT_EQ(QuorelFiles_WriteDwords(nullptr, &good, 1, nullptr, 0), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_WriteDwords("Software\\Other", &good, 1, nullptr, 0), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_WriteDwords(gain.c_str(), nullptr, 1, nullptr, 0), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_WriteDwords(gain.c_str(), &good, -1, nullptr, 0), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_WriteDwords(gain.c_str(), unnamed, 2, nullptr, 0), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_WriteDwords(gain.c_str(), &good, 1, &empty, 1), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_WriteDwords(gain.c_str(), &good, 1, nullptr, 1), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_EnsureFirstRunEntries(-1), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_EnsureFirstRunEntries(32), QUOREL_FILES_INVALID);
  QuorelSizePreset presets[2] = {};
  EXPECT_EQ(QuorelFiles_ReadRootPresets(nullptr, 1), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_ReadRootPresets(presets, -1), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_ReadRootPresets(presets, 2), 0);
  EXPECT_EQ(QuorelFiles_AddRootPreset(nullptr), QUOREL_FILES_INVALID);
  const QuorelSizePreset zeroWidth = {3488, 2616, 0, 480, 0, 0, 4};
  const QuorelSizePreset offSensor = {3488, 2616, 640, 480, 2849, 0, 4};
  EXPECT_EQ(QuorelFiles_AddRootPreset(&zeroWidth), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_AddRootPreset(&offSensor), QUOREL_FILES_INVALID);
  EXPECT_FALSE(Exists(registry)) << "a refused call wrote the settings file";

  // A settings path that is a folder cannot be opened for a write.
  const std::string folder = quorel::test::ScratchPath("folder.reg");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(setenv("QUOREL_REGISTRY", folder.c_str(), 1), 0);
  EXPECT_EQ(QuorelFiles_WriteDwords(gain.c_str(), &good, 1, nullptr, 0), QUOREL_FILES_UNAVAILABLE);
  EXPECT_EQ(QuorelFiles_EnsureFirstRunEntries(0), 0);
  quorel::test::UseFreshRegistry();
}

TEST(OfflineFiles, WrittenValuesAndPresetsReadBack) {
  quorel::test::UseFreshRegistry();
  const std::string camera = kRoot + "\\Camera_03";
  ASSERT_EQ(QuorelFiles_EnsureFirstRunEntries(3), 1);
  int32_t value = 0;
  EXPECT_EQ(QuorelFiles_ReadDword(camera.c_str(), "Color", &value), 1);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(QuorelFiles_KeyExists((camera + "\\Size_00").c_str()), 1);
  EXPECT_EQ(QuorelFiles_EnsureFirstRunEntries(3), 1) << "a second call finds them";

  // A new key gets the initial values first; the values given win.
  const std::string gain = camera + "\\Gain";
  const QuorelDwordValue initial[] = {{"Global", 32}, {"Exposure", 1970}};
  const QuorelDwordValue exposure = {"Exposure", 1000};
  ASSERT_EQ(QuorelFiles_WriteDwords(gain.c_str(), &exposure, 1, initial, 2), 1);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "exposure", &value), 1);
  EXPECT_EQ(value, 1000);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "Global", &value), 1);
  EXPECT_EQ(value, 32);
  // An existing key keeps what it holds; several values go in one write.
  const QuorelDwordValue other[] = {{"Global", 7}};
  const QuorelDwordValue two[] = {{"ColorR", -5}, {"ColorB", 9}};
  ASSERT_EQ(QuorelFiles_WriteDwords(gain.c_str(), two, 2, other, 1), 1);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "Global", &value), 1);
  EXPECT_EQ(value, 32);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "ColorR", &value), 1);
  EXPECT_EQ(value, -5);
  EXPECT_EQ(QuorelFiles_ReadDword(gain.c_str(), "ColorB", &value), 1);
  EXPECT_EQ(value, 9);

  // Root presets: a short array gets the first ones and the full count.
  const QuorelSizePreset first = {3488, 2616, 640, 480, 16, 8, 4};
  const QuorelSizePreset second = {3488, 2616, 3488, 2616, 0, 0, 2};
  ASSERT_EQ(QuorelFiles_AddRootPreset(&first), 1);
  ASSERT_EQ(QuorelFiles_AddRootPreset(&second), 1);
  const QuorelSizePreset untouched = {1, 2, 3, 4, 5, 6, 7};
  QuorelSizePreset read[3] = {untouched, untouched, untouched};
  EXPECT_EQ(QuorelFiles_ReadRootPresets(read, 1), 2);
  EXPECT_TRUE(read[0] == first);
  EXPECT_TRUE(read[1] == untouched);
  EXPECT_EQ(QuorelFiles_ReadRootPresets(read, 3), 2);
  EXPECT_TRUE(read[1] == second);
  EXPECT_TRUE(read[2] == untouched);
}

TEST(OfflineFiles, RepairFillsTheRecordOrSaysWhyAndLeavesOtherFilesAlone) {
  QuorelAviRepairInfo info = {};
  info.size = sizeof info;
  char why[16] = "";
  const std::string missing = quorel::test::ScratchPath("missing.avi");
  EXPECT_EQ(QuorelFiles_RepairAvi(nullptr, &info, why, sizeof why), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_RepairAvi(missing.c_str(), nullptr, why, sizeof why), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_RepairAvi(missing.c_str(), &info, nullptr, 4), QUOREL_FILES_INVALID);
  EXPECT_EQ(QuorelFiles_RepairAvi(missing.c_str(), &info, why, -1), QUOREL_FILES_INVALID);
  QuorelAviRepairInfo shortRecord = {};
  shortRecord.size = sizeof(uint32_t);
  EXPECT_EQ(QuorelFiles_RepairAvi(missing.c_str(), &shortRecord, why, sizeof why), QUOREL_FILES_INVALID);

  // The reason is cut to the buffer and terminated.
  std::memset(why, 'x', sizeof why);
  EXPECT_EQ(QuorelFiles_RepairAvi(missing.c_str(), &info, why, 8), 0);
  EXPECT_EQ(std::strlen(why), 7u);
  EXPECT_EQ(why[8], 'x');
  EXPECT_EQ(QuorelFiles_RepairAvi(missing.c_str(), &info, nullptr, 0), 0);
  EXPECT_FALSE(Exists(missing));

  const std::string text = quorel::test::ScratchPath("text.avi");
  std::ofstream(text) << std::string(400, 'z');
  EXPECT_EQ(QuorelFiles_RepairAvi(text.c_str(), &info, why, sizeof why), 0);
  EXPECT_NE(why[0], '\0');
  EXPECT_EQ(ReadAll(text), std::string(400, 'z'));

  // An unfinished recording of three frames.
  const std::string clip = quorel::test::ScratchPath("unfinished.avi");
  {
    quorel::AviWriter avi;
    avi.SetFrameSize(8, 2);
    avi.SetFrameRate(25);
    ASSERT_EQ(avi.Create(clip.c_str()), 1);
    const std::vector<uint8_t> frame(8 * 3 * 2, 0x5A);
    for (int f = 0; f < 3; ++f) ASSERT_EQ(avi.WriteFrame(frame.data()), 0);
  }  // destroyed without Finish, as by a crash
  ASSERT_EQ(QuorelFiles_RepairAvi(clip.c_str(), &info, why, sizeof why), 1) << why;
  EXPECT_EQ(info.size, sizeof info);
  EXPECT_EQ(info.frames, 3u);
  EXPECT_GT(info.rateHundredths, 0u);
  EXPECT_TRUE(info.rateFromDuration == 0 || info.rateFromDuration == 1);
  EXPECT_EQ(why[0], '\0');
}

}  // namespace
