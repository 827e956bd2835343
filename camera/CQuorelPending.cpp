// The settings dialogs are not part of this build yet. Each fails the way the
// camera fails when it is not ready: result 0 and code 1 recorded and posted,
// so applications see an honest "not ready" rather than a false success.
#include "camera/CQuorel.h"

namespace quorel {

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
