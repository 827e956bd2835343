// The camera object's acquisition operations, which forward to its
// Acquisition, and the services it gives that acquisition: the preview
// window, the sensor settings written at preparation and the close after a
// failed start.
#include "camera/CQuorel.h"
#include "camera/PreviewPainter.h"
#include "camera/PreviewWindow.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "image/DibImage.h"
#include "platform/SharedValue.h"

namespace quorel {

int CQuorel::Preview() {
  return acquisition_.ShowPreview(FrameDestination{}, "Quorel_Preview");
}

int CQuorel::CallBackPreview(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  return acquisition_.ShowPreview(FrameDestination{callbackWindow, buffer, size, bottomUp}, "Quorel_CallBackPreview");
}

int CQuorel::StartPreview() {
  return acquisition_.StartPreview();
}

int CQuorel::StopPreview() {
  if (!RequireDevice("Quorel_StopPreview")) return 0;
  // The recording thread is joined under the state lock, as Record joins
  // and starts it under that lock: two stops at once, or a stop beside a
  // Record, once joined one thread twice (a hang in pthread_join, or a
  // thread object left joinable and later overwritten: std::terminate), or
  // joined a recording that had just started and ran for its whole time.
  std::lock_guard<std::recursive_mutex> state(acquisition_.stateLock());
  acquisition_.Stop();
  recording_.store(0);
  if (recordThread_.joinable()) recordThread_.join();
  return 1;
}

int CQuorel::Capture() {
  return acquisition_.Capture();
}

int CQuorel::SnapShot(unsigned char *buffer, int size, int bottomUp) {
  return acquisition_.SnapShot(buffer, size, bottomUp);
}

int CQuorel::Trigger(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  return acquisition_.Trigger(FrameDestination{callbackWindow, buffer, size, bottomUp});
}

int CQuorel::GetImage(unsigned char *buffer, int size, int bottomUp) {
  return acquisition_.GetImage(buffer, size, bottomUp);
}

int CQuorel::SetPreviewWindow(HWND parent, int left, int top, int right, int bottom) {
  if (!RequireDevice("Quorel_SetPreviewWindow")) return 0;
  previewParent_ = parent;
  previewRect_[0] = left;
  previewRect_[1] = top;
  previewRect_[2] = right;
  previewRect_[3] = bottom;
  return 1;
}

bool CQuorel::PreviewWindowWanted() const {
  return previewParent_ != nullptr || previewRect_[0] != 0 || previewRect_[1] != 0 || previewRect_[2] != 0 ||
         previewRect_[3] != 0;
}

bool CQuorel::ShowPreviewWindow() {
  return !PreviewWindowWanted() || CreatePreviewWindow() != 0;
}

// A start while a window exists replaces it: the new one is made first
// (outside the frame lock, since mapping waits for the server), then swapped
// in under the lock, and the old one destroyed outside it.
int CQuorel::CreatePreviewWindow() {
  windowClassName_ = FormPreviewClassName(this);
  PreviewWindow::Request request;
  request.parent = previewParent_;
  for (int i = 0; i < 4; ++i) request.rect[i] = previewRect_[i];
  const int divisor = SubSampleDivisor(LoadShared(format_.subSample));
  request.imageWidth = geometry_.width / divisor;
  request.imageHeight = geometry_.height / divisor;
  request.className = windowClassName_;
  std::unique_ptr<PreviewWindow> window = PreviewWindow::Create(request);
  if (window == nullptr) return 0;
  // WithOutputImage runs its function under the frame lock, which is all
  // that is wanted here.
  acquisition_.WithOutputImage([&](DibImage *) {
    preview_.swap(window);
    return 0;
  });
  return 1;
}

void CQuorel::DestroyPreviewWindow() {
  std::unique_ptr<PreviewWindow> window;
  acquisition_.WithOutputImage([&](DibImage *) {
    window.swap(preview_);
    return 0;
  });
}

// Called by the frame thread with the frame lock held, after the frame has
// been reduced to a displayable depth. Painting failures are ignored.
void CQuorel::PaintPreviewLocked(const DibImage &display) {
  if (preview_ == nullptr) return;
  if (displayImage_ == nullptr) displayImage_ = std::make_unique<DibImage>();
  PaintSource(preview_.get(), LoadShared(format_.colorMode), display, *displayImage_);
}

void CQuorel::WriteSensorSettings() {
  WriteGainsAndExposureToSensor();
  // Refreshes the real-exposure cache for the new geometry and clock.
  int ok = 0;
  GetRealExposureTime(&ok);
}

}  // namespace quorel
