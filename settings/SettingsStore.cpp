#include "settings/SettingsStore.h"

#include <cstdio>
#include <string>

#include "platform/DebugLog.h"
#include "platform/RegistryFile.h"

namespace quorel {
namespace {

struct NamedField {
  const char *name;
  int32_t CaptureGeometry::*field;
};

// Value names of a size preset, in the order they are read and written.
constexpr NamedField kPresetValues[] = {
    {"TH", &CaptureGeometry::horizontalTotal},
    {"TV", &CaptureGeometry::verticalTotal},
    {"EH", &CaptureGeometry::width},
    {"EV", &CaptureGeometry::height},
    {"EHS", &CaptureGeometry::horizontalStart},
    {"EVS", &CaptureGeometry::verticalStart},
    {"Buf", &CaptureGeometry::presetBuffer},
};

struct AnalogField {
  const char *name;
  int32_t AnalogBlock::*field;
};

constexpr AnalogField kGainValues[] = {
    {"Global", &AnalogBlock::globalGain},       {"ColorG1", &AnalogBlock::colorGainGreen1},
    {"ColorR", &AnalogBlock::colorGainRed},     {"ColorB", &AnalogBlock::colorGainBlue},
    {"ColorG2", &AnalogBlock::colorGainGreen2}, {"Exposure", &AnalogBlock::exposure},
    {"V_Mirror", &AnalogBlock::mirrorV},        {"H_Mirror", &AnalogBlock::mirrorH},
    {"AutoIris", &AnalogBlock::autoIris},
};

struct BlockField {
  const char *name;
  FilterEntry entry;
  int32_t defaultValue;
};

constexpr BlockField kFilterValues[] = {
    {"Brightness", kBrightness, 0},   {"Contrast", kContrast, 0},      {"Hue", kHue, 0},
    {"Saturation", kSaturation, 0},   {"Sharpness", kSharpness, 0},    {"R_Gain", kBayerGainRed, 100},
    {"G_Gain", kBayerGainGreen, 100}, {"B_Gain", kBayerGainBlue, 100}, {"Gamma", kGamma, 100},
    {"BayerMode", kBayerMode, 3},
};

constexpr BlockField kGrayValues[] = {
    {"Mode", kGrayMode, 0},         {"GainR1", kGrayGainR, 128},    {"GainG1", kGrayGainG1, 128},
    {"GainG2", kGrayGainG2, 128},   {"GainB1", kGrayGainB, 128},    {"OffsetR1", kGrayOffsetR, 0},
    {"OffsetG1", kGrayOffsetG1, 0}, {"OffsetG2", kGrayOffsetG2, 0}, {"OffsetB1", kGrayOffsetB, 0},
};

// First-run values of the camera key.
constexpr int32_t kFirstRunSize = 0;
constexpr int32_t kFirstRunColor = 2;
constexpr int32_t kFirstRunSubSample = 0;
constexpr int32_t kFirstRunWaitTime = 1;
constexpr int32_t kFirstRunClock = 2;

// Defaults of the analog block when no device object can supply them.
constexpr int32_t kDefaultGain = 32;
constexpr int32_t kDefaultExposureLines = 1970;

std::string CameraKey(int deviceNumber) {
  char name[32];
  std::snprintf(name, sizeof name, "\\Camera_%02d", deviceNumber);
  return kSettingsRootKey + std::string(name);
}

std::string SubKey(const std::string &parent, const char *name) {
  return parent + "\\" + name;
}

std::string PresetKey(const std::string &parent, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "\\Size_%02d", number);
  return parent + name;
}

template <typename Source>
void ReadInto(const Source &src, const std::string &key, const char *name, int32_t &field) {
  if (auto v = src.QueryDword(key, name)) field = *v;
}

template <typename Source>
void ReadPreset(const Source &src, const std::string &key, CaptureGeometry &g) {
  for (const NamedField &v : kPresetValues) ReadInto(src, key, v.name, g.*v.field);
}

void WritePreset(RegistryTransaction &tx, const std::string &key, const CaptureGeometry &g) {
  for (const NamedField &v : kPresetValues) tx.SetDword(key, v.name, g.*v.field);
}

// Presets "Size_00".. beneath `parent` until the first missing one; `at(i)`
// gives the geometry to fill for preset i. Returns how many were read.
template <typename At>
int ReadPresetRun(const RegistrySnapshot &snap, const std::string &parent, At at) {
  int count = 0;
  while (count < kMaxSizePresets) {
    const std::string key = PresetKey(parent, count);
    if (!snap.KeyExists(key)) break;
    ReadPreset(snap, key, at(count));
    ++count;
  }
  return count;
}

// True when the root key exists afterwards.
bool CreateFirstRunEntries(int deviceNumber) {
  RegistryTransaction tx;
  if (!tx.Ok()) return false;
  // Another process may have run its first run while we were looking.
  if (tx.KeyExists(kSettingsRootKey)) return true;
  const std::string camera = CameraKey(deviceNumber);
  const std::string preset = PresetKey(camera, 0);
  if (!tx.CreateKey(kSettingsRootKey) || !tx.CreateKey(camera) || !tx.CreateKey(preset)) return false;
  WritePreset(tx, preset, CaptureGeometry{});
  tx.SetDword(camera, "Size", kFirstRunSize);
  tx.SetDword(camera, "Color", kFirstRunColor);
  tx.SetDword(camera, "SubSample", kFirstRunSubSample);
  tx.SetDword(camera, "WaitTime", kFirstRunWaitTime);
  tx.SetDword(camera, "Clock", kFirstRunClock);
  bool written = tx.Commit();
  LogPrint(LogCategory::kSettings, 1, "first run: created %s %s", camera.c_str(), written ? "" : "FAILED");
  return written;
}

AnalogBlock BuiltInAnalogDefaults() {
  AnalogBlock a;
  a.globalGain = a.colorGainGreen1 = a.colorGainRed = a.colorGainBlue = a.colorGainGreen2 = kDefaultGain;
  a.exposure = kDefaultExposureLines;
  return a;
}

int Result(int result, const char *what, int deviceNumber) {
  LogPrint(LogCategory::kSettings, 2, "%s device %d -> %d", what, deviceNumber, result);
  return result;
}

}  // namespace

int LoadSizePreset(int deviceNumber, CaptureGeometry &g) {
  RegistrySnapshot snap;
  if (!snap.KeyExists(kSettingsRootKey)) {
    CreateFirstRunEntries(deviceNumber);
    return Result(0, "load size preset (first run)", deviceNumber);
  }
  const std::string camera = CameraKey(deviceNumber);
  auto size = snap.QueryDword(camera, "Size");
  if (!snap.KeyExists(camera) || !size) return Result(0, "load size preset", deviceNumber);
  const std::string preset = PresetKey(camera, *size);
  if (!snap.KeyExists(preset)) return Result(0, "load size preset (missing preset)", deviceNumber);
  ReadPreset(snap, preset, g);
  return Result(1, "load size preset", deviceNumber);
}

int EnsureFirstRunEntries(int deviceNumber) {
  if (RegistrySnapshot().KeyExists(kSettingsRootKey)) return 1;
  return Result(CreateFirstRunEntries(deviceNumber) ? 1 : 0, "first-run entries", deviceNumber);
}

int LoadFormatValues(int deviceNumber, FormatValues &f) {
  RegistrySnapshot snap;
  const std::string camera = CameraKey(deviceNumber);
  if (!snap.KeyExists(camera)) return Result(0, "load format values", deviceNumber);
  ReadInto(snap, camera, "Color", f.colorMode);
  ReadInto(snap, camera, "SubSample", f.subSample);
  ReadInto(snap, camera, "WaitTime", f.waitTime);
  ReadInto(snap, camera, "Clock", f.halfClock);
  return Result(1, "load format values", deviceNumber);
}

int LoadGainGroup(int deviceNumber, AnalogBlock &a, const std::function<AnalogBlock()> &deviceDefaults) {
  RegistrySnapshot snap;
  const std::string gain = SubKey(CameraKey(deviceNumber), "Gain");
  if (!snap.KeyExists(gain)) {
    a = deviceDefaults ? deviceDefaults() : BuiltInAnalogDefaults();
    return Result(1, "load gain group (defaults)", deviceNumber);
  }
  // One temporary carried from value to value: a missing value repeats the
  // one before it, so a group holding only "Global" sets all nine entries.
  int32_t carried = 0;
  for (const AnalogField &v : kGainValues) {
    ReadInto(snap, gain, v.name, carried);
    a.*v.field = carried;
  }
  return Result(1, "load gain group", deviceNumber);
}

int SaveGainGroup(int deviceNumber, const AnalogBlock &a) {
  RegistryTransaction tx;
  const std::string camera = CameraKey(deviceNumber);
  const std::string gain = SubKey(camera, "Gain");
  if (!tx.CreateKey(kSettingsRootKey) || !tx.CreateKey(camera) || !tx.CreateKey(gain))
    return Result(0, "save gain group", deviceNumber);
  for (const AnalogField &v : kGainValues) tx.SetDword(gain, v.name, a.*v.field);
  return Result(tx.Commit() ? 1 : 0, "save gain group", deviceNumber);
}

int LoadFilterGroup(int deviceNumber, FilterBlock &b) {
  RegistrySnapshot snap;
  const std::string filter = SubKey(CameraKey(deviceNumber), "Filter");
  if (!snap.KeyExists(filter)) {
    for (const BlockField &v : kFilterValues) b[v.entry] = v.defaultValue;
    // The automatic white-balance state starts over with the defaults.
    for (size_t i = 20; i <= 28; ++i) b[i] = 0;
    return Result(0, "load filter group (defaults)", deviceNumber);
  }
  for (const BlockField &v : kFilterValues) ReadInto(snap, filter, v.name, b[v.entry]);
  return Result(1, "load filter group", deviceNumber);
}

int SaveFilterGroup(int deviceNumber, const FilterBlock &b) {
  RegistryTransaction tx;
  const std::string camera = CameraKey(deviceNumber);
  const std::string filter = SubKey(camera, "Filter");
  if (!tx.CreateKey(kSettingsRootKey) || !tx.CreateKey(camera)) return Result(0, "save filter group", deviceNumber);
  if (tx.CreateKey(filter)) {
    for (const BlockField &v : kFilterValues) tx.SetDword(filter, v.name, b[v.entry]);
  }
  return Result(tx.Commit() ? 1 : 0, "save filter group", deviceNumber);
}

int LoadGrayGroup(int deviceNumber, FilterBlock &b) {
  RegistrySnapshot snap;
  const std::string gray = SubKey(CameraKey(deviceNumber), "Gray");
  if (!snap.KeyExists(gray)) {
    for (const BlockField &v : kGrayValues) b[v.entry] = v.defaultValue;
    return Result(0, "load gray group (defaults)", deviceNumber);
  }
  for (const BlockField &v : kGrayValues) ReadInto(snap, gray, v.name, b[v.entry]);
  return Result(1, "load gray group", deviceNumber);
}

int SaveGrayGroup(int deviceNumber, const FilterBlock &b) {
  RegistryTransaction tx;
  const std::string camera = CameraKey(deviceNumber);
  const std::string gray = SubKey(camera, "Gray");
  // The gray save never creates the camera key; without one it writes nothing
  // at all (not even the root key), so the transaction is simply dropped.
  if (!tx.KeyExists(camera)) return Result(0, "save gray group (no camera key)", deviceNumber);
  if (!tx.CreateKey(kSettingsRootKey) || !tx.CreateKey(gray)) return Result(0, "save gray group", deviceNumber);
  for (const BlockField &v : kGrayValues) tx.SetDword(gray, v.name, b[v.entry]);
  return Result(tx.Commit() ? 1 : 0, "save gray group", deviceNumber);
}

int LoadCameraDialogTable(int deviceNumber, CameraDialogTable &t) {
  RegistrySnapshot snap;
  const std::string camera = CameraKey(deviceNumber);
  if (!snap.KeyExists(camera)) return Result(0, "load camera dialog table", deviceNumber);
  t.presetCount = ReadPresetRun(snap, camera, [&t](int i) -> CaptureGeometry & { return t.presets[i]; });
  ReadInto(snap, camera, "Size", t.size);
  ReadInto(snap, camera, "Color", t.color);
  ReadInto(snap, camera, "SubSample", t.subSample);
  ReadInto(snap, camera, "WaitTime", t.waitTime);
  ReadInto(snap, camera, "Clock", t.clock);
  return Result(1, "load camera dialog table", deviceNumber);
}

int SaveCameraDialogTable(int deviceNumber, const CameraDialogTable &t) {
  RegistryTransaction tx;
  const std::string camera = CameraKey(deviceNumber);
  if (!tx.CreateKey(kSettingsRootKey) || !tx.CreateKey(camera))
    return Result(0, "save camera dialog table", deviceNumber);
  // A count outside the table would read past it.
  const int count = t.presetCount < 0 ? 0 : (t.presetCount > kMaxSizePresets ? kMaxSizePresets : t.presetCount);
  for (int i = 0; i < count; ++i) {
    const std::string preset = PresetKey(camera, i);
    if (!tx.CreateKey(preset)) break;
    WritePreset(tx, preset, t.presets[static_cast<size_t>(i)]);
  }
  tx.SetDword(camera, "Size", t.size);
  tx.SetDword(camera, "Color", t.color);
  tx.SetDword(camera, "SubSample", t.subSample);
  tx.SetDword(camera, "WaitTime", t.waitTime);
  tx.SetDword(camera, "Clock", t.clock);
  return Result(tx.Commit() ? 1 : 0, "save camera dialog table", deviceNumber);
}

int ReadRootPresets(std::vector<CaptureGeometry> &presets) {
  RegistrySnapshot snap;
  if (!snap.KeyExists(kSettingsRootKey)) return Result(0, "read root presets", -1);
  std::vector<CaptureGeometry> found(kMaxSizePresets);
  found.resize(static_cast<size_t>(
      ReadPresetRun(snap, kSettingsRootKey, [&found](int i) -> CaptureGeometry & { return found[i]; })));
  presets = std::move(found);
  return Result(1, "read root presets", -1);
}

int AddRootPreset(const CaptureGeometry &g) {
  RegistryTransaction tx;
  if (!tx.CreateKey(kSettingsRootKey)) return 0;
  int number = 0;
  while (number < kMaxSizePresets && tx.KeyExists(PresetKey(kSettingsRootKey, number))) ++number;
  if (number == kMaxSizePresets) return Result(0, "add root preset (table full)", -1);
  const std::string preset = PresetKey(kSettingsRootKey, number);
  if (!tx.CreateKey(preset)) return 0;
  WritePreset(tx, preset, g);
  return Result(tx.Commit() ? 1 : 0, "add root preset", -1);
}

}  // namespace quorel
