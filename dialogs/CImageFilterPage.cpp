#include "dialogs/CImageFilterPage.h"

#include "dialogs/DialogIds.h"
#include "dialogs/SliderControls.h"
#include "platform/SharedValue.h"

namespace quorel {

using namespace dialog_id;

void ShowBayerMode(DialogWindow &window, int mode) {
  for (int m = 0; m < 4; ++m) window.SetCheck(kBayerMode0 + m, m == mode);
}

int CheckedBayerMode(const DialogWindow &window) {
  for (int m = 0; m < 4; ++m) {
    if (window.IsChecked(kBayerMode0 + m)) return m;
  }
  return -1;
}

CImageFilterPage::CImageFilterPage(const DialogTemplate &pageTemplate, FilterBlock &block, const FilterPageFlags &flags)
    : window_(pageTemplate), block_(block), flags_(flags) {
  window_.SetHandler(this);
}

void CImageFilterPage::Open() {
  ready_ = false;
  for (size_t i = 0; i < kImageSliders.size(); ++i) {
    const SliderRow &row = kImageSliders[i];
    SetUpSlider(window_, row, row.minimum, row.maximum, row.tickFrequency, LoadShared(block_[row.entry]),
                flags_.sliders[i]);
  }
  window_.Enable(kOnce, flags_.autoWhiteBalance);
  window_.Enable(kAllFrames, flags_.autoWhiteBalance);
  for (int m = 0; m < 4; ++m) window_.Enable(kBayerMode0 + m, flags_.autoWhiteBalance);
  ShowBayerMode(window_, LoadShared(block_[kBayerMode]));
  window_.SetCheck(kAllFrames, false);
  ready_ = true;
}

void CImageFilterPage::Refresh() {
  // The edits only show the block here; storing their text back would undo a
  // measurement the worker made in the meantime.
  ready_ = false;
  for (const SliderRow &row : kImageSliders) ShowSliderValue(window_, row, LoadShared(block_[row.entry]));
  ShowBayerMode(window_, LoadShared(block_[kBayerMode]));
  ready_ = true;
}

void CImageFilterPage::ReadBack() {
  for (const SliderRow &row : kImageSliders) StoreShared(block_[row.entry], window_.GetInt(row.edit, true));
  const int mode = CheckedBayerMode(window_);
  if (mode >= 0) StoreShared(block_[kBayerMode], mode);
}

void CImageFilterPage::OnTrackbarMoved(int id) {
  const SliderRow *row = FindRowByTrackbar(kImageSliders, id);
  if (row == nullptr) return;
  const int position = window_.GetPosition(id);
  window_.SetInt(row->edit, position, true);
  StoreShared(block_[row->entry], position);
}

void CImageFilterPage::OnCommand(int id, ControlNotify notify) {
  if (notify == ControlNotify::kEditChanged) {
    const SliderRow *row = FindRowByEdit(kImageSliders, id);
    if (row == nullptr || !ready_) return;
    // Stored as typed; only the trackbar keeps to its range.
    const int value = window_.GetInt(id, true);
    StoreShared(block_[row->entry], value);
    window_.SetPosition(row->trackbar, value);
    return;
  }
  if (notify != ControlNotify::kClicked) return;
  if (id >= kBayerMode0 && id < kBayerMode0 + 4) {
    StoreShared(block_[kBayerMode], id - kBayerMode0);
    if (bayerListener_) bayerListener_(id - kBayerMode0);
  } else if (id == kOnce) {
    StoreShared(block_[kBayerGainAuto], 1);
    StoreShared(block_[kAwbOnceA], 1);
    StoreShared(block_[kAwbOnceB], 1);
    window_.SetCheck(kAllFrames, false);
  } else if (id == kAllFrames) {
    StoreShared(block_[kBayerGainAuto], window_.IsChecked(kAllFrames) ? 1 : 0);
    StoreShared(block_[kAwbOnceA], 0);
    StoreShared(block_[kAwbOnceB], 0);
  }
}

}  // namespace quorel
