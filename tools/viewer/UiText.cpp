#include "UiText.h"

namespace quorel::viewer {
namespace {

struct Entry {
  UiText id;
  const char *english;
  const char *japanese;
};

constexpr Entry kTexts[] = {
    {UiText::kWindowTitle, "Quorel 470KX viewer", "Quorel 470KX ビューア"},
    {UiText::kCamera, "Camera", "カメラ"},
    {UiText::kRefresh, "Refresh", "更新"},
    {UiText::kStart, "Start", "開始"},
    {UiText::kStop, "Stop", "停止"},
    {UiText::kSnapshot, "Snapshot", "スナップショット"},
    {UiText::kTrigger, "Trigger mode", "トリガーモード"},
    {UiText::kFireTrigger, "Fire trigger", "トリガー発行"},
    {UiText::kFit, "Fit", "全体表示"},
    {UiText::kZoom100, "100 %", "100 %"},
    {UiText::kColourMode, "Colour mode", "カラーモード"},
    {UiText::kExposureMs, "Exposure (ms)", "露光時間 (ms)"},
    {UiText::kCameraDialog, "Camera format...", "カメラ設定..."},
    {UiText::kImageDialog, "Image filters...", "画像フィルター..."},
    {UiText::kAnalogDialog, "Analog gain...", "アナログゲイン..."},
    {UiText::kSaveImage, "Save image...", "画像を保存..."},
    {UiText::kRecord, "Record...", "録画..."},
    {UiText::kHistogram, "Histogram", "ヒストグラム"},
    {UiText::kBlue, "Blue", "青"},
    {UiText::kGreen, "Green", "緑"},
    {UiText::kRed, "Red", "赤"},
    {UiText::kGray, "Gray", "グレー"},
    {UiText::kLinear, "Linear", "リニア"},
    {UiText::kLog, "Log", "対数"},
    {UiText::kErrors, "Errors", "エラー"},
    {UiText::kClear, "Clear", "クリア"},
    {UiText::kNoCamera,
     "No camera found. Start with --sim to use the virtual camera, or install the udev rule "
     "(share/quorel/udev) so that /dev/QrelKX470PLU-* is accessible, then press Refresh.",
     "カメラが見つかりません。仮想カメラを使うには --sim を付けて起動するか、udev ルール "
     "(share/quorel/udev) をインストールして /dev/QrelKX470PLU-* にアクセスできるようにし、「更新」を押してください。"},
    {UiText::kCameraGone, "The camera stopped delivering (%s). Reconnect it and press Refresh.",
     "カメラからの転送が止まりました (%s)。接続し直して「更新」を押してください。"},
    {UiText::kRecordingProgress, "Recording: %.1f s of %.1f s", "録画中: %.1f 秒 / %.1f 秒"},
    {UiText::kRecordingFinishing, "Recording: finishing the file", "録画中: ファイルを仕上げています"},
    {UiText::kRecorded, "Recorded %u frames at %.2f fps: %s", "%u フレームを %.2f fps で録画しました: %s"},
    {UiText::kRecordFailed, "Recording failed: %s", "録画に失敗しました: %s"},
    {UiText::kSaved, "Saved %s", "保存しました: %s"},
    {UiText::kDurationSeconds, "Duration (s)", "録画時間 (秒)"},
    {UiText::kFileType, "File type", "ファイル形式"},
    {UiText::kCancel, "_Cancel", "キャンセル(_C)"},
    {UiText::kSave, "_Save", "保存(_S)"},
    {UiText::kIdle, "Stopped", "停止中"},
    {UiText::kPreviewing, "Live", "ライブ"},
    {UiText::kSnapshotMode, "Snapshot", "スナップショット"},
    {UiText::kTriggerMode, "Waiting for triggers", "トリガー待ち"},
};

constexpr bool IndexedById() {
  int i = 0;
  for (const Entry &e : kTexts) {
    if (static_cast<int>(e.id) != i++) return false;
  }
  return i == static_cast<int>(UiText::kCount);
}
static_assert(IndexedById(), "texts must be listed in the order of UiText, all of them");

}  // namespace

const char *Text(UiText id, Language lang) {
  const int i = static_cast<int>(id);
  if (i < 0 || i >= static_cast<int>(UiText::kCount)) return "";
  return lang == Language::kJapanese ? kTexts[i].japanese : kTexts[i].english;
}

}  // namespace quorel::viewer
