// The viewer's own words in English and Japanese. Texts with printf
// placeholders say so in their comment; the caller formats them.
#pragma once

#include "Language.h"

namespace quorel::viewer {

enum class UiText {
  kWindowTitle,
  kCamera,
  kRefresh,
  kStart,
  kStop,
  kSnapshot,
  kTrigger,
  kFireTrigger,
  kFit,
  kZoom100,
  kColourMode,
  kExposureMs,
  kCameraDialog,
  kImageDialog,
  kAnalogDialog,
  kSaveImage,
  kRecord,
  kHistogram,
  kBlue,
  kGreen,
  kRed,
  kGray,
  kLinear,
  kLog,
  kErrors,
  kClear,
  kNoCamera,           // hint with --sim and the udev rule
  kCameraGone,         // %s: the error text
  kRecordingProgress,  // %.1f elapsed, %.1f duration (seconds)
  kRecordingFinishing,
  kRecorded,      // %u frames, %.2f fps, %s file
  kRecordFailed,  // %s file
  kSaved,         // %s file
  kDurationSeconds,
  kFileType,
  kCancel,
  kSave,
  kIdle,
  kPreviewing,
  kSnapshotMode,
  kTriggerMode,
  kCount
};

// Static text; never null.
const char *Text(UiText id, Language lang);

}  // namespace quorel::viewer
