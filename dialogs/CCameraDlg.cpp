#include "dialogs/CCameraDlg.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "dialogs/DialogIds.h"
#include "dialogs/DialogTemplates.h"
#include "platform/DebugLog.h"

namespace quorel {

namespace {

using namespace dialog_id;

// The one camera dialog of the process (the dialog reaches its state through
// one process-wide pointer, so a second one would share it).
std::atomic<CCameraDlg *> g_openCameraDialog{nullptr};

constexpr int kSubSampleCodes[5] = {0, 1, 2, 17, 18};
constexpr int kGeometryEdits[6] = {kHTotal, kVTotal, kHEffective, kVEffective, kHStart, kVStart};

std::string SizeText(const CaptureGeometry &g) {
  char text[32];
  std::snprintf(text, sizeof text, "%d x %d", g.width, g.height);
  return text;
}

int32_t *GeometryField(CaptureGeometry &g, int index) {
  int32_t *fields[6] = {&g.horizontalTotal, &g.verticalTotal,   &g.width,
                        &g.height,          &g.horizontalStart, &g.verticalStart};
  return fields[index];
}

}  // namespace

int CCameraDlg::SubSampleCode(int position) {
  return position >= 0 && position < 5 ? kSubSampleCodes[position] : 0;
}

int CCameraDlg::SubSamplePosition(int code) {
  for (int position = 0; position < 5; ++position) {
    if (kSubSampleCodes[position] == code) return position;
  }
  return 0;
}

std::unique_ptr<CCameraDlg> CCameraDlg::TryCreate(int deviceNumber, DialogLanguage language) {
  std::unique_ptr<CCameraDlg> dialog(new CCameraDlg(deviceNumber, language));
  CCameraDlg *expected = nullptr;
  if (!g_openCameraDialog.compare_exchange_strong(expected, dialog.get())) {
    LogPrint(LogCategory::kDialogs, 1, "camera dialog refused: one is already open in this process");
    return nullptr;
  }
  return dialog;
}

CCameraDlg::CCameraDlg(int deviceNumber, DialogLanguage language)
    : DialogSession(language), deviceNumber_(deviceNumber), window_(CameraDialogTemplate(language)) {
  // What the dialog shows when the registry holds nothing for this camera.
  table_.presetCount = 0;
  table_.size = 0;
  table_.color = 2;
  table_.subSample = 0;
  table_.waitTime = 1;
  table_.clock = 2;
  window_.SetHandler(this);
}

CCameraDlg::~CCameraDlg() {
  CCameraDlg *self = this;
  g_openCameraDialog.compare_exchange_strong(self, nullptr);
}

void CCameraDlg::Open() {
  LoadCameraDialogTable(deviceNumber_, table_);
  const CameraDialogTexts &texts = CameraTexts(Language());
  window_.ResetItems(kTab);
  window_.AddItem(kTab, texts.tab);
  window_.SetSelection(kTab, 0);

  window_.ResetItems(kColorList);
  for (const std::string &text : texts.colorModes) window_.AddItem(kColorList, text);
  window_.SetSelection(kColorList, table_.color);

  window_.ResetItems(kSubSampleList);
  for (const std::string &text : texts.subSamples) window_.AddItem(kSubSampleList, text);
  window_.SetSelection(kSubSampleList, SubSamplePosition(table_.subSample));

  window_.ResetItems(kClockList);
  for (const std::string &text : texts.clocks) window_.AddItem(kClockList, text);
  window_.SetSelection(kClockList, table_.clock);

  window_.ResetItems(kSizeList);
  for (int i = 0; i < table_.presetCount; ++i) window_.AddItem(kSizeList, SizeText(table_.presets[i]));
  window_.AddItem(kSizeList, texts.custom);
  window_.SetSelection(kSizeList, table_.size);

  ShowPreset(table_.size);
  window_.SetInt(kWaitTime, table_.waitTime, false);
  window_.Enable(kApply, false);
}

void CCameraDlg::ShowPreset(int index) {
  // A stored "Size" beyond the table (a hand-edited file) has no values to show.
  if (index < 0 || index >= kMaxSizePresets) return;
  CaptureGeometry &preset = table_.presets[static_cast<size_t>(index)];
  for (int i = 0; i < 6; ++i) window_.SetInt(kGeometryEdits[i], *GeometryField(preset, i), false);
}

bool CCameraDlg::CustomSelected() const {
  const int selection = window_.GetSelection(kSizeList);
  return selection >= 0 && selection == window_.ItemCount(kSizeList) - 1;
}

void CCameraDlg::OnCommand(int id, ControlNotify notify) {
  switch (id) {
    case kOk:
      if (notify == ControlNotify::kClicked && ReadControlsAndSave()) EndDialog(kIdOk);
      return;
    case kCancel:
      if (notify == ControlNotify::kClicked) EndDialog(kIdCancel);
      return;
    case kApply:
      if (notify == ControlNotify::kClicked) ReadControlsAndSave();
      return;
    case kColorList:
    case kSubSampleList:
    case kClockList:
      if (notify == ControlNotify::kSelectionChanged) window_.Enable(kApply, true);
      return;
    case kSizeList:
      if (notify != ControlNotify::kSelectionChanged) return;
      window_.Enable(kApply, true);
      table_.size = window_.GetSelection(kSizeList);
      // The custom entry keeps the edits as they are, ready to be typed over.
      if (!CustomSelected()) ShowPreset(table_.size);
      return;
    default:
      if (notify == ControlNotify::kEditChanged) window_.Enable(kApply, true);
      return;
  }
}

bool CCameraDlg::ReadControlsAndSave() {
  const bool custom = CustomSelected();
  // The table holds 100 presets: a 101st custom size is refused, and nothing
  // else is read or saved, so the user can choose an existing size instead.
  if (custom && table_.presetCount >= kMaxSizePresets) {
    LogPrint(LogCategory::kDialogs, 1, "camera dialog: custom size refused, all %d presets are taken", kMaxSizePresets);
    return false;
  }
  // A list without a selection (a stored value outside it) keeps its value.
  const int color = window_.GetSelection(kColorList);
  if (color >= 0) table_.color = color;
  const int subSample = window_.GetSelection(kSubSampleList);
  if (subSample >= 0) table_.subSample = SubSampleCode(subSample);
  const int clock = window_.GetSelection(kClockList);
  if (clock >= 0) table_.clock = clock;
  table_.waitTime = window_.GetInt(kWaitTime, false);

  int values[6];
  for (int i = 0; i < 6; ++i) values[i] = window_.GetInt(kGeometryEdits[i], false);
  if (custom) {
    const int index = table_.presetCount;
    CaptureGeometry &preset = table_.presets[static_cast<size_t>(index)];
    for (int i = 0; i < 6; ++i) *GeometryField(preset, i) = values[i];
    window_.InsertItem(kSizeList, index, SizeText(preset));
    window_.SetSelection(kSizeList, index);
    table_.presetCount = index + 1;
    table_.size = index;
  } else {
    const int selection = window_.GetSelection(kSizeList);
    if (selection >= 0 && selection < table_.presetCount) {
      CaptureGeometry &preset = table_.presets[static_cast<size_t>(selection)];
      for (int i = 0; i < 6; ++i) *GeometryField(preset, i) = values[i];
      window_.DeleteItem(kSizeList, selection);
      window_.InsertItem(kSizeList, selection, SizeText(preset));
      window_.SetSelection(kSizeList, selection);
      table_.size = selection;
    }
  }
  window_.Enable(kApply, false);
  SaveCameraDialogTable(deviceNumber_, table_);
  return true;
}

}  // namespace quorel
