// Automatic iris: the library's exposure control. Measures five regions of
// the raw mosaic and, when the picture is clearly too dark or too bright,
// scales the sensor's exposure time (mode 1) or global analog gain (mode 2)
// once for this frame. Keeps nothing between frames; a change shows in a
// later frame, so the control settles over several frames.
//
// Thread context: the acquisition thread, under the camera's frame lock.
#pragma once

#include <array>
#include <functional>

#include "image/DibImage.h"
#include "image/PipelineDevice.h"
#include "settings/CameraSettings.h"

namespace quorel {

constexpr int kAutoIrisOff = 0;
constexpr int kAutoIrisExposure = 1;
constexpr int kAutoIrisGain = 2;

// Analog dialog controls that show the values this step writes.
constexpr int kAnalogControlGlobalGain = 1015;
constexpr int kAnalogControlExposure = 1027;

// Shows a new value in a control of the open analog dialog.
using AnalogDialogShow = std::function<void(int control, int value)>;

// The five measurement regions (top left, bottom left, centre, top right,
// bottom right) of a width x height image, in bitmap coordinates.
std::array<KernelRect, 5> AutoIrisRegions(int width, int height);

// Mean level of one region on the 8-bit scale (16-bit samples count as
// sample >> 4), truncated; 0 for a region that lies outside the image.
int AutoIrisMeanLevel(const DibImage &mosaic, const KernelRect &region);

// The correction factor of the five region means (1.0 plus or minus a step
// per region by its level).
double AutoIrisFactor(const std::array<int, 5> &means);

// Runs the step for mode `mode` (1 exposure, 2 gain; any other value does
// nothing). Writes the sensor through device, stores the values written in
// analog (global gain and the four colour gains, or exposure), and shows
// them through show when it is set (the analog dialog is open).
void AutoIris(const DibImage &mosaic, int mode, PipelineDevice &device, AnalogBlock &analog,
              const AnalogDialogShow &show);

}  // namespace quorel
