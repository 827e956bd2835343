#include "dialogs/GuiDialogBridge.h"

namespace quorel {

static_assert(static_cast<int>(ControlKind::kTab) == QUOREL_GUI_TAB &&
                  static_cast<int>(ControlKind::kStatic) == QUOREL_GUI_STATIC &&
                  static_cast<int>(ControlKind::kUpDown) == QUOREL_GUI_UP_DOWN,
              "control kinds are passed to the GUI module by number");
constexpr bool SameBit(unsigned ours, int theirs) {
  return ours == static_cast<unsigned>(theirs);
}
static_assert(SameBit(kStyleDefaultButton, QUOREL_GUI_STYLE_DEFAULT_BUTTON) &&
                  SameBit(kStyleReadOnly, QUOREL_GUI_STYLE_READ_ONLY) &&
                  SameBit(kStyleNumber, QUOREL_GUI_STYLE_NUMBER) &&
                  SameBit(kStyleGroupStart, QUOREL_GUI_STYLE_GROUP_START) &&
                  SameBit(kStyleCentered, QUOREL_GUI_STYLE_CENTERED),
              "control styles are passed to the GUI module by bit");

namespace {

GuiDialogBridge &Bridge(QuorelGuiDialog *dialog) {
  return *reinterpret_cast<GuiDialogBridge *>(dialog);
}

const char *Kind(QuorelGuiDialog *dialog) {
  return Bridge(dialog).Session().Kind();
}

int Japanese(QuorelGuiDialog *dialog) {
  return Bridge(dialog).Session().Language() == DialogLanguage::kJapanese ? 1 : 0;
}

void Open(QuorelGuiDialog *dialog) {
  Bridge(dialog).Session().Open();
}

int CountWindows(QuorelGuiDialog *dialog) {
  return Bridge(dialog).WindowCount();
}

int WindowInfo(QuorelGuiDialog *dialog, int index, QuorelGuiDialogWindow *out) {
  DialogWindow *window = Bridge(dialog).WindowAt(index);
  if (window == nullptr || out == nullptr) return 0;
  const DialogTemplate &t = window->Template();
  out->resourceId = t.resourceId;
  out->caption = t.caption.c_str();
  out->x = t.rect.x;
  out->y = t.rect.y;
  out->width = t.rect.width;
  out->height = t.rect.height;
  out->controlCount = static_cast<int>(window->Controls().size());
  out->shown = window->IsShown() ? 1 : 0;
  return 1;
}

int Control(QuorelGuiDialog *dialog, int index, int controlIndex, QuorelGuiDialogControl *out) {
  DialogWindow *window = Bridge(dialog).WindowAt(index);
  if (window == nullptr || out == nullptr || controlIndex < 0 ||
      controlIndex >= static_cast<int>(window->Controls().size())) {
    return 0;
  }
  const DialogControl &c = window->Controls()[static_cast<size_t>(controlIndex)];
  out->kind = static_cast<int>(c.kind);
  out->id = c.id;
  out->text = c.text.c_str();
  out->x = c.rect.x;
  out->y = c.rect.y;
  out->width = c.rect.width;
  out->height = c.rect.height;
  out->style = c.style;
  out->enabled = c.enabled ? 1 : 0;
  out->visible = c.visible ? 1 : 0;
  out->checked = c.checked ? 1 : 0;
  out->itemCount = static_cast<int>(c.items.size());
  out->selection = c.selection;
  out->rangeMin = c.rangeMin;
  out->rangeMax = c.rangeMax;
  out->position = c.position;
  out->tickFrequency = c.tickFrequency;
  out->buddy = c.buddy;
  return 1;
}

int ControlIndex(QuorelGuiDialog *dialog, int index, int id) {
  DialogWindow *window = Bridge(dialog).WindowAt(index);
  if (window == nullptr) return -1;
  const auto &controls = window->Controls();
  for (size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].id == id && id != kNoControlId) return static_cast<int>(i);
  }
  return -1;
}

const char *ItemText(QuorelGuiDialog *dialog, int index, int id, int item) {
  DialogWindow *window = Bridge(dialog).WindowAt(index);
  const DialogControl *c = window == nullptr ? nullptr : window->Find(id);
  if (c == nullptr || item < 0 || item >= static_cast<int>(c->items.size())) return nullptr;
  return c->items[static_cast<size_t>(item)].c_str();
}

template <typename Action>
int Act(QuorelGuiDialog *dialog, int index, Action &&action) {
  DialogWindow *window = Bridge(dialog).WindowAt(index);
  return window != nullptr && action(*window) ? 1 : 0;
}

int Click(QuorelGuiDialog *dialog, int index, int id) {
  return Act(dialog, index, [id](DialogWindow &w) { return w.UserClick(id); });
}

int Type(QuorelGuiDialog *dialog, int index, int id, const char *text) {
  return Act(dialog, index, [id, text](DialogWindow &w) { return text != nullptr && w.UserType(id, text); });
}

int Select(QuorelGuiDialog *dialog, int index, int id, int item) {
  return Act(dialog, index, [id, item](DialogWindow &w) { return w.UserSelect(id, item); });
}

int MoveTrackbar(QuorelGuiDialog *dialog, int index, int id, int position) {
  return Act(dialog, index, [id, position](DialogWindow &w) { return w.UserMoveTrackbar(id, position); });
}

int Spin(QuorelGuiDialog *dialog, int index, int id, int delta) {
  return Act(dialog, index, [id, delta](DialogWindow &w) { return w.UserSpin(id, delta); });
}

int SelectTab(QuorelGuiDialog *dialog, int tab) {
  return Bridge(dialog).Session().UserSelectTab(tab) ? 1 : 0;
}

int Ended(QuorelGuiDialog *dialog) {
  return Bridge(dialog).Session().Ended() ? 1 : 0;
}

int Result(QuorelGuiDialog *dialog) {
  return Bridge(dialog).Session().Result();
}

int RunPosted(QuorelGuiDialog *dialog) {
  return Bridge(dialog).Session().RunPosted();
}

void SetWakeup(QuorelGuiDialog *dialog, void (*wakeup)(void *), void *context) {
  Bridge(dialog).Session().SetWakeup(wakeup, context);
}

void SetDialogObserver(QuorelGuiDialog *dialog, void (*changed)(void *, int, int), void (*shown)(void *, int, int),
                       void *context) {
  Bridge(dialog).SetObserver(changed, shown, context);
}

}  // namespace

GuiDialogBridge::GuiDialogBridge(DialogSession &session) : session_(session) {
  const int windows = WindowCount();
  observers_.reserve(static_cast<size_t>(windows));
  for (int i = 0; i < windows; ++i) observers_.emplace_back(*this, i);
}

GuiDialogBridge::~GuiDialogBridge() {
  SetObserver(nullptr, nullptr, nullptr);
}

DialogWindow *GuiDialogBridge::WindowAt(int index) {
  if (index == 0) return &session_.Frame();
  if (index < 1 || index > session_.PageCount()) return nullptr;
  return &session_.Page(index - 1);
}

void GuiDialogBridge::SetObserver(void (*changed)(void *, int, int), void (*shown)(void *, int, int), void *context) {
  changed_ = changed;
  shown_ = shown;
  context_ = context;
  const bool on = changed != nullptr || shown != nullptr;
  for (int i = 0; i < WindowCount(); ++i) WindowAt(i)->SetObserver(on ? &observers_[static_cast<size_t>(i)] : nullptr);
}

void GuiDialogBridge::WindowObserver::OnControlChanged(int id) {
  if (bridge_.changed_ != nullptr) bridge_.changed_(bridge_.context_, window_, id);
}

void GuiDialogBridge::WindowObserver::OnWindowShown(bool shown) {
  if (bridge_.shown_ != nullptr) bridge_.shown_(bridge_.context_, window_, shown ? 1 : 0);
}

const QuorelGuiDialogOps &GuiDialogBridge::Ops() {
  static const QuorelGuiDialogOps ops = {
      sizeof(QuorelGuiDialogOps),
      Kind,
      Japanese,
      Open,
      CountWindows,
      WindowInfo,
      Control,
      ControlIndex,
      ItemText,
      Click,
      Type,
      Select,
      MoveTrackbar,
      Spin,
      SelectTab,
      Ended,
      Result,
      RunPosted,
      SetWakeup,
      SetDialogObserver,
  };
  return ops;
}

}  // namespace quorel
