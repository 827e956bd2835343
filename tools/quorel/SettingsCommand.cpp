// quorel settings: shows and edits the stored camera settings in the settings
// file directly (no camera needed), and adds the root-level size presets that
// Quorel_SetCaptureWindow looks sizes up in, through the library's offline
// file functions.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "CliSupport.h"
#include "Commands.h"
#include "QuorelFiles.h"

namespace quorel::cli {

const char kSettingsHelp[] =
    "usage: quorel settings show [--device N]\n"
    "       quorel settings set GROUP.NAME VALUE [--device N]\n"
    "       quorel settings preset add W H [X Y]\n"
    "\n"
    "Reads and writes the settings file ($QUOREL_REGISTRY, else\n"
    "$XDG_CONFIG_HOME/quorel/registry.reg) without opening a camera.\n"
    "\n"
    "  show         the format values, size presets and the Gain, Filter and Gray\n"
    "               groups of device N (default 0), and the root-level size presets\n"
    "  set          one value; GROUP is Camera, Gain, Filter or Gray, e.g.\n"
    "               Camera.Color 2, Gain.Exposure 1000, Filter.Gamma 120, Gray.Mode 1.\n"
    "               Values outside the range the camera accepts are refused.\n"
    "  preset add   a root-level size preset W x H at X,Y (default 0,0), the sizes\n"
    "               'quorel snap --window W,H' and Quorel_SetCaptureWindow can use\n"
    "\n"
    "Names per group:\n"
    "  Camera  Size Color SubSample WaitTime Clock\n"
    "  Gain    Global ColorG1 ColorR ColorB ColorG2 Exposure V_Mirror H_Mirror AutoIris\n"
    "  Filter  Brightness Contrast Hue Saturation Sharpness R_Gain G_Gain B_Gain Gamma BayerMode\n"
    "  Gray    Mode GainR1 GainG1 GainG2 GainB1 OffsetR1 OffsetG1 OffsetG2 OffsetB1\n";

namespace {

constexpr const char kSettingsRootKey[] = QUOREL_SETTINGS_ROOT_KEY;
constexpr int kMaxSizePresets = QUOREL_MAX_SIZE_PRESETS;
constexpr int kSensorWidth = QUOREL_SENSOR_WIDTH;
constexpr int kSensorHeight = QUOREL_SENSOR_HEIGHT;

struct ValueDef {
  const char *name;  // the value's name in the file
  int32_t min;
  int32_t max;
  int32_t initial;  // written with the first value of a group that is not stored yet
  const char *meaning;
};

struct GroupDef {
  const char *name;    // the group as the command line spells it
  const char *subkey;  // beneath the camera key; empty for the camera key itself
  std::span<const ValueDef> values;
};

// Ranges are what the camera and its dialogs accept, so that a value set here
// never reaches the camera out of range (loads do not check). The initial
// values are the camera's defaults: a group key holding only the one value
// set would otherwise load badly, since a missing gain value repeats the one
// read before it and a missing "Global" reads as 0, which would leave every
// gain at 0.
constexpr ValueDef kCameraValues[] = {
    {"Size", 0, kMaxSizePresets - 1, 0, "selected size preset"},
    {"Color", 0, 5, 2, "colour mode index: 0..5 for 8, 16, 24, 32, 48, 64 bits"},
    {"SubSample", 0, 18, 0, "sub-sampling code: 0, 1, 2, 17, 18"},
    {"WaitTime", 0, INT32_MAX, 1, "preview wait time, ms"},
    {"Clock", 0, 2, 2, "clock: 0 normal, 1 half, 2 high"},
};
constexpr ValueDef kGainValues[] = {
    {"Global", 0, 127, 32, "global gain"},
    {"ColorG1", 0, 127, 32, "colour gain Green1"},
    {"ColorR", 0, 127, 32, "colour gain Red"},
    {"ColorB", 0, 127, 32, "colour gain Blue"},
    {"ColorG2", 0, 127, 32, "colour gain Green2"},
    {"Exposure", 0, 16383, 1970, "exposure, sensor lines"},
    {"V_Mirror", 0, 1, 0, "vertical mirror"},
    {"H_Mirror", 0, 1, 0, "horizontal mirror"},
    {"AutoIris", 0, 2, 0, "auto iris: 0 off, 1 exposure, 2 gain"},
};
constexpr ValueDef kFilterValues[] = {
    {"Brightness", -255, 255, 0, "brightness"},
    {"Contrast", -127, 127, 0, "contrast"},
    {"Hue", -360, 360, 0, "hue"},
    {"Saturation", -255, 255, 0, "saturation"},
    {"Sharpness", 0, 30, 0, "sharpness"},
    {"R_Gain", 0, 400, 100, "Bayer gain red"},
    {"G_Gain", 0, 400, 100, "Bayer gain green"},
    {"B_Gain", 0, 400, 100, "Bayer gain blue"},
    {"Gamma", 0, 200, 100, "gamma"},
    {"BayerMode", 0, 3, 3, "Bayer mode"},
};
constexpr ValueDef kGrayValues[] = {
    {"Mode", 0, 2, 0, "gray mode: 0 Bayer, 1 Bayer convert, 2 grayscale"},
    {"GainR1", 0, 400, 128, "gray gain R"},
    {"GainG1", 0, 400, 128, "gray gain G1"},
    {"GainG2", 0, 400, 128, "gray gain G2"},
    {"GainB1", 0, 400, 128, "gray gain B"},
    {"OffsetR1", -255, 400, 0, "gray offset R"},
    {"OffsetG1", -255, 400, 0, "gray offset G1"},
    {"OffsetG2", -255, 400, 0, "gray offset G2"},
    {"OffsetB1", -255, 400, 0, "gray offset B"},
};
constexpr GroupDef kGroups[] = {
    {"Camera", "", kCameraValues},
    {"Gain", "Gain", kGainValues},
    {"Filter", "Filter", kFilterValues},
    {"Gray", "Gray", kGrayValues},
};

std::string SettingsPath() {
  std::string path(256, '\0');
  // The environment may name a longer path between two calls; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int needed = QuorelFiles_GetSettingsPath(path.data(), static_cast<int>(path.size()));
    if (needed <= 0) break;
    if (static_cast<size_t>(needed) <= path.size()) {
      path.resize(static_cast<size_t>(needed) - 1);
      return path;
    }
    path.assign(static_cast<size_t>(needed), '\0');
  }
  return "(settings file path unknown)";
}

bool KeyExists(const std::string &key) {
  return QuorelFiles_KeyExists(key.c_str()) == 1;
}

std::optional<int32_t> ReadDword(const std::string &key, const char *name) {
  int32_t value = 0;
  if (QuorelFiles_ReadDword(key.c_str(), name, &value) != 1) return std::nullopt;
  return value;
}

std::string CameraKey(int device) {
  char name[32];  // room for any int, so no build warns of truncation
  std::snprintf(name, sizeof name, "Camera_%02d", device);
  return std::string(kSettingsRootKey) + "\\" + name;
}

std::string GroupKey(int device, const GroupDef &g) {
  std::string key = CameraKey(device);
  if (*g.subkey != '\0') key += std::string("\\") + g.subkey;
  return key;
}

std::string PresetKeyName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "Size_%02d", index);
  return name;
}

void PrintGeometry(const std::string &label, const QuorelSizePreset &g) {
  std::printf("    %s  %d x %d at %d,%d  totals %d x %d  buf %d\n", label.c_str(), g.width, g.height, g.horizontalStart,
              g.verticalStart, g.horizontalTotal, g.verticalTotal, g.presetBuffer);
}

// A preset as stored, value by value; missing values are shown as such.
void PrintStoredPreset(const std::string &key, const std::string &label) {
  static const char *const kNames[] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
  std::printf("    %s ", label.c_str());
  for (const char *n : kNames) {
    auto v = ReadDword(key, n);
    if (v) {
      std::printf(" %s=%d", n, *v);
    } else {
      std::printf(" %s=(not set)", n);
    }
  }
  std::printf("\n");
}

// Writing any value creates the root key, after which the camera no longer
// writes its first-run entries. So when the store is still empty, let the
// library write them first, exactly as the camera's first start would. A
// failure shows in the write that follows.
void EnsureFirstRunEntries(int device) {
  QuorelFiles_EnsureFirstRunEntries(device);
}

int Show(const Invocation &inv, int device) {
  const bool stored = KeyExists(kSettingsRootKey);
  std::printf("settings file  %s\n", SettingsPath().c_str());
  if (!stored) {
    std::printf("no settings stored yet (the camera writes its first-run entries when first opened)\n");
    return kExitOk;
  }
  std::vector<QuorelSizePreset> rootPresets(kMaxSizePresets);
  const int rootCount = QuorelFiles_ReadRootPresets(rootPresets.data(), kMaxSizePresets);
  rootPresets.resize(rootCount > 0 ? std::min(static_cast<size_t>(rootCount), rootPresets.size()) : 0);
  std::printf("root-level size presets (for Quorel_SetCaptureWindow): %zu\n", rootPresets.size());
  for (size_t i = 0; i < rootPresets.size(); ++i) PrintGeometry(PresetKeyName(static_cast<int>(i)), rootPresets[i]);

  const std::string cameraKey = CameraKey(device);
  const bool cameraStored = KeyExists(cameraKey);
  std::printf("device %d (%s)%s\n", device, cameraKey.c_str(), cameraStored ? "" : ": no settings stored");
  if (!cameraStored) return kExitOk;
  for (const GroupDef &g : kGroups) {
    const std::string key = GroupKey(device, g);
    const bool present = KeyExists(key);
    std::printf("  %s%s\n", g.name, present ? "" : " (not stored: the camera uses its defaults)");
    if (!present) continue;
    for (const ValueDef &v : g.values) {
      auto value = ReadDword(key, v.name);
      std::string full = std::string(g.name) + "." + v.name;
      if (value) {
        std::printf("    %-20s %d", full.c_str(), *value);
      } else {
        std::printf("    %-20s (not set)", full.c_str());
      }
      if (Verbose(inv)) std::printf("    %s", v.meaning);
      std::printf("\n");
    }
    if (*g.subkey == '\0') {
      int count = 0;
      while (count < kMaxSizePresets && KeyExists(cameraKey + "\\" + PresetKeyName(count))) ++count;
      std::printf("    size presets: %d\n", count);
      for (int i = 0; i < count; ++i) {
        PrintStoredPreset(cameraKey + "\\" + PresetKeyName(i), PresetKeyName(i));
      }
    }
  }
  return kExitOk;
}

int Set(const Invocation &inv, int device, const std::string &target, const std::string &valueText) {
  const size_t dot = target.find('.');
  if (dot == std::string::npos) UsageFail(inv.command, "settings set takes GROUP.NAME, e.g. Gain.Exposure");
  const std::string groupName = NormaliseName(target.substr(0, dot));
  const std::string valueName = NormaliseName(target.substr(dot + 1));
  const GroupDef *group = nullptr;
  for (const GroupDef &g : kGroups) {
    if (NormaliseName(g.name) == groupName) group = &g;
  }
  if (group == nullptr) UsageFail(inv.command, "unknown settings group '" + target.substr(0, dot) + "'");
  const ValueDef *def = nullptr;
  for (const ValueDef &v : group->values) {
    if (NormaliseName(v.name) == valueName) def = &v;
  }
  if (def == nullptr) UsageFail(inv.command, "unknown value '" + target + "'");
  const int32_t value = static_cast<int32_t>(RequireInteger(inv.command, target, valueText, def->min, def->max));
  if (std::string(def->name) == "SubSample" && value != 0 && value != 1 && value != 2 && value != 17 && value != 18) {
    UsageFail(inv.command, "Camera.SubSample must be 0, 1, 2, 17 or 18");
  }

  EnsureFirstRunEntries(device);
  const std::string key = GroupKey(device, *group);
  // A group written for the first time gets the camera's defaults for the
  // rest of its values, in the same transaction.
  std::vector<QuorelDwordValue> initial;
  for (const ValueDef &v : group->values) initial.push_back({v.name, v.initial});
  const QuorelDwordValue set = {def->name, value};
  const int written = QuorelFiles_WriteDwords(key.c_str(), &set, 1, initial.data(), static_cast<int>(initial.size()));
  if (written == QUOREL_FILES_UNAVAILABLE) {
    throw CliError(kExitFile, "settings set failed: cannot open " + SettingsPath());
  }
  if (written != 1) throw CliError(kExitFile, "settings set failed: cannot write " + SettingsPath());
  if (Verbose(inv)) std::printf("%s\\%s = %d\n", key.c_str(), def->name, value);
  return kExitOk;
}

int AddPreset(const Invocation &inv, const std::vector<std::string> &a) {
  if (a.size() != 4 && a.size() != 6) UsageFail(inv.command, "usage: settings preset add W H [X Y]");
  const std::string &cmd = inv.command;
  // The totals and buffer of a preset default to the full sensor's, as the
  // camera's own presets do.
  QuorelSizePreset g = {kSensorWidth, kSensorHeight, kSensorWidth, kSensorHeight, 0, 0, 4};
  g.width = static_cast<int32_t>(RequireInteger(cmd, "W", a[2], 1, kSensorWidth));
  g.height = static_cast<int32_t>(RequireInteger(cmd, "H", a[3], 1, kSensorHeight));
  if (a.size() == 6) {
    g.horizontalStart = static_cast<int32_t>(RequireInteger(cmd, "X", a[4], 0, kSensorWidth - g.width));
    g.verticalStart = static_cast<int32_t>(RequireInteger(cmd, "Y", a[5], 0, kSensorHeight - g.height));
  }
  EnsureFirstRunEntries(inv.global.device.value_or(0));
  if (QuorelFiles_AddRootPreset(&g) != 1) {
    throw CliError(kExitFile, "settings preset add failed: all " + std::to_string(kMaxSizePresets) +
                                  " presets are taken or " + SettingsPath() + " cannot be written");
  }
  if (Verbose(inv)) {
    const int presets = QuorelFiles_ReadRootPresets(nullptr, 0);
    std::printf("added root-level preset %d x %d at %d,%d (root-level presets now: %d)\n", g.width, g.height,
                g.horizontalStart, g.verticalStart, presets > 0 ? presets : 0);
  }
  return kExitOk;
}

}  // namespace

int RunSettings(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.empty()) UsageFail(inv.command, "settings needs 'show', 'set' or 'preset add'");
  const int device = inv.global.device.value_or(0);
  if (a[0] == "show") {
    if (a.size() != 1) UsageFail(inv.command, "usage: settings show [--device N]");
    return Show(inv, device);
  }
  if (a[0] == "set") {
    if (a.size() != 3) UsageFail(inv.command, "usage: settings set GROUP.NAME VALUE [--device N]");
    return Set(inv, device, a[1], a[2]);
  }
  if (a[0] == "preset" && a.size() >= 2 && a[1] == "add") return AddPreset(inv, a);
  UsageFail(inv.command, "unknown settings operation '" + a[0] + "'");
}

}  // namespace quorel::cli
