#include "dialogs/CGrayFilterPage.h"

#include "dialogs/CImageFilterPage.h"
#include "dialogs/DialogIds.h"
#include "dialogs/SliderControls.h"
#include "platform/SharedValue.h"

namespace quorel {

using namespace dialog_id;

namespace {

constexpr int kGrayModeRadios[3] = {kGrayModeBayer, kGrayModeConvert, kGrayModeGrayscale};

}  // namespace

CGrayFilterPage::CGrayFilterPage(const DialogTemplate &pageTemplate, FilterBlock &block)
    : window_(pageTemplate), block_(block) {
  window_.SetHandler(this);
}

void CGrayFilterPage::Open() {
  ready_ = false;
  for (const SliderRow &row : kGraySliders) {
    SetUpSlider(window_, row, row.minimum, row.maximum, row.tickFrequency, LoadShared(block_[row.entry]), true);
  }
  const int grayMode = LoadShared(block_[kGrayMode]);
  for (int m = 0; m < 3; ++m) window_.SetCheck(kGrayModeRadios[m], m == grayMode);
  ShowBayerMode(window_, LoadShared(block_[kBayerMode]));
  ready_ = true;
}

void CGrayFilterPage::Refresh() {
  // Shown only: storing the text back could undo a newer measurement.
  ready_ = false;
  for (const SliderRow &row : kGraySliders) ShowSliderValue(window_, row, LoadShared(block_[row.entry]));
  ShowBayerMode(window_, LoadShared(block_[kBayerMode]));
  ready_ = true;
}

void CGrayFilterPage::ReadBack() {
  for (const SliderRow &row : kGraySliders) StoreShared(block_[row.entry], window_.GetInt(row.edit, true));
}

void CGrayFilterPage::OnTrackbarMoved(int id) {
  const SliderRow *row = FindRowByTrackbar(kGraySliders, id);
  if (row == nullptr) return;
  const int position = window_.GetPosition(id);
  window_.SetInt(row->edit, position, true);
  StoreShared(block_[row->entry], position);
}

void CGrayFilterPage::OnCommand(int id, ControlNotify notify) {
  if (notify == ControlNotify::kEditChanged) {
    const SliderRow *row = FindRowByEdit(kGraySliders, id);
    if (row == nullptr || !ready_) return;
    const int value = window_.GetInt(id, true);
    StoreShared(block_[row->entry], value);
    window_.SetPosition(row->trackbar, value);
    return;
  }
  if (notify != ControlNotify::kClicked) return;
  if (id >= kBayerMode0 && id < kBayerMode0 + 4) {
    StoreShared(block_[kBayerMode], id - kBayerMode0);
    if (bayerListener_) bayerListener_(id - kBayerMode0);
  } else if (id >= kGrayModeBayer && id <= kGrayModeGrayscale) {
    StoreShared(block_[kGrayMode], id - kGrayModeBayer);
  } else if (id == kOnce) {
    StoreShared(block_[kGrayAutoGain], 1);  // one measurement
  } else if (id == kAllFrames) {
    // -1 counts down without reaching 0: every frame is measured.
    StoreShared(block_[kGrayAutoGain], window_.IsChecked(kAllFrames) ? -1 : 0);
  }
}

}  // namespace quorel
