// quorel settings: shows and edits the stored camera settings in the settings
// file directly (no camera needed), and adds the root-level size presets that
// Quorel_SetCaptureWindow looks sizes up in.
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "CliSupport.h"
#include "Commands.h"
#include "platform/RegistryFile.h"
#include "settings/SettingsStore.h"

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

void PrintGeometry(const std::string &label, const CaptureGeometry &g) {
  std::printf("    %s  %d x %d at %d,%d  totals %d x %d  buf %d\n", label.c_str(), g.width, g.height, g.horizontalStart,
              g.verticalStart, g.horizontalTotal, g.verticalTotal, g.presetBuffer);
}

// A preset as stored, value by value; missing values are shown as such.
void PrintStoredPreset(const RegistrySnapshot &snap, const std::string &key, const std::string &label) {
  static const char *const kNames[] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
  std::printf("    %s ", label.c_str());
  for (const char *n : kNames) {
    auto v = snap.QueryDword(key, n);
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
// store write them first, exactly as the camera's first start would.
void EnsureFirstRunEntries(int device) {
  if (RegistrySnapshot().KeyExists(kSettingsRootKey)) return;
  CaptureGeometry unused;
  LoadSizePreset(device, unused);
}

int Show(const Invocation &inv, int device) {
  RegistrySnapshot snap;
  std::printf("settings file  %s\n", RegistryFilePath().c_str());
  if (!snap.KeyExists(kSettingsRootKey)) {
    std::printf("no settings stored yet (the camera writes its first-run entries when first opened)\n");
    return kExitOk;
  }
  std::vector<CaptureGeometry> rootPresets;
  ReadRootPresets(rootPresets);
  std::printf("root-level size presets (for Quorel_SetCaptureWindow): %zu\n", rootPresets.size());
  for (size_t i = 0; i < rootPresets.size(); ++i) PrintGeometry(PresetKeyName(static_cast<int>(i)), rootPresets[i]);

  const std::string cameraKey = CameraKey(device);
  std::printf("device %d (%s)%s\n", device, cameraKey.c_str(), snap.KeyExists(cameraKey) ? "" : ": no settings stored");
  if (!snap.KeyExists(cameraKey)) return kExitOk;
  for (const GroupDef &g : kGroups) {
    const std::string key = GroupKey(device, g);
    const bool present = snap.KeyExists(key);
    std::printf("  %s%s\n", g.name, present ? "" : " (not stored: the camera uses its defaults)");
    if (!present) continue;
    for (const ValueDef &v : g.values) {
      auto value = snap.QueryDword(key, v.name);
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
      while (count < kMaxSizePresets && snap.KeyExists(cameraKey + "\\" + PresetKeyName(count))) ++count;
      std::printf("    size presets: %d\n", count);
      for (int i = 0; i < count; ++i) {
        PrintStoredPreset(snap, cameraKey + "\\" + PresetKeyName(i), PresetKeyName(i));
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
  RegistryTransaction tx;
  if (!tx.Ok()) throw CliError(kExitFile, "settings set failed: cannot open " + RegistryFilePath());
  bool written = true;
  if (!tx.KeyExists(key)) {
    written = tx.CreateKey(key);
    for (const ValueDef &v : group->values) written = written && tx.SetDword(key, v.name, v.initial);
  }
  if (!written || !tx.SetDword(key, def->name, value) || !tx.Commit()) {
    throw CliError(kExitFile, "settings set failed: cannot write " + RegistryFilePath());
  }
  if (Verbose(inv)) std::printf("%s\\%s = %d\n", key.c_str(), def->name, value);
  return kExitOk;
}

int AddPreset(const Invocation &inv, const std::vector<std::string> &a) {
  if (a.size() != 4 && a.size() != 6) UsageFail(inv.command, "usage: settings preset add W H [X Y]");
  const std::string &cmd = inv.command;
  CaptureGeometry g;
  g.width = static_cast<int32_t>(RequireInteger(cmd, "W", a[2], 1, kSensorWidth));
  g.height = static_cast<int32_t>(RequireInteger(cmd, "H", a[3], 1, kSensorHeight));
  if (a.size() == 6) {
    g.horizontalStart = static_cast<int32_t>(RequireInteger(cmd, "X", a[4], 0, kSensorWidth - g.width));
    g.verticalStart = static_cast<int32_t>(RequireInteger(cmd, "Y", a[5], 0, kSensorHeight - g.height));
  }
  EnsureFirstRunEntries(inv.global.device.value_or(0));
  if (AddRootPreset(g) == 0) {
    throw CliError(kExitFile, "settings preset add failed: all " + std::to_string(kMaxSizePresets) +
                                  " presets are taken or " + RegistryFilePath() + " cannot be written");
  }
  if (Verbose(inv)) {
    std::vector<CaptureGeometry> presets;
    ReadRootPresets(presets);
    std::printf("added root-level preset %d x %d at %d,%d (root-level presets now: %zu)\n", g.width, g.height,
                g.horizontalStart, g.verticalStart, presets.size());
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
