// Setting up and showing the slider rows (trackbar, number edit, up-down)
// of the filter and analog pages.
#pragma once

#include <span>

#include "dialogs/DialogWindow.h"
#include "dialogs/SliderRows.h"

namespace quorel {

// Range, tick frequency and value of the trackbar, range and position of
// the up-down bound to the edit, the value as signed text in the edit, and
// all three enabled or disabled.
void SetUpSlider(DialogWindow &window, const SliderRow &row, int minimum, int maximum, int tickFrequency, int value,
                 bool enabled);

// Trackbar position and edit text of one row.
void ShowSliderValue(DialogWindow &window, const SliderRow &row, int value);

// The row that owns this edit or trackbar; null when none does.
const SliderRow *FindRowByEdit(std::span<const SliderRow> rows, int id);
const SliderRow *FindRowByTrackbar(std::span<const SliderRow> rows, int id);

}  // namespace quorel
