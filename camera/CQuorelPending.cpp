// Operations whose machinery (acquisition, preview window, still files,
// recording, dialogs) is not part of this build yet. Each fails the way the
// camera fails when it is not ready: result 0 and code 1 recorded and posted,
// so applications see an honest "not ready" rather than a false success.
#include "camera/CQuorel.h"

namespace quorel {

int CQuorel::Preview() {
  return NotAvailable("Quorel_Preview");
}

int CQuorel::CallBackPreview(HWND, unsigned char *, int, int) {
  return NotAvailable("Quorel_CallBackPreview");
}

int CQuorel::Capture() {
  return NotAvailable("Quorel_Capture");
}

int CQuorel::SnapShot(unsigned char *, int, int) {
  return NotAvailable("Quorel_SnapShot");
}

int CQuorel::Trigger(HWND, unsigned char *, int, int) {
  return NotAvailable("Quorel_Trigger");
}

int CQuorel::StartPreview() {
  return NotAvailable("Quorel_StartPreview");
}

// Nothing can be running yet, so stopping succeeds whenever there is a device.
int CQuorel::StopPreview() {
  if (!RequireDevice("Quorel_StopPreview")) return 0;
  mode_.store(kModeIdle);
  return 1;
}

int CQuorel::GetImage(unsigned char *, int, int) {
  return NotAvailable("Quorel_GetImage");
}

int CQuorel::SetPreviewWindow(HWND, int, int, int, int) {
  return NotAvailable("Quorel_SetPreviewWindow");
}

int CQuorel::SaveImage(const char *, int) {
  return NotAvailable("Quorel_SaveImage");
}

int CQuorel::SaveImageW(const wchar_t *, int) {
  return NotAvailable("Quorel_SaveImageW");
}

int CQuorel::Record(const char *, int, int) {
  return NotAvailable("Quorel_Record");
}

int CQuorel::RecordW(const wchar_t *, int, int) {
  return NotAvailable("Quorel_RecordW");
}

int CQuorel::SetCameraDlg(HWND) {
  return NotAvailable("Quorel_SetCameraDlg");
}

int CQuorel::SetImageDlg(HWND) {
  return NotAvailable("Quorel_SetImageDlg");
}

int CQuorel::SetAnalogDlg(HWND) {
  return NotAvailable("Quorel_SetAnalogDlg");
}

}  // namespace quorel
