#include "dialogs/CAnalogDlg.h"

#include "dialogs/DialogIds.h"
#include "dialogs/DialogTemplates.h"
#include "dialogs/SliderRows.h"
#include "platform/DebugLog.h"
#include "platform/SharedValue.h"

namespace quorel {

using namespace dialog_id;

namespace {

std::atomic<CAnalogDlg *> g_openAnalogDialog{nullptr};

}  // namespace

std::unique_ptr<CAnalogDlg> CAnalogDlg::TryCreate(AnalogBlock &block, AnalogSensor &sensor,
                                                  const ExposureConversion &conversion, DialogLanguage language) {
  std::unique_ptr<CAnalogDlg> dialog(new CAnalogDlg(block, sensor, conversion, language));
  CAnalogDlg *expected = nullptr;
  if (!g_openAnalogDialog.compare_exchange_strong(expected, dialog.get())) {
    LogPrint(LogCategory::kDialogs, 1, "analog dialog refused: one is already open in this process");
    return nullptr;
  }
  return dialog;
}

CAnalogDlg::CAnalogDlg(AnalogBlock &block, AnalogSensor &sensor, const ExposureConversion &conversion,
                       DialogLanguage language)
    : DialogSession(language),
      block_(block),
      sensor_(sensor),
      frame_(AnalogFrameTemplate(language)),
      page_(AnalogPageTemplate(language), block, sensor, conversion) {
  frame_.SetHandler(this);
}

CAnalogDlg::~CAnalogDlg() {
  CAnalogDlg *self = this;
  g_openAnalogDialog.compare_exchange_strong(self, nullptr);
}

void CAnalogDlg::Open() {
  frame_.ResetItems(kTab);
  frame_.AddItem(kTab, kAnalogGainTab);
  frame_.SetSelection(kTab, 0);
  page_.Open();
  page_.Window().Show(true);
}

void CAnalogDlg::ShowAutoIrisValue(int control, int value) {
  if (control == kGlobalGainEdit) {
    queuedGain_.store(value);
    gainQueued_.store(true);
  } else if (control == kExposureEdit) {
    queuedExposure_.store(value);
    exposureQueued_.store(true);
  } else {
    return;
  }
  if (taskQueued_.exchange(true)) return;
  Post([this] { ShowQueuedValues(); });
}

void CAnalogDlg::ShowQueuedValues() {
  taskQueued_.store(false);
  if (gainQueued_.exchange(false)) page_.Window().SetInt(kGlobalGainEdit, queuedGain_.load(), true);
  if (exposureQueued_.exchange(false)) page_.Window().SetInt(kExposureEdit, queuedExposure_.load(), true);
}

void CAnalogDlg::OnCommand(int id, ControlNotify notify) {
  if (notify != ControlNotify::kClicked) return;
  switch (id) {
    case kOk:
      page_.ReadBack();
      EndDialog(kIdOk);
      break;
    case kCancel:
      EndDialog(kIdCancel);
      break;
    case kDefault: {
      // Mirroring and the automatic iris stay as they are.
      int minimum = 0, maximum = 0, gain = 0;
      sensor_.GlobalGainRange(&minimum, &maximum, &gain);
      const int exposure = sensor_.ExposureDefault();
      for (int entry = 0; entry <= 4; ++entry) StoreShared(AnalogEntry(block_, entry), gain);
      StoreShared(block_.exposure, exposure);
      sensor_.SetGlobalGain(gain);
      for (int reg : kAnalogColorRegisters) sensor_.SetColorGain(reg, gain);
      sensor_.SetExposure(exposure);
      page_.Refresh();
      break;
    }
    default:
      break;
  }
}

}  // namespace quorel
