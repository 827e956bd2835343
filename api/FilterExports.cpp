// The generic filter-value pair and its 27 named forms, each a fixed-identifier
// call of the generic export (so they run the same frame).
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_GetFilterValue(int handle, int filterId, int *ok) {
  QUOREL_FORWARD(0, camera.GetFilterValue(filterId, ok), filterId, ok);
}

QUOREL_API int Quorel_SetFilterValue(int handle, int filterId, int value) {
  QUOREL_FORWARD(0, camera.SetFilterValue(filterId, value), filterId, value);
}

#define QUOREL_NAMED_FILTER(Name, id)                      \
  QUOREL_API int Quorel_Get##Name(int handle, int *ok) {   \
    return Quorel_GetFilterValue(handle, id, ok);          \
  }                                                        \
  QUOREL_API int Quorel_Set##Name(int handle, int value) { \
    return Quorel_SetFilterValue(handle, id, value);       \
  }

QUOREL_NAMED_FILTER(Brightness, 1)
QUOREL_NAMED_FILTER(Contrast, 2)
QUOREL_NAMED_FILTER(Hue, 3)
QUOREL_NAMED_FILTER(Saturation, 4)
QUOREL_NAMED_FILTER(Sharpness, 5)
QUOREL_NAMED_FILTER(BayerGainRGB, 6)
QUOREL_NAMED_FILTER(BayerGainRed, 7)
QUOREL_NAMED_FILTER(BayerGainGreen, 8)
QUOREL_NAMED_FILTER(BayerGainBlue, 9)
QUOREL_NAMED_FILTER(BayerGainAuto, 10)
QUOREL_NAMED_FILTER(Gamma, 11)
QUOREL_NAMED_FILTER(BayerMode, 12)
QUOREL_NAMED_FILTER(GlobalGain, 13)
QUOREL_NAMED_FILTER(ColorGainRed, 14)
QUOREL_NAMED_FILTER(ColorGainGreen1, 15)
QUOREL_NAMED_FILTER(ColorGainGreen2, 16)
QUOREL_NAMED_FILTER(ColorGainBlue, 17)
QUOREL_NAMED_FILTER(ExposureTime, 18)
QUOREL_NAMED_FILTER(GrayMode, 19)
QUOREL_NAMED_FILTER(GrayGainR, 20)
QUOREL_NAMED_FILTER(GrayGainG1, 21)
QUOREL_NAMED_FILTER(GrayGainG2, 22)
QUOREL_NAMED_FILTER(GrayGainB, 23)
QUOREL_NAMED_FILTER(GrayOffsetR, 24)
QUOREL_NAMED_FILTER(GrayOffsetG1, 25)
QUOREL_NAMED_FILTER(GrayOffsetG2, 26)
QUOREL_NAMED_FILTER(GrayOffsetB, 27)

#undef QUOREL_NAMED_FILTER

}  // extern "C"
