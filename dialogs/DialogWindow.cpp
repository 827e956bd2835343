#include "dialogs/DialogWindow.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

namespace quorel {

int ParseDialogInt(const std::string &text, bool isSigned, bool *ok) {
  size_t i = 0;
  const size_t n = text.size();
  auto fail = [ok] {
    if (ok != nullptr) *ok = false;
    return 0;
  };
  while (i < n && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
  bool negative = false;
  if (isSigned && i < n && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == n || std::isdigit(static_cast<unsigned char>(text[i])) == 0) return fail();
  long long value = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
    value = value * 10 + (text[i] - '0');
    if (value > 0xFFFFFFFFLL) return fail();
    ++i;
  }
  while (i < n && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
  if (i != n) return fail();
  if (negative) value = -value;
  if (isSigned && (value < INT_MIN || value > INT_MAX)) return fail();
  if (ok != nullptr) *ok = true;
  // Unsigned numbers above INT_MAX come back as the int with the same bits.
  return static_cast<int>(static_cast<unsigned>(value));
}

DialogWindow::DialogWindow(const DialogTemplate &dialogTemplate) : template_(dialogTemplate) {
  controls_.reserve(dialogTemplate.controls.size());
  for (const ControlTemplate &t : dialogTemplate.controls) {
    DialogControl control;
    control.kind = t.kind;
    control.id = t.id;
    control.text = t.text;
    control.rect = t.rect;
    control.style = t.style;
    control.buddy = t.buddy;
    controls_.push_back(std::move(control));
  }
}

const DialogTemplate &DialogWindow::Template() const {
  return template_;
}

const std::vector<DialogControl> &DialogWindow::Controls() const {
  return controls_;
}

const DialogControl *DialogWindow::Find(int id) const {
  if (id == kNoControlId) return nullptr;
  for (const DialogControl &control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

DialogControl *DialogWindow::FindMutable(int id) {
  return const_cast<DialogControl *>(Find(id));
}

void DialogWindow::SetHandler(DialogHandler *handler) {
  handler_ = handler;
}

void DialogWindow::SetObserver(ControlObserver *observer) {
  observer_ = observer;
}

bool DialogWindow::IsShown() const {
  return shown_;
}

void DialogWindow::Show(bool shown) {
  shown_ = shown;
  if (observer_ != nullptr) observer_->OnWindowShown(shown);
}

void DialogWindow::Changed(int id) {
  if (observer_ != nullptr) observer_->OnControlChanged(id);
}

void DialogWindow::Notify(int id, ControlNotify notify) {
  if (handler_ != nullptr) handler_->OnCommand(id, notify);
}

void DialogWindow::SetText(int id, const std::string &text) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  control->text = text;
  Changed(id);
  if (control->kind == ControlKind::kEdit) Notify(id, ControlNotify::kEditChanged);
}

std::string DialogWindow::GetText(int id) const {
  const DialogControl *control = Find(id);
  return control == nullptr ? std::string() : control->text;
}

void DialogWindow::SetInt(int id, int value, bool isSigned) {
  char text[16];
  if (isSigned) {
    std::snprintf(text, sizeof text, "%d", value);
  } else {
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  }
  SetText(id, text);
}

int DialogWindow::GetInt(int id, bool isSigned) const {
  return ParseDialogInt(GetText(id), isSigned, nullptr);
}

void DialogWindow::Enable(int id, bool enabled) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr || control->enabled == enabled) return;
  control->enabled = enabled;
  Changed(id);
}

void DialogWindow::ShowControl(int id, bool visible) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr || control->visible == visible) return;
  control->visible = visible;
  Changed(id);
}

void DialogWindow::SetCheck(int id, bool checked) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  control->checked = checked;
  Changed(id);
}

bool DialogWindow::IsChecked(int id) const {
  const DialogControl *control = Find(id);
  return control != nullptr && control->checked;
}

void DialogWindow::ResetItems(int id) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  control->items.clear();
  control->selection = -1;
  Changed(id);
}

void DialogWindow::AddItem(int id, const std::string &text) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  control->items.push_back(text);
  Changed(id);
}

void DialogWindow::InsertItem(int id, int index, const std::string &text) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  const int count = static_cast<int>(control->items.size());
  if (index < 0 || index > count) index = count;
  control->items.insert(control->items.begin() + index, text);
  if (control->selection >= index) ++control->selection;
  Changed(id);
}

void DialogWindow::DeleteItem(int id, int index) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr || index < 0 || index >= static_cast<int>(control->items.size())) return;
  control->items.erase(control->items.begin() + index);
  if (control->selection == index) {
    control->selection = -1;
  } else if (control->selection > index) {
    --control->selection;
  }
  Changed(id);
}

int DialogWindow::ItemCount(int id) const {
  const DialogControl *control = Find(id);
  return control == nullptr ? 0 : static_cast<int>(control->items.size());
}

bool DialogWindow::SetSelection(int id, int index) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return false;
  const bool valid = index >= 0 && index < static_cast<int>(control->items.size());
  control->selection = valid ? index : -1;
  Changed(id);
  return valid;
}

int DialogWindow::GetSelection(int id) const {
  const DialogControl *control = Find(id);
  return control == nullptr ? -1 : control->selection;
}

void DialogWindow::SetRange(int id, int minimum, int maximum) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  control->rangeMin = minimum;
  control->rangeMax = maximum;
  if (control->kind == ControlKind::kTrackbar) {
    control->position = std::clamp(control->position, std::min(minimum, maximum), std::max(minimum, maximum));
  }
  Changed(id);
}

void DialogWindow::SetPosition(int id, int position) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  if (control->kind == ControlKind::kTrackbar) {
    position = std::clamp(position, std::min(control->rangeMin, control->rangeMax),
                          std::max(control->rangeMin, control->rangeMax));
  }
  control->position = position;
  Changed(id);
}

int DialogWindow::GetPosition(int id) const {
  const DialogControl *control = Find(id);
  return control == nullptr ? 0 : control->position;
}

void DialogWindow::SetTickFrequency(int id, int frequency) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr) return;
  control->tickFrequency = frequency;
  Changed(id);
}

void DialogWindow::SetBuddy(int upDownId, int editId) {
  DialogControl *control = FindMutable(upDownId);
  if (control == nullptr) return;
  control->buddy = editId;
  Changed(upDownId);
}

bool DialogWindow::UserCanReach(const DialogControl *control, ControlKind kind) const {
  return shown_ && control != nullptr && control->kind == kind && control->enabled && control->visible;
}

bool DialogWindow::UserClick(int id) {
  DialogControl *control = FindMutable(id);
  if (control == nullptr || !shown_ || !control->enabled || !control->visible) return false;
  switch (control->kind) {
    case ControlKind::kPushButton:
      break;
    case ControlKind::kCheckBox:
      control->checked = !control->checked;
      Changed(id);
      break;
    case ControlKind::kRadioButton: {
      // The group runs from the nearest group start at or before this button
      // to the next group start (or the next control that is not a radio).
      auto self = controls_.begin() + (control - controls_.data());
      auto first = self;
      while (first != controls_.begin() && (first->style & kStyleGroupStart) == 0 &&
             std::prev(first)->kind == ControlKind::kRadioButton) {
        --first;
      }
      for (auto it = first; it != controls_.end() && it->kind == ControlKind::kRadioButton; ++it) {
        if (it != first && (it->style & kStyleGroupStart) != 0) break;
        if (it->checked != (it == self)) {
          it->checked = it == self;
          Changed(it->id);
        }
      }
      break;
    }
    default:
      return false;
  }
  Notify(id, ControlNotify::kClicked);
  return true;
}

bool DialogWindow::UserType(int id, const std::string &text) {
  DialogControl *control = FindMutable(id);
  if (!UserCanReach(control, ControlKind::kEdit) || (control->style & kStyleReadOnly) != 0) return false;
  SetText(id, text);
  return true;
}

bool DialogWindow::UserSelect(int id, int index) {
  DialogControl *control = FindMutable(id);
  if (!UserCanReach(control, ControlKind::kDropDownList) && !UserCanReach(control, ControlKind::kTab)) return false;
  if (index < 0 || index >= static_cast<int>(control->items.size())) return false;
  control->selection = index;
  Changed(id);
  Notify(id, ControlNotify::kSelectionChanged);
  return true;
}

bool DialogWindow::UserMoveTrackbar(int id, int position) {
  DialogControl *control = FindMutable(id);
  if (!UserCanReach(control, ControlKind::kTrackbar)) return false;
  SetPosition(id, position);
  if (handler_ != nullptr) handler_->OnTrackbarMoved(id);
  return true;
}

bool DialogWindow::UserSpin(int id, int delta) {
  DialogControl *control = FindMutable(id);
  if (!UserCanReach(control, ControlKind::kUpDown)) return false;
  const DialogControl *buddy = Find(control->buddy);
  if (buddy == nullptr || !buddy->enabled) return false;
  const int low = std::min(control->rangeMin, control->rangeMax);
  const int high = std::max(control->rangeMin, control->rangeMax);
  bool ok = false;
  const int current = ParseDialogInt(buddy->text, true, &ok);
  const long long next = static_cast<long long>(ok ? current : control->position) + (delta > 0 ? 1 : -1);
  control->position = static_cast<int>(std::clamp<long long>(next, low, high));
  Changed(id);
  SetInt(control->buddy, control->position, true);
  return true;
}

}  // namespace quorel
