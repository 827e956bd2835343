#include "dialogs/DialogTemplates.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialogs/DialogIds.h"
#include "dialogs/SliderRows.h"

namespace quorel {

namespace {

using namespace dialog_id;

bool Japanese(DialogLanguage language) {
  return language == DialogLanguage::kJapanese;
}

// English or Japanese text.
const char *Pick(DialogLanguage language, const char *english, const char *japanese) {
  return Japanese(language) ? japanese : english;
}

class TemplateBuilder {
 public:
  TemplateBuilder(int resourceId, const char *caption, ControlRect rect) {
    t_.resourceId = resourceId;
    t_.caption = caption;
    t_.rect = rect;
  }
  TemplateBuilder &Add(ControlKind kind, int id, const std::string &text, ControlRect rect, unsigned style = kStyleNone,
                       int buddy = 0) {
    t_.controls.push_back(ControlTemplate{kind, id, text, rect, style, buddy});
    return *this;
  }
  TemplateBuilder &Label(const std::string &text, ControlRect rect) {
    return Add(ControlKind::kStatic, kNoControlId, text, rect);
  }
  TemplateBuilder &Group(const std::string &text, ControlRect rect) {
    return Add(ControlKind::kGroupBox, kNoControlId, text, rect);
  }
  // Label, trackbar, number edit and up-down of one slider row at height y.
  TemplateBuilder &Slider(const std::string &label, const SliderRow &row, int x, int labelWidth, int trackWidth,
                          int y) {
    Label(label, {x, y + 2, labelWidth, 10});
    const int trackX = x + labelWidth + 2;
    Add(ControlKind::kTrackbar, row.trackbar, "", {trackX, y, trackWidth, 14});
    const int editX = trackX + trackWidth + 4;
    Add(ControlKind::kEdit, row.edit, "", {editX, y + 1, 34, 12}, kStyleNumber);
    return Add(ControlKind::kUpDown, row.upDown, "", {editX + 34, y + 1, 10, 12}, kStyleNone, row.edit);
  }
  DialogTemplate Build() { return std::move(t_); }

 private:
  DialogTemplate t_;
};

DialogTemplate MakeCameraDialog(DialogLanguage l) {
  TemplateBuilder b(Japanese(l) ? kCameraJapanese : kCameraEnglish, "Property", {0, 0, 280, 252});
  b.Add(ControlKind::kTab, kTab, "", {7, 7, 266, 208});
  b.Group(Pick(l, "Video Format", "ビデオ形式"), {15, 25, 250, 66});
  b.Label(Pick(l, "Color / Compression(&C):", "カラー / 圧縮(&C):"), {23, 40, 90, 10});
  b.Add(ControlKind::kDropDownList, kColorList, "", {115, 38, 140, 14});
  b.Label(Pick(l, "Size(&S):", "サイズ(&S):"), {23, 56, 90, 10});
  b.Add(ControlKind::kDropDownList, kSizeList, "", {115, 54, 140, 14});
  b.Label(Pick(l, "Sub Sample(&B):", "サブサンプル(&B):"), {23, 72, 90, 10});
  b.Add(ControlKind::kDropDownList, kSubSampleList, "", {115, 70, 140, 14});
  b.Group(Pick(l, "Camera Size", "カメラサイズ"), {15, 95, 250, 62});
  const char *geometryLabels[6][2] = {{"H Total", "水平トータル"}, {"V Total", "垂直トータル"},
                                      {"H Effective", "水平有効"}, {"V Effective", "垂直有効"},
                                      {"H Start", "水平開始位置"}, {"V Start", "垂直開始位置"}};
  const int geometryIds[6] = {kHTotal, kVTotal, kHEffective, kVEffective, kHStart, kVStart};
  for (int i = 0; i < 6; ++i) {
    const int x = i % 2 == 0 ? 23 : 143;
    const int y = 109 + (i / 2) * 15;
    b.Label(Pick(l, geometryLabels[i][0], geometryLabels[i][1]), {x, y + 2, 56, 10});
    b.Add(ControlKind::kEdit, geometryIds[i], "", {x + 58, y, 52, 12}, i < 2 ? kStyleReadOnly : kStyleNone);
  }
  b.Group(Pick(l, "Frame Rate", "フレームレート"), {15, 161, 250, 34});
  b.Label(Pick(l, "Wait Time(&T):", "待ち時間(&T):"), {23, 176, 56, 10});
  b.Add(ControlKind::kEdit, kWaitTime, "", {81, 174, 40, 12});
  b.Label(Pick(l, "Clock(&C):", "クロック(&C):"), {131, 176, 50, 10});
  b.Add(ControlKind::kDropDownList, kClockList, "", {183, 174, 72, 14});
  b.Label(Pick(l, "* In the WORD forwarding mode, please set the clock to the half.",
               "※ WORD転送モードでは、クロックをハーフに設定してください。"),
          {7, 219, 266, 10});
  b.Add(ControlKind::kPushButton, kOk, "OK", {113, 233, 50, 14}, kStyleDefaultButton);
  b.Add(ControlKind::kPushButton, kCancel, Pick(l, "Cancel", "キャンセル"), {168, 233, 50, 14});
  b.Add(ControlKind::kPushButton, kApply, Pick(l, "Apply(&A)", "適用(&A)"), {223, 233, 50, 14});
  return b.Build();
}

// A property frame: the tab control over the pages and the three buttons.
DialogTemplate MakeFrame(int resourceId, DialogLanguage l, int pageWidth, int pageHeight) {
  const int tabWidth = pageWidth + 28;
  const int tabHeight = pageHeight + 26;
  const int width = tabWidth + 14;
  const int buttonsY = 7 + tabHeight + 6;
  TemplateBuilder b(resourceId, "Property", {0, 0, width, buttonsY + 21});
  b.Add(ControlKind::kTab, kTab, "", {7, 7, tabWidth, tabHeight});
  b.Add(ControlKind::kPushButton, kOk, "OK", {width - 171, buttonsY, 50, 14}, kStyleDefaultButton);
  b.Add(ControlKind::kPushButton, kCancel, Pick(l, "Cancel", "キャンセル"), {width - 116, buttonsY, 50, 14});
  b.Add(ControlKind::kPushButton, kDefault, Pick(l, "Default(&D)", "初期値(&D)"), {width - 61, buttonsY, 54, 14});
  return b.Build();
}

// Pages sit inside the frame's tab control, below the tab row.
constexpr ControlRect PageRect(int width, int height) {
  return {14, 20, width, height};
}

constexpr int kImagePageWidth = 290, kImagePageHeight = 200;
constexpr int kGrayPageWidth = 290, kGrayPageHeight = 226;
constexpr int kFilterPageHeight = kGrayPageHeight;  // the frame fits the taller page
constexpr int kAnalogPageWidth = 290, kAnalogPageHeight = 166;

void AddBayerRadios(TemplateBuilder &b, DialogLanguage l, int y) {
  b.Label(Pick(l, "Bayer Mode", "ベイヤーモード"), {6, y, 80, 10});
  // The first two sensor rows of each phase.
  const char *names[4] = {"GB/RG", "RG/GB", "BG/GR", "GR/BG"};
  for (int mode = 0; mode < 4; ++mode) {
    b.Add(ControlKind::kRadioButton, kBayerMode0 + mode, names[mode], {90 + mode * 48, y, 46, 10},
          mode == 0 ? kStyleGroupStart : kStyleNone);
  }
}

DialogTemplate MakeImagePage(DialogLanguage l) {
  TemplateBuilder b(Japanese(l) ? kImagePageJapanese : kImagePageEnglish, "",
                    PageRect(kImagePageWidth, kImagePageHeight));
  const char *labels[9][2] = {
      {"&Brightness", "明るさ(&B)"}, {"&Contrast", "コントラスト(&C)"},  {"&Hue", "色相(&H)"},
      {"&Saturation", "彩度(&S)"},   {"Shar&pness", "シャープネス(&P)"}, {"&R Gain", "Rゲイン(&R)"},
      {"&G Gain", "Gゲイン(&G)"},    {"&B Gain", "Bゲイン(&B)"},         {"&Gamma", "ガンマ(&G)"}};
  for (size_t i = 0; i < kImageSliders.size(); ++i) {
    b.Slider(Pick(l, labels[i][0], labels[i][1]), kImageSliders[i], 6, 70, 160, 4 + static_cast<int>(i) * 17);
  }
  b.Label(Pick(l, "Auto white balance", "オートホワイトバランス"), {6, 162, 84, 10});
  b.Add(ControlKind::kPushButton, kOnce, Pick(l, "Once", "1回"), {92, 160, 44, 14});
  b.Add(ControlKind::kCheckBox, kAllFrames, Pick(l, "All frames", "全フレーム"), {142, 162, 80, 10});
  AddBayerRadios(b, l, 182);
  return b.Build();
}

DialogTemplate MakeGrayPage(DialogLanguage l) {
  TemplateBuilder b(Japanese(l) ? kGrayPageJapanese : kGrayPageEnglish, "", PageRect(kGrayPageWidth, kGrayPageHeight));
  const char *rows[4][2] = {{"Red", "赤"}, {"Green1", "緑1"}, {"Green2", "緑2"}, {"Blue", "青"}};
  for (int group = 0; group < 2; ++group) {
    const int top = 2 + group * 82;
    b.Group(group == 0 ? Pick(l, "Gain", "ゲイン") : Pick(l, "Offset", "オフセット"), {4, top, 282, 78});
    for (int r = 0; r < 4; ++r) {
      b.Slider(Pick(l, rows[r][0], rows[r][1]), kGraySliders[static_cast<size_t>(group) * 4 + static_cast<size_t>(r)],
               12, 44, 170, top + 12 + r * 16);
    }
  }
  b.Label(Pick(l, "Filter mode", "フィルタモード"), {6, 172, 80, 10});
  b.Add(ControlKind::kRadioButton, kGrayModeBayer, Pick(l, "Bayer", "ベイヤー"), {90, 172, 50, 10}, kStyleGroupStart);
  b.Add(ControlKind::kRadioButton, kGrayModeConvert, Pick(l, "Bayer convert", "ベイヤー変換"), {142, 172, 70, 10});
  b.Add(ControlKind::kRadioButton, kGrayModeGrayscale, Pick(l, "Grayscale", "グレースケール"), {214, 172, 70, 10});
  b.Label(Pick(l, "Auto Gain", "オートゲイン"), {6, 190, 80, 10});
  b.Add(ControlKind::kPushButton, kOnce, Pick(l, "Once", "1回"), {92, 188, 44, 14});
  b.Add(ControlKind::kCheckBox, kAllFrames, Pick(l, "All frames", "全フレーム"), {142, 190, 80, 10});
  AddBayerRadios(b, l, 210);
  return b.Build();
}

DialogTemplate MakeAnalogPage(DialogLanguage l) {
  TemplateBuilder b(Japanese(l) ? kAnalogPageJapanese : kAnalogPageEnglish, "",
                    PageRect(kAnalogPageWidth, kAnalogPageHeight));
  const char *labels[6][2] = {{"&Global Gain", "グローバルゲイン(&G)"},  {"&Color Gain G1", "カラーゲイン G1(&C)"},
                              {"&Color Gain R", "カラーゲイン R(&C)"},   {"&Color Gain B", "カラーゲイン B(&C)"},
                              {"&Color Gain G2", "カラーゲイン G2(&C)"}, {"&Exposure", "露光時間(&E)"}};
  for (size_t i = 0; i < kAnalogSliders.size(); ++i) {
    b.Slider(Pick(l, labels[i][0], labels[i][1]), kAnalogSliders[i], 6, 80, 150, 4 + static_cast<int>(i) * 18);
  }
  b.Add(ControlKind::kStatic, kExposureReadout, "= msec", {186, 114, 100, 10});
  b.Label(Pick(l, "Auto Iris", "オートアイリス"), {6, 132, 80, 10});
  b.Add(ControlKind::kCheckBox, kIrisGain, Pick(l, "Gain", "ゲイン"), {90, 132, 60, 10});
  b.Add(ControlKind::kCheckBox, kIrisExposure, Pick(l, "Exposure", "露光時間"), {152, 132, 70, 10});
  b.Add(ControlKind::kCheckBox, kMirrorV, Pick(l, "Mirror V", "上下反転"), {6, 150, 80, 10});
  b.Add(ControlKind::kCheckBox, kMirrorH, Pick(l, "Mirror H", "左右反転"), {90, 150, 80, 10});
  return b.Build();
}

template <DialogTemplate (*Make)(DialogLanguage)>
const DialogTemplate &Cached(DialogLanguage language) {
  static const DialogTemplate english = Make(DialogLanguage::kEnglish);
  static const DialogTemplate japanese = Make(DialogLanguage::kJapanese);
  return Japanese(language) ? japanese : english;
}

DialogTemplate MakeFilterFrame(DialogLanguage l) {
  return MakeFrame(Japanese(l) ? kFilterFrameJapanese : kFilterFrameEnglish, l, kImagePageWidth, kFilterPageHeight);
}

DialogTemplate MakeAnalogFrame(DialogLanguage l) {
  return MakeFrame(Japanese(l) ? kAnalogFrameJapanese : kAnalogFrameEnglish, l, kAnalogPageWidth, kAnalogPageHeight);
}

CameraDialogTexts MakeCameraTexts(DialogLanguage l) {
  CameraDialogTexts t;
  const std::array<std::string, 5> subSamples{"1/1", "1/2 Skip", "1/4 Skip", "1/2 Bin", "1/4 Bin"};
  t.subSamples = subSamples;
  char buffer[64];
  if (Japanese(l)) {
    t.tab = "ストリーム形式";
    std::snprintf(buffer, sizeof buffer, "白黒 %dbit ※", 12);
    t.colorModes = {"白黒 8bit", buffer, "カラー 24bit", "カラー 32bit", "カラー 48bit ※", "カラー 64bit ※"};
    std::snprintf(buffer, sizeof buffer, "高速(%dMHz)", 48);
    t.clocks = {"標準(24MHz)", "ハーフ(12MHz)", buffer};
    t.custom = "カスタム";
  } else {
    t.tab = "Stream Format";
    t.colorModes = {"Monochrome 8bit", "Monochrome 10bit *", "Color 24bit",
                    "Color 32bit",     "Color 48bit *",      "Color 64bit *"};
    std::snprintf(buffer, sizeof buffer, "High(%dMHz)", 48);
    t.clocks = {"Nomal(24MHz)", "Half(12MHz)", buffer};
    t.custom = "Custom";
  }
  return t;
}

}  // namespace

DialogLanguage CurrentDialogLanguage() {
  const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char *name : names) {
    const char *value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') continue;
    return std::strncmp(value, "ja", 2) == 0 ? DialogLanguage::kJapanese : DialogLanguage::kEnglish;
  }
  return DialogLanguage::kEnglish;
}

const DialogTemplate &CameraDialogTemplate(DialogLanguage language) {
  return Cached<MakeCameraDialog>(language);
}

const DialogTemplate &FilterFrameTemplate(DialogLanguage language) {
  return Cached<MakeFilterFrame>(language);
}

const DialogTemplate &ImagePageTemplate(DialogLanguage language) {
  return Cached<MakeImagePage>(language);
}

const DialogTemplate &GrayPageTemplate(DialogLanguage language) {
  return Cached<MakeGrayPage>(language);
}

const DialogTemplate &AnalogFrameTemplate(DialogLanguage language) {
  return Cached<MakeAnalogFrame>(language);
}

const DialogTemplate &AnalogPageTemplate(DialogLanguage language) {
  return Cached<MakeAnalogPage>(language);
}

const CameraDialogTexts &CameraTexts(DialogLanguage language) {
  static const CameraDialogTexts english = MakeCameraTexts(DialogLanguage::kEnglish);
  static const CameraDialogTexts japanese = MakeCameraTexts(DialogLanguage::kJapanese);
  return Japanese(language) ? japanese : english;
}

}  // namespace quorel
