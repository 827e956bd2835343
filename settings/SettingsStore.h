// The camera's settings in the per-user registry store.
//
// Layout under HKEY_CURRENT_USER:
//   Software\Velmor\Quorel470KXPLUSdk            root key (and root-level size presets)
//     Camera_NN                                  one per device number: "Size", "Color",
//                                                "SubSample", "WaitTime", "Clock"
//       Size_00 .. Size_99                       size presets, numbered without gaps
//       Gain, Filter, Gray                       the analog block and the filter block
// Every value is a DWORD holding a signed 32-bit integer. Loads never
// range-check what they read; the camera's own checks follow a load.
//
// Each operation returns 1 on success and 0 otherwise, as the camera object
// expects, and reports nothing through the error history. Nothing is cached:
// each load reads the file anew, and each save is one locked read-modify-write
// of the file, so two processes saving different groups lose neither; when
// they save the same group, the last save wins.
//
// Thread context: any thread; the functions share no state in memory.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "settings/CameraSettings.h"

namespace quorel {

inline constexpr const char kSettingsRootKey[] = "Software\\Velmor\\Quorel470KXPLUSdk";
inline constexpr int kMaxSizePresets = 100;

// The camera dialog's copy of the presets and format values, edited in place
// and written back on OK and Apply.
struct CameraDialogTable {
  std::array<CaptureGeometry, kMaxSizePresets> presets;
  int presetCount = 0;
  int size = 0;       // selected preset
  int color = 0;      // colour-mode index
  int subSample = 0;  // the code, not a list position
  int waitTime = 0;
  int clock = 0;
};

// Fills `g` from the preset selected by "Size". When the root key is missing
// (first run on this account) writes the first-run entries for this device
// number instead and returns 0 with `g` unchanged. A missing camera key, a
// missing "Size" or a missing preset returns 0 with `g` unchanged; a missing
// value inside the preset leaves its field unchanged.
int LoadSizePreset(int deviceNumber, CaptureGeometry &g);

// Writes the first-run entries for this device number, as LoadSizePreset does,
// unless the root key exists (for tools that write settings with no camera
// open: anything they write beneath the root key would make the camera skip
// its first run). 1 when the root key exists afterwards.
int EnsureFirstRunEntries(int deviceNumber);

// "Color", "SubSample", "WaitTime", "Clock"; a missing value leaves its field.
// 0 with nothing changed when the root or camera key is missing.
int LoadFormatValues(int deviceNumber, FormatValues &f);

// The "Gain" group. When a key is missing, `a` becomes deviceDefaults() (the
// sensor's defaults and current mirror state; called only then). Otherwise
// each missing value repeats the value read before it (0 for "Global").
// Returns 1 either way.
int LoadGainGroup(int deviceNumber, AnalogBlock &a, const std::function<AnalogBlock()> &deviceDefaults);
int SaveGainGroup(int deviceNumber, const AnalogBlock &a);

// Filter-block entries 0 to 9 ("Filter"). A missing key sets those entries to
// their defaults, clears entries 20 to 28, and returns 0.
int LoadFilterGroup(int deviceNumber, FilterBlock &b);
int SaveFilterGroup(int deviceNumber, const FilterBlock &b);

// Filter-block entries 11 to 19 ("Gray"). A missing key sets those entries to
// their defaults and returns 0. The save does not create the camera key: for
// a device number without one it writes nothing and returns 0.
int LoadGrayGroup(int deviceNumber, FilterBlock &b);
int SaveGrayGroup(int deviceNumber, const FilterBlock &b);

// Presets "Size_00".. up to the first missing one, then the five format
// values. Missing values leave the table's entries as they were.
int LoadCameraDialogTable(int deviceNumber, CameraDialogTable &t);
// Presets 0 to presetCount - 1 (clamped to 0..100) and the five format values;
// presets numbered presetCount or above stay as they are.
int SaveCameraDialogTable(int deviceNumber, const CameraDialogTable &t);

// The presets directly beneath the root key, for the capture-window lookup by
// size. `presets` is replaced; missing values keep the full-sensor defaults.
// 0 when the root key is missing.
int ReadRootPresets(std::vector<CaptureGeometry> &presets);

// Appends a root-level preset with the next free number (for tools; the
// camera itself writes none). 0 when all 100 numbers are taken or the file
// cannot be written.
int AddRootPreset(const CaptureGeometry &g);

}  // namespace quorel
