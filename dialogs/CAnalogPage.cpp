#include "dialogs/CAnalogPage.h"

#include <cstdio>

#include "dialogs/DialogIds.h"
#include "dialogs/SliderControls.h"
#include "platform/SharedValue.h"

namespace quorel {

using namespace dialog_id;

namespace {

constexpr int kGlobalRow = 0;
constexpr int kExposureRow = 5;
constexpr int kMirrorVEntry = 6;
constexpr int kMirrorHEntry = 7;
constexpr int kAutoIrisEntry = 8;

}  // namespace

int32_t &AnalogEntry(AnalogBlock &block, int index) {
  int32_t *entries[9] = {&block.globalGain,    &block.colorGainGreen1, &block.colorGainRed,
                         &block.colorGainBlue, &block.colorGainGreen2, &block.exposure,
                         &block.mirrorV,       &block.mirrorH,         &block.autoIris};
  return *entries[index];
}

std::string CAnalogPage::ExposureText(int lines, const ExposureConversion &conversion) {
  const double ms = (static_cast<double>(lines) * static_cast<double>(conversion.lineLength) +
                     static_cast<double>(conversion.fineTerm)) *
                    conversion.unitMs;
  char text[64];
  std::snprintf(text, sizeof text, "=%.2fms", ms);
  return text;
}

CAnalogPage::CAnalogPage(const DialogTemplate &pageTemplate, AnalogBlock &block, AnalogSensor &sensor,
                         const ExposureConversion &conversion)
    : window_(pageTemplate), block_(block), sensor_(sensor), conversion_(conversion) {
  window_.SetHandler(this);
}

void CAnalogPage::Open() {
  ready_ = false;
  for (size_t i = 0; i < kAnalogSliders.size(); ++i) {
    const SliderRow &row = kAnalogSliders[i];
    int minimum = 0, maximum = 0, fallback = 0;
    if (i == kGlobalRow) {
      sensor_.GlobalGainRange(&minimum, &maximum, &fallback);
    } else if (i == kExposureRow) {
      maximum = sensor_.ExposureMax();
    } else {
      sensor_.ColorGainRange(kAnalogColorRegisters[i - 1], &minimum, &maximum, &fallback);
    }
    SetUpSlider(window_, row, minimum, maximum, (maximum - minimum) / 8, LoadShared(AnalogEntry(block_, row.entry)),
                true);
  }
  window_.SetCheck(kMirrorV, LoadShared(block_.mirrorV) != 0);
  window_.SetCheck(kMirrorH, LoadShared(block_.mirrorH) != 0);
  const int autoIris = LoadShared(block_.autoIris);
  window_.SetCheck(kIrisExposure, autoIris == 1);
  window_.SetCheck(kIrisGain, autoIris == 2);
  ShowExposure();
  ready_ = true;
}

void CAnalogPage::Refresh() {
  // The values were written to the sensor already; showing them must not
  // write them again.
  ready_ = false;
  for (const SliderRow &row : kAnalogSliders) ShowSliderValue(window_, row, LoadShared(AnalogEntry(block_, row.entry)));
  ShowExposure();
  ready_ = true;
}

void CAnalogPage::ReadBack() {
  for (const SliderRow &row : kAnalogSliders)
    StoreShared(AnalogEntry(block_, row.entry), window_.GetInt(row.edit, true));
}

void CAnalogPage::ShowExposure() {
  window_.SetText(kExposureReadout, ExposureText(LoadShared(block_.exposure), conversion_));
}

void CAnalogPage::OnTrackbarMoved(int id) {
  const SliderRow *row = FindRowByTrackbar(kAnalogSliders, id);
  if (row != nullptr) window_.SetInt(row->edit, window_.GetPosition(id), true);
}

void CAnalogPage::OnCommand(int id, ControlNotify notify) {
  if (notify == ControlNotify::kEditChanged) {
    const SliderRow *row = FindRowByEdit(kAnalogSliders, id);
    if (row == nullptr || !ready_) return;
    // Stored and written as typed; the register writes apply their own limits.
    const int value = window_.GetInt(id, true);
    StoreShared(AnalogEntry(block_, row->entry), value);
    window_.SetPosition(row->trackbar, value);
    if (row->entry == kGlobalRow) {
      sensor_.SetGlobalGain(value);
      // Each colour edit then stores its entry and writes its register.
      for (size_t i = 1; i <= 4; ++i) window_.SetInt(kAnalogSliders[i].edit, value, true);
    } else if (row->entry == kExposureRow) {
      sensor_.SetExposure(value);
      ShowExposure();
    } else {
      sensor_.SetColorGain(kAnalogColorRegisters[static_cast<size_t>(row->entry - 1)], value);
    }
    return;
  }
  if (notify != ControlNotify::kClicked) return;
  switch (id) {
    case kMirrorV: {
      const int on = window_.IsChecked(kMirrorV) ? 1 : 0;
      sensor_.SetMirrorV(on);
      StoreShared(AnalogEntry(block_, kMirrorVEntry), on);
      break;
    }
    case kMirrorH: {
      const int on = window_.IsChecked(kMirrorH) ? 1 : 0;
      sensor_.SetMirrorH(on);
      StoreShared(AnalogEntry(block_, kMirrorHEntry), on);
      break;
    }
    case kIrisGain:
      if (window_.IsChecked(kIrisGain)) window_.SetCheck(kIrisExposure, false);
      StoreShared(AnalogEntry(block_, kAutoIrisEntry), window_.IsChecked(kIrisGain) ? 2 : 0);
      break;
    case kIrisExposure:
      if (window_.IsChecked(kIrisExposure)) window_.SetCheck(kIrisGain, false);
      StoreShared(AnalogEntry(block_, kAutoIrisEntry), window_.IsChecked(kIrisExposure) ? 1 : 0);
      break;
    default:
      break;
  }
}

}  // namespace quorel
