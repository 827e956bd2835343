// Reading and writing every image-filter, Bayer, gray, gain and exposure
// setting by its numeric identifier (1 to 28).
#include "camera/CQuorel.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "platform/SharedValue.h"

namespace quorel {

namespace {

// Identifiers whose value is a plain entry of the filter block, with the
// entry and the accepted range. A range starting at 0 is tested on the value
// taken as unsigned, so negative values fail it.
struct StoredFilter {
  int id;
  int entry;
  int minimum;
  int maximum;
};

constexpr StoredFilter kStoredFilters[] = {
    {1, kBrightness, -255, 255},   {2, kContrast, -127, 127},      {3, kHue, -360, 360},
    {4, kSaturation, -255, 255},   {5, kSharpness, 0, 30},         {7, kBayerGainRed, 0, 400},
    {8, kBayerGainGreen, 0, 400},  {9, kBayerGainBlue, 0, 400},    {11, kGamma, 0, 200},
    {12, kBayerMode, 0, 3},        {19, kGrayMode, 0, 2},          {20, kGrayGainR, 0, 255},
    {21, kGrayGainG1, 0, 255},     {22, kGrayGainG2, 0, 255},      {23, kGrayGainB, 0, 255},
    {24, kGrayOffsetR, -255, 255}, {25, kGrayOffsetG1, -255, 255}, {26, kGrayOffsetG2, -255, 255},
    {27, kGrayOffsetB, -255, 255}, {28, kGrayAutoGain, 0, 1},
};

const StoredFilter *FindStored(int id) {
  for (const StoredFilter &filter : kStoredFilters) {
    if (filter.id == id) return &filter;
  }
  return nullptr;
}

bool InRange(const StoredFilter &filter, int value) {
  if (filter.minimum == 0) return static_cast<unsigned>(value) <= static_cast<unsigned>(filter.maximum);
  return value >= filter.minimum && value <= filter.maximum;
}

// Sensor colour-gain registers of identifiers 14 to 17.
int ColorGainRegister(int id) {
  switch (id) {
    case 14:
      return 0x305A;  // red
    case 15:
      return 0x3056;  // green 1
    case 16:
      return 0x305C;  // green 2
    default:
      return 0x3058;  // blue (17)
  }
}

int32_t &AnalogColorGain(AnalogBlock &analog, int reg) {
  switch (reg) {
    case 0x305A:
      return analog.colorGainRed;
    case 0x3056:
      return analog.colorGainGreen1;
    case 0x305C:
      return analog.colorGainGreen2;
    default:
      return analog.colorGainBlue;
  }
}

}  // namespace

int CQuorel::GetFilterValue(int filterId, int *ok) {
  if (device_ == nullptr) {
    if (ok != nullptr) *ok = 0;
    ReportError(kErrNotReady, "Quorel_GetFilterValue");
    return 0;
  }
  if (ok != nullptr) *ok = 1;
  if (const StoredFilter *stored = FindStored(filterId)) return LoadShared(filters_[stored->entry]);
  switch (filterId) {
    case 6:
      return (LoadShared(filters_[kBayerGainRed]) & 0xFF) | ((LoadShared(filters_[kBayerGainGreen]) & 0xFF) << 8) |
             ((LoadShared(filters_[kBayerGainBlue]) & 0xFF) << 16);
    case 10:
      return LoadShared(filters_[kBayerGainAuto]);
    case 13:
      return device_->GetGlobalGain() & 0xFF;
    case 14:
    case 15:
    case 16:
    case 17: {
      int gain = 0;
      device_->GetColorGain(ColorGainRegister(filterId), &gain);
      return gain & 0xFF;
    }
    case 18:
      return device_->GetExposure() & 0xFFFF;
    default:
      if (ok != nullptr) *ok = 0;
      ReportError(kErrArgument, "Quorel_GetFilterValue");
      return 0;
  }
}

int CQuorel::SetFilterValue(int filterId, int value) {
  if (!RequireDevice("Quorel_SetFilterValue")) return 0;
  if (const StoredFilter *stored = FindStored(filterId)) {
    if (!InRange(*stored, value)) {
      ReportError(kErrArgument, "Quorel_SetFilterValue");
      return 0;
    }
    StoreShared(filters_[stored->entry], value);
    return 1;
  }
  int minimum = 0, maximum = 0, fallback = 0;
  switch (filterId) {
    case 6:
      StoreShared(filters_[kBayerGainRed], value & 0xFF);
      StoreShared(filters_[kBayerGainGreen], (value >> 8) & 0xFF);
      StoreShared(filters_[kBayerGainBlue], (value >> 16) & 0xFF);
      return 1;
    case 10:
      StoreShared(filters_[kBayerGainAuto], value != 0 ? 1 : 0);
      return 1;
    case 13:
      device_->GetGlobalGainRange(&minimum, &maximum, &fallback);
      if (value < minimum || value > maximum) break;
      StoreShared(analog_.globalGain, value);
      StoreShared(analog_.colorGainGreen1, value);
      StoreShared(analog_.colorGainRed, value);
      StoreShared(analog_.colorGainBlue, value);
      StoreShared(analog_.colorGainGreen2, value);
      device_->SetGlobalGain(value);
      return 1;
    case 14:
    case 15:
    case 16:
    case 17: {
      const int reg = ColorGainRegister(filterId);
      device_->GetColorGainRange(reg, &minimum, &maximum, &fallback);
      if (value < minimum || value > maximum) break;
      StoreShared(AnalogColorGain(analog_, reg), value);
      device_->SetColorGain(reg, value);
      return 1;
    }
    case 18:
      if (static_cast<unsigned>(value) > static_cast<unsigned>(device_->GetExposureMax())) break;
      StoreShared(analog_.exposure, value);
      device_->SetExposure(value);
      return 1;
    default:
      break;
  }
  ReportError(kErrArgument, "Quorel_SetFilterValue");
  return 0;
}

}  // namespace quorel
