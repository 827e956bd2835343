#include "dialogs/SliderControls.h"

namespace quorel {

void SetUpSlider(DialogWindow &window, const SliderRow &row, int minimum, int maximum, int tickFrequency, int value,
                 bool enabled) {
  window.SetRange(row.trackbar, minimum, maximum);
  window.SetPosition(row.trackbar, value);
  window.SetTickFrequency(row.trackbar, tickFrequency);
  window.SetRange(row.upDown, minimum, maximum);
  window.SetPosition(row.upDown, value);
  window.SetBuddy(row.upDown, row.edit);
  window.SetInt(row.edit, value, true);
  window.Enable(row.trackbar, enabled);
  window.Enable(row.edit, enabled);
  window.Enable(row.upDown, enabled);
}

void ShowSliderValue(DialogWindow &window, const SliderRow &row, int value) {
  window.SetPosition(row.trackbar, value);
  window.SetInt(row.edit, value, true);
}

const SliderRow *FindRowByEdit(std::span<const SliderRow> rows, int id) {
  for (const SliderRow &row : rows) {
    if (row.edit == id) return &row;
  }
  return nullptr;
}

const SliderRow *FindRowByTrackbar(std::span<const SliderRow> rows, int id) {
  for (const SliderRow &row : rows) {
    if (row.trackbar == id) return &row;
  }
  return nullptr;
}

}  // namespace quorel
