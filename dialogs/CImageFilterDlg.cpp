#include "dialogs/CImageFilterDlg.h"

#include "dialogs/DialogIds.h"
#include "dialogs/DialogTemplates.h"
#include "platform/DebugLog.h"
#include "platform/SharedValue.h"

namespace quorel {

using namespace dialog_id;

namespace {

std::atomic<CImageFilterDlg *> g_openImageDialog{nullptr};

}  // namespace

std::unique_ptr<CImageFilterDlg> CImageFilterDlg::TryCreate(FilterBlock &block, int colorModeIndex,
                                                            DialogLanguage language) {
  std::unique_ptr<CImageFilterDlg> dialog(new CImageFilterDlg(block, colorModeIndex, language));
  CImageFilterDlg *expected = nullptr;
  if (!g_openImageDialog.compare_exchange_strong(expected, dialog.get())) {
    LogPrint(LogCategory::kDialogs, 1, "image filter dialog refused: one is already open in this process");
    return nullptr;
  }
  return dialog;
}

CImageFilterDlg::CImageFilterDlg(FilterBlock &block, int colorModeIndex, DialogLanguage language)
    : DialogSession(language),
      block_(block),
      flags_(FilterPageFlags::ForColorMode(colorModeIndex)),
      frame_(FilterFrameTemplate(language)),
      imagePage_(ImagePageTemplate(language), block, flags_) {
  if (flags_.grayPage) {
    grayPage_.emplace(GrayPageTemplate(language), block);
    grayPage_->SetBayerModeListener([this](int mode) { ShowBayerMode(imagePage_.Window(), mode); });
    imagePage_.SetBayerModeListener([this](int mode) { ShowBayerMode(grayPage_->Window(), mode); });
  }
  frame_.SetHandler(this);
}

CImageFilterDlg::~CImageFilterDlg() {
  CImageFilterDlg *self = this;
  g_openImageDialog.compare_exchange_strong(self, nullptr);
}

DialogWindow &CImageFilterDlg::Page(int index) {
  if (index == 1 && grayPage_) return grayPage_->Window();
  return imagePage_.Window();
}

void CImageFilterDlg::Open() {
  frame_.ResetItems(kTab);
  frame_.AddItem(kTab, kImageFilterTab);
  imagePage_.Open();
  if (grayPage_) {
    frame_.AddItem(kTab, kGrayFilterTab);
    grayPage_->Open();
  }
  frame_.SetSelection(kTab, 0);
  ShowTab(0);
}

void CImageFilterDlg::ShowTab(int index) {
  imagePage_.Window().Show(index == 0);
  if (grayPage_) grayPage_->Window().Show(index == 1);
}

void CImageFilterDlg::RequestRefresh() {
  if (refreshQueued_.exchange(true)) return;
  Post([this] {
    refreshQueued_.store(false);
    Refresh();
  });
}

void CImageFilterDlg::Refresh() {
  imagePage_.Refresh();
  if (grayPage_) grayPage_->Refresh();
}

void CImageFilterDlg::OnCommand(int id, ControlNotify notify) {
  if (id == kTab && notify == ControlNotify::kSelectionChanged) {
    ShowTab(frame_.GetSelection(kTab));
    return;
  }
  if (notify != ControlNotify::kClicked) return;
  switch (id) {
    case kOk:
      imagePage_.ReadBack();
      if (grayPage_) grayPage_->ReadBack();
      EndDialog(kIdOk);
      break;
    case kCancel:
      EndDialog(kIdCancel);
      break;
    case kDefault:
      // The gray filter mode and the automatic requests stay as they are.
      for (int entry = kBrightness; entry <= kSharpness; ++entry) StoreShared(block_[entry], 0);
      for (int entry = kBayerGainRed; entry <= kGamma; ++entry) StoreShared(block_[entry], 100);
      StoreShared(block_[kBayerMode], 3);
      imagePage_.Refresh();
      if (grayPage_) {
        for (int entry = kGrayGainR; entry <= kGrayGainB; ++entry) StoreShared(block_[entry], 128);
        for (int entry = kGrayOffsetR; entry <= kGrayOffsetB; ++entry) StoreShared(block_[entry], 0);
        grayPage_->Refresh();
      }
      break;
    default:
      break;
  }
}

}  // namespace quorel
