#include "dialogs/ScriptedDialogDriver.h"

#include <stdexcept>

namespace quorel {

ScriptedDialogDriver::ScriptedDialogDriver(Script script) : script_(std::move(script)) {
  InstallDialogRunner(this);
}

ScriptedDialogDriver::~ScriptedDialogDriver() {
  InstallDialogRunner(nullptr);
}

void ScriptedDialogDriver::Wake(void *context) {
  auto *self = static_cast<ScriptedDialogDriver *>(context);
  std::lock_guard<std::mutex> lock(self->wakeLock_);
  self->woken_ = true;
  self->wakeSignal_.notify_all();
}

int ScriptedDialogDriver::Run(DialogSession &session, HWND owner) {
  ++runs_;
  lastOwner_ = owner;
  leftOpen_ = false;
  session_ = &session;
  session.SetWakeup(&ScriptedDialogDriver::Wake, this);
  session.Open();
  if (script_) script_(*this);
  if (!session.Ended()) {
    leftOpen_ = true;
    session.EndDialog(2);
  }
  session.SetWakeup(nullptr, nullptr);
  session_ = nullptr;
  return session.Result();
}

DialogSession &ScriptedDialogDriver::Session() {
  if (session_ == nullptr) throw std::logic_error("no dialog is running");
  return *session_;
}

DialogWindow *ScriptedDialogDriver::Owner(int id) {
  DialogSession &session = Session();
  if (session.Frame().Find(id) != nullptr) return &session.Frame();
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < session.PageCount(); ++i) {
      DialogWindow &page = session.Page(i);
      if (page.IsShown() == (pass == 0) && page.Find(id) != nullptr) return &page;
    }
  }
  return nullptr;
}

bool ScriptedDialogDriver::Click(int id) {
  DialogWindow *window = Owner(id);
  return window != nullptr && window->UserClick(id);
}

bool ScriptedDialogDriver::Type(int id, const std::string &text) {
  DialogWindow *window = Owner(id);
  return window != nullptr && window->UserType(id, text);
}

bool ScriptedDialogDriver::Select(int id, int index) {
  DialogWindow *window = Owner(id);
  return window != nullptr && window->UserSelect(id, index);
}

bool ScriptedDialogDriver::SelectText(int id, const std::string &text) {
  const std::vector<std::string> &items = Items(id);
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return Select(id, static_cast<int>(i));
  }
  return false;
}

bool ScriptedDialogDriver::MoveTrackbar(int id, int position) {
  DialogWindow *window = Owner(id);
  return window != nullptr && window->UserMoveTrackbar(id, position);
}

bool ScriptedDialogDriver::Spin(int id, int delta) {
  DialogWindow *window = Owner(id);
  return window != nullptr && window->UserSpin(id, delta);
}

const DialogControl &ScriptedDialogDriver::Control(int id) {
  static const DialogControl missing;
  DialogWindow *window = Owner(id);
  const DialogControl *control = window == nullptr ? nullptr : window->Find(id);
  return control == nullptr ? missing : *control;
}

std::string ScriptedDialogDriver::SelectedText(int id) {
  const DialogControl &control = Control(id);
  if (control.selection < 0 || control.selection >= static_cast<int>(control.items.size())) return {};
  return control.items[static_cast<size_t>(control.selection)];
}

int ScriptedDialogDriver::Pump() {
  {
    std::lock_guard<std::mutex> lock(wakeLock_);
    woken_ = false;
  }
  return Session().RunPosted();
}

bool ScriptedDialogDriver::PumpUntil(const std::function<bool()> &done, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    Pump();
    if (done()) return true;
    std::unique_lock<std::mutex> lock(wakeLock_);
    if (!wakeSignal_.wait_until(lock, end, [this] { return woken_; })) {
      lock.unlock();
      Pump();
      return done();
    }
  }
}

}  // namespace quorel
