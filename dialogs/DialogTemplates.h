// The templates of the three settings dialogs and their pages, in English
// and Japanese, and the texts their lists are filled with. The Japanese
// templates have the same identifiers and layout as the English ones.
//
// Thread context: any thread; everything returned is constant data that
// lives as long as the library.
#pragma once

#include <array>
#include <string>

#include "dialogs/DialogSession.h"
#include "dialogs/DialogTemplate.h"

namespace quorel {

// Japanese when the locale (LC_ALL, else LC_MESSAGES, else LANG) starts
// with "ja", English otherwise.
DialogLanguage CurrentDialogLanguage();

const DialogTemplate &CameraDialogTemplate(DialogLanguage language);
const DialogTemplate &FilterFrameTemplate(DialogLanguage language);
const DialogTemplate &ImagePageTemplate(DialogLanguage language);
const DialogTemplate &GrayPageTemplate(DialogLanguage language);
const DialogTemplate &AnalogFrameTemplate(DialogLanguage language);
const DialogTemplate &AnalogPageTemplate(DialogLanguage language);

struct CameraDialogTexts {
  std::string tab;
  std::array<std::string, 6> colorModes;  // position = colour-mode index
  std::array<std::string, 5> subSamples;  // position, not code
  std::array<std::string, 3> clocks;      // position = clock setting
  std::string custom;                     // the last entry of the size list
};
const CameraDialogTexts &CameraTexts(DialogLanguage language);

// Tab texts of the filter and analog frames (the same in both languages).
inline constexpr const char kImageFilterTab[] = "Image Filter";
inline constexpr const char kGrayFilterTab[] = "Gray Filter";
inline constexpr const char kAnalogGainTab[] = "Analog Gain";

}  // namespace quorel
