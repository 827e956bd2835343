// The dialog logic on its headless control model, driven by the scripted
// driver: the camera dialog on the real settings store, the filter dialog on
// a filter block, the analog dialog on a recording sensor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dialogs/CAnalogDlg.h"
#include "dialogs/CCameraDlg.h"
#include "dialogs/CImageFilterDlg.h"
#include "dialogs/DialogIds.h"
#include "dialogs/DialogTemplates.h"
#include "dialogs/ScriptedDialogDriver.h"
#include "platform/RegistryFile.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace quorel {
namespace {

using namespace dialog_id;
using Driver = ScriptedDialogDriver;

const std::string kCamera00 = "Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00";

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::optional<int32_t> Get(const std::string &key, const char *name) {
  return RegistrySnapshot().QueryDword(key, name);
}

// Runs one dialog session under the driver and returns its result.
int RunDialog(DialogSession &session, Driver::Script script) {
  Driver driver(std::move(script));
  return driver.Run(session, nullptr);
}

int RunCameraDialog(Driver::Script script, DialogLanguage language = DialogLanguage::kEnglish) {
  auto dialog = CCameraDlg::TryCreate(0, language);
  EXPECT_NE(dialog, nullptr);
  return dialog == nullptr ? 0 : RunDialog(*dialog, std::move(script));
}

class CameraDialogModel : public testing::Test {
 protected:
  void SetUp() override { registry_ = test::UseFreshRegistry(); }
  std::string registry_;
};

TEST_F(CameraDialogModel, EmptyRegistryThenCustomPresetByApplyThenCancel) {
  const int result = RunCameraDialog([](Driver &d) {
    // Nothing stored: only the custom entry, and the dialog's own defaults.
    EXPECT_EQ(d.Items(kSizeList), std::vector<std::string>{"Custom"});
    EXPECT_EQ(d.SelectedText(kSizeList), "Custom");
    EXPECT_EQ(d.SelectedText(kColorList), "Color 24bit");
    EXPECT_EQ(d.SelectedText(kClockList), "High(48MHz)");
    EXPECT_EQ(d.SelectedText(kSubSampleList), "1/1");
    EXPECT_EQ(d.Text(kWaitTime), "1");
    EXPECT_EQ(d.Text(kHEffective), "3488");
    EXPECT_EQ(d.Items(kTab), std::vector<std::string>{"Stream Format"});
    EXPECT_FALSE(d.Enabled(kApply));
    EXPECT_FALSE(d.Type(kHTotal, "5")) << "the totals are read-only";

    EXPECT_TRUE(d.Type(kHEffective, "1000"));
    EXPECT_TRUE(d.Enabled(kApply));
    d.Type(kVEffective, "800");
    d.Type(kHStart, "100");
    d.Type(kVStart, "100");
    d.Type(kWaitTime, "twenty");  // not a number: 0
    EXPECT_TRUE(d.Click(kApply));
    EXPECT_EQ(d.Items(kSizeList), (std::vector<std::string>{"1000 x 800", "Custom"}));
    EXPECT_EQ(d.SelectedText(kSizeList), "1000 x 800");
    EXPECT_FALSE(d.Enabled(kApply));

    // Changed after the Apply, then cancelled: not saved.
    EXPECT_TRUE(d.SelectText(kSubSampleList, "1/4 Bin"));
    EXPECT_TRUE(d.Enabled(kApply));
    d.Click(kCancel);
  });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(Get(kCamera00 + "\\Size_00", "EH"), 1000);
  EXPECT_EQ(Get(kCamera00 + "\\Size_00", "EV"), 800);
  EXPECT_EQ(Get(kCamera00 + "\\Size_00", "EHS"), 100);
  EXPECT_EQ(Get(kCamera00 + "\\Size_00", "EVS"), 100);
  EXPECT_EQ(Get(kCamera00 + "\\Size_00", "Buf"), 4);
  EXPECT_EQ(Get(kCamera00, "Size"), 0);
  EXPECT_EQ(Get(kCamera00, "SubSample"), 0);
  EXPECT_EQ(Get(kCamera00, "WaitTime"), 0);
  EXPECT_EQ(Get(kCamera00, "Color"), 2);
  EXPECT_EQ(Get(kCamera00, "Clock"), 2);
}

TEST_F(CameraDialogModel, PresetsSubSamplingCodesAndReplacingAPreset) {
  CameraDialogTable table;
  table.presetCount = 2;
  table.presets[1] = CaptureGeometry{3488, 2616, 1920, 1080, 8, 4, 6};
  table.size = 1;
  table.color = 0;
  table.subSample = 3;  // not a code the list knows
  table.waitTime = 25;
  table.clock = 1;
  ASSERT_EQ(SaveCameraDialogTable(0, table), 1);

  RunCameraDialog([](Driver &d) {
    EXPECT_EQ(d.Items(kSizeList), (std::vector<std::string>{"3488 x 2616", "1920 x 1080", "Custom"}));
    EXPECT_EQ(d.Selection(kSizeList), 1);
    EXPECT_EQ(d.Text(kHStart), "8");
    EXPECT_EQ(d.SelectedText(kSubSampleList), "1/1");
    EXPECT_EQ(d.SelectedText(kColorList), "Monochrome 8bit");
    EXPECT_EQ(d.SelectedText(kClockList), "Half(12MHz)");
    EXPECT_EQ(d.Text(kWaitTime), "25");
    // Choosing a preset shows its values; the custom entry keeps them.
    d.Select(kSizeList, 0);
    EXPECT_EQ(d.Text(kHEffective), "3488");
    d.SelectText(kSizeList, "Custom");
    EXPECT_EQ(d.Text(kHEffective), "3488");
    // Edit the second preset in place, with 1/4 binning.
    d.Select(kSizeList, 1);
    d.Type(kHEffective, "1280");
    d.Type(kVEffective, "720");
    d.SelectText(kSubSampleList, "1/4 Bin");
    d.Click(kOk);
    EXPECT_TRUE(d.Session().Ended());
  });
  EXPECT_EQ(Get(kCamera00, "SubSample"), 18);
  EXPECT_EQ(Get(kCamera00, "Size"), 1);
  EXPECT_EQ(Get(kCamera00 + "\\Size_01", "EH"), 1280);
  EXPECT_EQ(Get(kCamera00 + "\\Size_01", "Buf"), 6);
  EXPECT_FALSE(Get(kCamera00 + "\\Size_02", "EH").has_value());

  // A custom size becomes the third preset, Size_02.
  RunCameraDialog([](Driver &d) {
    EXPECT_EQ(d.SelectedText(kSubSampleList), "1/4 Bin");
    EXPECT_EQ(d.SelectedText(kSizeList), "1280 x 720");
    d.SelectText(kSizeList, "Custom");
    d.Type(kHEffective, "640");
    d.Type(kVEffective, "480");
    d.Click(kOk);
  });
  EXPECT_EQ(Get(kCamera00, "Size"), 2);
  EXPECT_EQ(Get(kCamera00 + "\\Size_02", "EV"), 480);
  EXPECT_EQ(Get(kCamera00 + "\\Size_02", "Buf"), 4);
}

TEST_F(CameraDialogModel, TheHundredAndFirstCustomPresetIsRefused) {
  CameraDialogTable table;
  table.presetCount = kMaxSizePresets;
  table.color = 2;
  table.clock = 2;
  table.waitTime = 1;
  ASSERT_EQ(SaveCameraDialogTable(0, table), 1);
  const std::string before = ReadText(registry_);

  const int result = RunCameraDialog([](Driver &d) {
    ASSERT_EQ(d.Items(kSizeList).size(), 101u);
    d.SelectText(kSizeList, "Custom");
    d.Type(kHEffective, "1000");
    d.Click(kApply);
    EXPECT_EQ(d.Items(kSizeList).size(), 101u);
    EXPECT_TRUE(d.Enabled(kApply));
    d.Click(kOk);
    EXPECT_FALSE(d.Session().Ended()) << "OK with a refused size keeps the dialog open";
    d.Click(kCancel);
  });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(ReadText(registry_), before);
}

TEST_F(CameraDialogModel, OneCameraDialogPerProcess) {
  auto first = CCameraDlg::TryCreate(0, DialogLanguage::kEnglish);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CCameraDlg::TryCreate(1, DialogLanguage::kEnglish), nullptr);
  first.reset();
  EXPECT_NE(CCameraDlg::TryCreate(1, DialogLanguage::kEnglish), nullptr);
}

// Sets or clears one locale variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value) : name_(name) {
    if (const char *old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_.has_value()) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char *name_;
  std::optional<std::string> old_;
};

TEST_F(CameraDialogModel, JapaneseTextsFollowTheLocale) {
  {
    ScopedEnv all("LC_ALL", "ja_JP.UTF-8");
    EXPECT_EQ(CurrentDialogLanguage(), DialogLanguage::kJapanese);
  }
  {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", "ja_JP.eucJP");
    EXPECT_EQ(CurrentDialogLanguage(), DialogLanguage::kJapanese);
    ScopedEnv all2("LC_ALL", "C.UTF-8");  // LC_ALL comes first
    EXPECT_EQ(CurrentDialogLanguage(), DialogLanguage::kEnglish);
  }
  RunCameraDialog(
      [](Driver &d) {
        EXPECT_EQ(d.Items(kColorList)[1], "白黒 12bit ※");
        EXPECT_EQ(d.Items(kClockList)[2], "高速(48MHz)");
        EXPECT_EQ(d.Items(kSizeList).back(), "カスタム");
        EXPECT_EQ(d.Items(kTab)[0], "ストリーム形式");
        EXPECT_EQ(d.Text(kCancel), "キャンセル");
        d.Click(kOk);
      },
      DialogLanguage::kJapanese);
  RunCameraDialog([](Driver &d) {
    EXPECT_EQ(d.Items(kColorList)[1], "Monochrome 10bit *");
    EXPECT_EQ(d.Items(kClockList)[2], "High(48MHz)");
    d.Click(kOk);
  });
  // Same identifiers in both languages, every one of them labelled.
  const DialogTemplate *pairs[][2] = {
      {&CameraDialogTemplate(DialogLanguage::kEnglish), &CameraDialogTemplate(DialogLanguage::kJapanese)},
      {&ImagePageTemplate(DialogLanguage::kEnglish), &ImagePageTemplate(DialogLanguage::kJapanese)},
      {&GrayPageTemplate(DialogLanguage::kEnglish), &GrayPageTemplate(DialogLanguage::kJapanese)},
      {&AnalogPageTemplate(DialogLanguage::kEnglish), &AnalogPageTemplate(DialogLanguage::kJapanese)},
      {&FilterFrameTemplate(DialogLanguage::kEnglish), &FilterFrameTemplate(DialogLanguage::kJapanese)},
  };
  for (const auto &pair : pairs) {
    ASSERT_EQ(pair[0]->controls.size(), pair[1]->controls.size());
    EXPECT_NE(pair[0]->resourceId, pair[1]->resourceId);
    for (size_t i = 0; i < pair[0]->controls.size(); ++i) {
      EXPECT_EQ(pair[0]->controls[i].id, pair[1]->controls[i].id);
      if (pair[0]->controls[i].kind == ControlKind::kStatic && pair[0]->controls[i].id == kNoControlId) {
        EXPECT_FALSE(pair[1]->controls[i].text.empty());
      }
    }
  }
}

// ---------------------------------------------------------------------------

FilterBlock DefaultFilterBlock() {
  FilterBlock block{};
  for (int entry = kBayerGainRed; entry <= kGamma; ++entry) block[entry] = 100;
  block[kBayerMode] = 3;
  for (int entry = kGrayGainR; entry <= kGrayGainB; ++entry) block[entry] = 128;
  return block;
}

TEST(ImageFilterDialogModel, ColourModesChooseTabsAndEnabledControls) {
  FilterBlock block = DefaultFilterBlock();
  auto colour = CImageFilterDlg::TryCreate(block, 2, DialogLanguage::kEnglish);
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(CImageFilterDlg::TryCreate(block, 2, DialogLanguage::kEnglish), nullptr);
  RunDialog(*colour, [](Driver &d) {
    EXPECT_EQ(d.Items(kTab), std::vector<std::string>{"Image Filter"});
    for (int id : {2001, 2022, 2034, 2051, 2073, 2081, kOnce, kAllFrames, kBayerMode0 + 2}) {
      EXPECT_TRUE(d.Enabled(id)) << id;
    }
    EXPECT_TRUE(d.Checked(kBayerMode0 + 3));
    EXPECT_EQ(d.Text(kOk), "OK");
    d.Click(kOk);
  });
  colour.reset();

  auto gray = CImageFilterDlg::TryCreate(block, 0, DialogLanguage::kEnglish);
  ASSERT_NE(gray, nullptr);
  RunDialog(*gray, [](Driver &d) {
    EXPECT_EQ(d.Items(kTab), (std::vector<std::string>{"Image Filter", "Gray Filter"}));
    EXPECT_TRUE(d.Page(0).IsShown());
    EXPECT_FALSE(d.Page(1).IsShown());
    // Only brightness, contrast, sharpness and gamma stay usable.
    for (int id : {2001, 2002, 2004, 2011, 2041, 2081, 2082}) EXPECT_TRUE(d.Enabled(id)) << id;
    for (int id : {2021, 2022, 2024, 2031, 2051, 2061, 2063, 2071, 2072, kOnce, kAllFrames, kBayerMode0}) {
      EXPECT_FALSE(d.Enabled(id)) << id;
    }
    EXPECT_FALSE(d.MoveTrackbar(2021, 10));
    EXPECT_TRUE(d.SelectTab(1));
    EXPECT_FALSE(d.Page(0).IsShown());
    EXPECT_TRUE(d.Page(1).IsShown());
    EXPECT_TRUE(d.Enabled(kOnce)) << "the gray page's own button";
    EXPECT_TRUE(d.Checked(kGrayModeBayer));
    d.Click(kCancel);
  });
}

TEST(ImageFilterDialogModel, LiveEditingDefaultAndAutomaticRequests) {
  FilterBlock block = DefaultFilterBlock();
  block[kContrast] = 5;
  block[kGrayAutoGain] = 0;
  auto dialog = CImageFilterDlg::TryCreate(block, 1, DialogLanguage::kEnglish);
  ASSERT_NE(dialog, nullptr);
  const int result = RunDialog(*dialog, [&block](Driver &d) {
    // Trackbar: edit and block follow.
    d.MoveTrackbar(2001, 100);
    EXPECT_EQ(block[kBrightness], 100);
    EXPECT_EQ(d.Text(2002), "100");
    // Typed text is stored as typed; only the trackbar keeps to its range.
    d.Type(2002, "999");
    EXPECT_EQ(block[kBrightness], 999);
    EXPECT_EQ(d.Position(2001), 255);
    d.Type(2012, "x7");
    EXPECT_EQ(block[kContrast], 0);
    EXPECT_EQ(d.Position(2011), 0);
    d.Type(2082, " -40 ");
    EXPECT_EQ(block[kGamma], -40);
    // The up-down steps the edit's number within its range.
    d.Type(2042, "30");
    d.Spin(2044, +1);
    EXPECT_EQ(d.Text(2042), "30");
    d.Spin(2044, -1);
    EXPECT_EQ(block[kSharpness], 29);

    // Default resets the values without closing; the gray mode stays.
    block[kGrayMode] = 2;
    d.Click(kDefault);
    EXPECT_FALSE(d.Session().Ended());
    EXPECT_EQ(block[kBrightness], 0);
    EXPECT_EQ(block[kContrast], 0);
    EXPECT_EQ(block[kSharpness], 0);
    EXPECT_EQ(block[kGamma], 100);
    EXPECT_EQ(block[kBayerGainBlue], 100);
    EXPECT_EQ(block[kBayerMode], 3);
    EXPECT_EQ(block[kGrayMode], 2);
    EXPECT_EQ(d.Text(2002), "0");
    EXPECT_EQ(d.Position(2081), 100);

    // Gray page: "All frames" twice leaves the count at 0, "Once" sets 1.
    d.SelectTab(1);
    d.Click(kAllFrames);
    EXPECT_EQ(block[kGrayAutoGain], -1);
    d.Click(kAllFrames);
    EXPECT_EQ(block[kGrayAutoGain], 0);
    d.Click(kOnce);
    EXPECT_EQ(block[kGrayAutoGain], 1);
    d.Click(kGrayModeConvert);
    EXPECT_EQ(block[kGrayMode], 1);
    EXPECT_FALSE(d.Checked(kGrayModeGrayscale));
    d.MoveTrackbar(2100, 200);
    EXPECT_EQ(block[kGrayGainR], 200);
    // A Bayer mode chosen on the gray page is what OK keeps, even though the
    // image page reads its own radios back.
    d.Click(kBayerMode0 + 1);
    EXPECT_TRUE(d.Page(0).IsChecked(kBayerMode0 + 1));
    d.Type(2101, "150");
    d.Click(kOk);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(block[kBayerMode], 1);
  EXPECT_EQ(block[kGrayGainR], 150);
  EXPECT_EQ(block[kGamma], 100);
}

TEST(ImageFilterDialogModel, OnceUnderWhiteBalanceClearsAllFrames) {
  FilterBlock block = DefaultFilterBlock();
  auto dialog = CImageFilterDlg::TryCreate(block, 2, DialogLanguage::kEnglish);
  ASSERT_NE(dialog, nullptr);
  RunDialog(*dialog, [&block](Driver &d) {
    d.Click(kAllFrames);
    EXPECT_EQ(block[kBayerGainAuto], 1);
    EXPECT_EQ(block[kAwbOnceA], 0);
    d.Click(kOnce);
    EXPECT_EQ(block[kBayerGainAuto], 1);
    EXPECT_EQ(block[kAwbOnceA], 1);
    EXPECT_EQ(block[kAwbOnceB], 1);
    EXPECT_FALSE(d.Checked(kAllFrames));
    d.Click(kAllFrames);
    d.Click(kAllFrames);
    EXPECT_EQ(block[kBayerGainAuto], 0);
    EXPECT_EQ(block[kAwbOnceB], 0);
    d.Click(kBayerMode0);
    EXPECT_EQ(block[kBayerMode], 0);
  });
  EXPECT_TRUE(dialog->Ended());
}

// ---------------------------------------------------------------------------

// A sensor that records every write, with the thread that made it.
class RecordingSensor final : public AnalogSensor {
 public:
  struct Write {
    std::string what;
    int reg;
    int value;
  };
  void SetGlobalGain(int gain) override { Record("global", 0, gain); }
  void SetColorGain(int reg, int gain) override { Record("color", reg, gain); }
  void SetExposure(int lines) override { Record("exposure", 0, lines); }
  void SetMirrorV(int on) override { Record("mirrorV", 0, on); }
  void SetMirrorH(int on) override { Record("mirrorH", 0, on); }
  void GlobalGainRange(int *minimum, int *maximum, int *fallback) override {
    *minimum = 0;
    *maximum = 127;
    *fallback = 32;
  }
  void ColorGainRange(int, int *minimum, int *maximum, int *fallback) override {
    GlobalGainRange(minimum, maximum, fallback);
  }
  int ExposureMax() override { return 16383; }
  int ExposureDefault() override { return 1970; }

  std::vector<Write> Take() {
    std::lock_guard<std::mutex> lock(lock_);
    return std::exchange(writes_, {});
  }
  bool AllOnThread(std::thread::id id) {
    std::lock_guard<std::mutex> lock(lock_);
    for (std::thread::id writer : threads_) {
      if (writer != id) return false;
    }
    return true;
  }

 private:
  void Record(const char *what, int reg, int value) {
    std::lock_guard<std::mutex> lock(lock_);
    writes_.push_back({what, reg, value});
    threads_.push_back(std::this_thread::get_id());
  }
  std::mutex lock_;
  std::vector<Write> writes_;
  std::vector<std::thread::id> threads_;
};

bool operator==(const RecordingSensor::Write &a, const RecordingSensor::Write &b) {
  return a.what == b.what && a.reg == b.reg && a.value == b.value;
}

void PrintTo(const RecordingSensor::Write &w, std::ostream *os) {
  *os << w.what << "(" << w.reg << ", " << w.value << ")";
}

constexpr ExposureConversion kNormalClock3488{3648, 0, 4.166666622040793e-05};

TEST(AnalogDialogModel, GlobalGainDrivesTheColourGainsAndTheReadoutFollowsExposure) {
  AnalogBlock block{40, 41, 42, 43, 44, 1970, 0, 0, 0};
  RecordingSensor sensor;
  auto dialog = CAnalogDlg::TryCreate(block, sensor, kNormalClock3488, DialogLanguage::kEnglish);
  ASSERT_NE(dialog, nullptr);
  RunDialog(*dialog, [&](Driver &d) {
    EXPECT_EQ(d.Items(kTab), std::vector<std::string>{"Analog Gain"});
    EXPECT_EQ(d.Text(kExposureReadout), "=299.44ms");
    EXPECT_EQ(d.Text(1021), "42");
    EXPECT_EQ(d.Control(1013).tickFrequency, 15);
    EXPECT_EQ(d.Control(1026).rangeMax, 16383);
    EXPECT_EQ(d.Control(1026).tickFrequency, 2047);
    EXPECT_TRUE(sensor.Take().empty()) << "opening writes nothing";

    d.Type(kGlobalGainEdit, "50");
    for (int edit : {1019, 1021, 1023, 1025}) EXPECT_EQ(d.Text(edit), "50");
    EXPECT_EQ(block.colorGainGreen1, 50);
    EXPECT_EQ(block.colorGainRed, 50);
    EXPECT_EQ(block.colorGainBlue, 50);
    EXPECT_EQ(block.colorGainGreen2, 50);
    EXPECT_EQ(sensor.Take(), (std::vector<RecordingSensor::Write>{{"global", 0, 50},
                                                                  {"color", 0x3056, 50},
                                                                  {"color", 0x305A, 50},
                                                                  {"color", 0x3058, 50},
                                                                  {"color", 0x305C, 50}}));
    // Unclamped: stored and written as typed, the trackbar at its end.
    d.Type(1021, "300");
    EXPECT_EQ(block.colorGainRed, 300);
    EXPECT_EQ(d.Position(1020), 127);
    d.MoveTrackbar(1026, 1000);
    EXPECT_EQ(block.exposure, 1000);
    EXPECT_EQ(d.Text(kExposureReadout), "=152.00ms");
    EXPECT_EQ(sensor.Take(), (std::vector<RecordingSensor::Write>{{"color", 0x305A, 300}, {"exposure", 0, 1000}}));
    d.Click(kOk);
  });
  EXPECT_EQ(block.exposure, 1000);
  dialog.reset();

  // Before any exposure conversion the read-out has nothing to multiply.
  auto fresh = CAnalogDlg::TryCreate(block, sensor, ExposureConversion{0, 0, 1.0}, DialogLanguage::kJapanese);
  ASSERT_NE(fresh, nullptr);
  RunDialog(*fresh, [](Driver &d) {
    EXPECT_EQ(d.Text(kExposureReadout), "=0.00ms");
    EXPECT_EQ(d.Text(kMirrorV), "上下反転");
    d.Click(kCancel);
  });
}

TEST(AnalogDialogModel, IrisExclusivityMirrorsAndDefault) {
  AnalogBlock block{10, 10, 10, 10, 10, 500, 1, 0, 1};
  RecordingSensor sensor;
  auto dialog = CAnalogDlg::TryCreate(block, sensor, kNormalClock3488, DialogLanguage::kEnglish);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(CAnalogDlg::TryCreate(block, sensor, kNormalClock3488, DialogLanguage::kEnglish), nullptr);
  RunDialog(*dialog, [&](Driver &d) {
    EXPECT_TRUE(d.Checked(kIrisExposure));
    EXPECT_TRUE(d.Checked(kMirrorV));
    EXPECT_FALSE(d.Checked(kMirrorH));
    d.Click(kIrisGain);
    EXPECT_FALSE(d.Checked(kIrisExposure));
    EXPECT_EQ(block.autoIris, 2);
    d.Click(kIrisGain);
    EXPECT_EQ(block.autoIris, 0);
    d.Click(kIrisExposure);
    EXPECT_EQ(block.autoIris, 1);
    d.Click(kMirrorH);
    EXPECT_EQ(block.mirrorH, 1);
    EXPECT_EQ(sensor.Take(), (std::vector<RecordingSensor::Write>{{"mirrorH", 0, 1}}));

    d.Click(kDefault);
    EXPECT_FALSE(d.Session().Ended());
    EXPECT_EQ(sensor.Take(), (std::vector<RecordingSensor::Write>{{"global", 0, 32},
                                                                  {"color", 0x3056, 32},
                                                                  {"color", 0x305A, 32},
                                                                  {"color", 0x3058, 32},
                                                                  {"color", 0x305C, 32},
                                                                  {"exposure", 0, 1970}}));
    EXPECT_EQ(d.Text(kGlobalGainEdit), "32");
    EXPECT_EQ(d.Position(1026), 1970);
    EXPECT_EQ(d.Text(kExposureReadout), "=299.44ms");
    EXPECT_TRUE(d.Checked(kMirrorV));
    EXPECT_EQ(block.mirrorV, 1);
    EXPECT_EQ(block.autoIris, 1);
    d.Click(kOk);
  });
  EXPECT_EQ(block.globalGain, 32);
  EXPECT_EQ(block.exposure, 1970);
}

// Automatic-iris values from another thread are shown, and written to the
// sensor, on the dialog's thread only.
TEST(AnalogDialogModel, AutoIrisValuesFromAnotherThreadArriveOnTheDialogThread) {
  AnalogBlock block{32, 32, 32, 32, 32, 1970, 0, 0, 2};
  RecordingSensor sensor;
  auto dialog = CAnalogDlg::TryCreate(block, sensor, kNormalClock3488, DialogLanguage::kEnglish);
  ASSERT_NE(dialog, nullptr);
  CAnalogDlg *raw = dialog.get();
  RunDialog(*dialog, [&](Driver &d) {
    std::thread worker([raw] {
      for (int gain = 40; gain <= 60; ++gain) raw->ShowAutoIrisValue(kGlobalGainEdit, gain);
      raw->ShowAutoIrisValue(kExposureEdit, 2500);
    });
    EXPECT_TRUE(d.PumpUntil([&] { return d.Text(kGlobalGainEdit) == "60" && d.Text(kExposureEdit) == "2500"; },
                            std::chrono::seconds(30)));
    worker.join();
    d.Pump();
    EXPECT_EQ(d.Text(1025), "60");
    EXPECT_EQ(block.colorGainGreen2, 60);
    EXPECT_EQ(block.exposure, 2500);
    d.Click(kOk);
  });
  EXPECT_TRUE(sensor.AllOnThread(std::this_thread::get_id()));
  const auto writes = sensor.Take();
  ASSERT_FALSE(writes.empty());
  EXPECT_TRUE(std::find(writes.begin(), writes.end(), RecordingSensor::Write{"exposure", 0, 2500}) != writes.end());
}

}  // namespace
}  // namespace quorel
