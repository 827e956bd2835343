#include "ErrorTexts.h"

#include "QuorelSdk_470KX_PLU.h"

namespace quorel::viewer {
namespace {

struct ErrorText {
  int code;
  const char *english;
  const char *japanese;
};

// Indexed by code; the check below keeps it in step with the public macros.
constexpr ErrorText kErrorTexts[] = {
    {QUOREL_ERR_NONE, "no error", "エラーなし"},
    {QUOREL_ERR_NOT_READY, "not ready or not allowed now", "準備ができていないか、現在は実行できません"},
    {QUOREL_ERR_NO_CAMERA, "camera not available", "カメラを使用できません"},
    {QUOREL_ERR_THREAD, "thread not started", "スレッドを開始できません"},
    {QUOREL_ERR_WINDOW, "window not created", "ウィンドウを作成できません"},
    {QUOREL_ERR_MEMORY, "memory or buffer", "メモリまたはバッファのエラー"},
    {QUOREL_ERR_DEVICE, "device access failed", "デバイスにアクセスできません"},
    {QUOREL_ERR_GEOMETRY, "capture geometry invalid", "取り込み範囲が無効です"},
    {QUOREL_ERR_FRAME, "frame not obtained", "フレームを取得できません"},
    {QUOREL_ERR_ARGUMENT, "invalid argument", "引数が無効です"},
    {QUOREL_ERR_UNUSED, "not used", "未使用"},
    {QUOREL_ERR_NOT_SUPPORTED, "not supported", "サポートされていません"},
    {QUOREL_ERR_FILE, "file error", "ファイルのエラー"},
    {QUOREL_ERR_TRANSFER_STOPPED, "transfer stopped", "転送が停止しました"},
};
constexpr int kCodeCount = static_cast<int>(sizeof kErrorTexts / sizeof kErrorTexts[0]);

constexpr bool IndexedByCode() {
  for (int i = 0; i < kCodeCount; ++i) {
    if (kErrorTexts[i].code != i) return false;
  }
  return kCodeCount == QUOREL_ERR_TRANSFER_STOPPED + 1;
}
static_assert(IndexedByCode(), "error texts must be indexed by code and cover every code");

}  // namespace

const char *ErrorMeaning(int code, Language lang) {
  if (code < 0 || code >= kCodeCount) return lang == Language::kJapanese ? "不明なエラー" : "unknown error";
  return lang == Language::kJapanese ? kErrorTexts[code].japanese : kErrorTexts[code].english;
}

std::string DescribeError(int code, Language lang) {
  const char *word = lang == Language::kJapanese ? "エラー " : "error ";
  return word + std::to_string(code) + ": " + ErrorMeaning(code, lang);
}

}  // namespace quorel::viewer
