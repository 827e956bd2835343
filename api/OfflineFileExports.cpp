// The settings file and AVI repair without a camera (QuorelFiles.h): thin
// checks of the caller's pointers and sizes around the settings store and the
// AVI rebuilder. No exception leaves these functions.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "QuorelFiles.h"
#include "output/AviRepair.h"
#include "platform/RegistryFile.h"
#include "settings/CameraSettings.h"
#include "settings/SettingsStore.h"

static_assert(std::string_view(QUOREL_SETTINGS_ROOT_KEY) == quorel::kSettingsRootKey);
static_assert(QUOREL_SENSOR_WIDTH == quorel::kSensorWidth && QUOREL_SENSOR_HEIGHT == quorel::kSensorHeight);
static_assert(QUOREL_MAX_SIZE_PRESETS == quorel::kMaxSizePresets);

namespace quorel {
namespace {

constexpr int kMaxDeviceNumber = 31;

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The root key itself or a key beneath it; these functions touch nothing else
// of the user's file.
bool IsSettingsKey(const char *key) {
  if (key == nullptr) return false;
  const std::string_view k(key);
  const std::string_view root(kSettingsRootKey);
  if (k.size() < root.size() || !EqualIgnoringCase(k.substr(0, root.size()), root)) return false;
  return k.size() == root.size() || (k[root.size()] == '\\' && k.size() > root.size() + 1);
}

bool AreValidValues(const QuorelDwordValue *values, int count) {
  if (count < 0 || (values == nullptr && count > 0)) return false;
  for (int i = 0; i < count; ++i) {
    if (values[i].name == nullptr || values[i].name[0] == '\0') return false;
  }
  return true;
}

QuorelSizePreset ToPublic(const CaptureGeometry &g) {
  return {g.horizontalTotal, g.verticalTotal, g.width, g.height, g.horizontalStart, g.verticalStart, g.presetBuffer};
}

CaptureGeometry FromPublic(const QuorelSizePreset &p) {
  CaptureGeometry g;
  g.horizontalTotal = p.horizontalTotal;
  g.verticalTotal = p.verticalTotal;
  g.width = p.width;
  g.height = p.height;
  g.horizontalStart = p.horizontalStart;
  g.verticalStart = p.verticalStart;
  g.presetBuffer = p.presetBuffer;
  return g;
}

// Copies as much of `text` as fits, always terminated.
void CopyCut(std::string_view text, char *out, int size) {
  if (out == nullptr || size <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace
}  // namespace quorel

extern "C" {

QUOREL_API int QuorelFiles_GetSettingsPath(char *path, int size) {
  if (size < 0 || (path == nullptr && size > 0)) return QUOREL_FILES_INVALID;
  try {
    const std::string file = quorel::RegistryFilePath();
    if (file.size() >= static_cast<size_t>(INT32_MAX)) return 0;
    const int needed = static_cast<int>(file.size()) + 1;
    if (size == 0) return needed;  // a query of the size alone
    if (needed <= size) {
      std::memcpy(path, file.c_str(), static_cast<size_t>(needed));
    } else {
      path[0] = '\0';
    }
    return needed;
  } catch (...) {
    if (path != nullptr && size > 0) path[0] = '\0';
    return 0;
  }
}

QUOREL_API int QuorelFiles_KeyExists(const char *key) {
  if (!quorel::IsSettingsKey(key)) return QUOREL_FILES_INVALID;
  try {
    return quorel::RegistrySnapshot().KeyExists(key) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelFiles_ReadDword(const char *key, const char *name, int32_t *value) {
  if (!quorel::IsSettingsKey(key) || name == nullptr || value == nullptr) return QUOREL_FILES_INVALID;
  try {
    const auto stored = quorel::RegistrySnapshot().QueryDword(key, name);
    if (!stored) return 0;
    *value = *stored;
    return 1;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelFiles_WriteDwords(const char *key, const QuorelDwordValue *values, int count,
                                       const QuorelDwordValue *initial, int initialCount) {
  if (!quorel::IsSettingsKey(key) || !quorel::AreValidValues(values, count) ||
      !quorel::AreValidValues(initial, initialCount)) {
    return QUOREL_FILES_INVALID;
  }
  try {
    quorel::RegistryTransaction tx;
    if (!tx.Ok()) return QUOREL_FILES_UNAVAILABLE;
    bool written = true;
    if (!tx.KeyExists(key)) {
      written = tx.CreateKey(key);
      for (int i = 0; written && i < initialCount; ++i) written = tx.SetDword(key, initial[i].name, initial[i].value);
    }
    for (int i = 0; written && i < count; ++i) written = tx.SetDword(key, values[i].name, values[i].value);
    // Without a commit the transaction's changes are dropped: all or nothing.
    return written && tx.Commit() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelFiles_EnsureFirstRunEntries(int deviceNumber) {
  if (deviceNumber < 0 || deviceNumber > quorel::kMaxDeviceNumber) return QUOREL_FILES_INVALID;
  try {
    return quorel::EnsureFirstRunEntries(deviceNumber);
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelFiles_ReadRootPresets(QuorelSizePreset *presets, int capacity) {
  if (capacity < 0 || (presets == nullptr && capacity > 0)) return QUOREL_FILES_INVALID;
  try {
    std::vector<quorel::CaptureGeometry> stored;
    if (quorel::ReadRootPresets(stored) == 0) return 0;
    const size_t copied = std::min(stored.size(), static_cast<size_t>(capacity));
    for (size_t i = 0; i < copied; ++i) presets[i] = quorel::ToPublic(stored[i]);
    return static_cast<int>(stored.size());
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelFiles_AddRootPreset(const QuorelSizePreset *preset) {
  if (preset == nullptr) return QUOREL_FILES_INVALID;
  const quorel::CaptureGeometry g = quorel::FromPublic(*preset);
  if (g.width < 1 || g.height < 1 || !quorel::IsCaptureWindowValid(g, 0)) return QUOREL_FILES_INVALID;
  try {
    return quorel::AddRootPreset(g) != 0 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelFiles_RepairAvi(const char *path, QuorelAviRepairInfo *info, char *reason, int reasonSize) {
  if (path == nullptr || info == nullptr || info->size < sizeof(QuorelAviRepairInfo) || reasonSize < 0 ||
      (reason == nullptr && reasonSize > 0)) {
    return QUOREL_FILES_INVALID;
  }
  try {
    const quorel::AviRepairResult result = quorel::RepairAvi(path);
    if (!result.repaired) {
      quorel::CopyCut(result.why, reason, reasonSize);
      return 0;
    }
    info->frames = result.frames;
    info->rateHundredths = result.rateHundredths;
    info->rateFromDuration = result.rateFromDuration ? 1 : 0;
    quorel::CopyCut("", reason, reasonSize);
    return 1;
  } catch (...) {
    quorel::CopyCut("repair failed: out of memory", reason, reasonSize);
    return 0;
  }
}

}  // extern "C"
