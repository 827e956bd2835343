#include "dialogs/DialogSession.h"

#include <utility>

namespace quorel {

DialogSession::DialogSession(DialogLanguage language) : language_(language) {}

DialogSession::~DialogSession() = default;

DialogLanguage DialogSession::Language() const {
  return language_;
}

bool DialogSession::UserSelectTab(int index) {
  return Frame().UserSelect(kIdTabControl, index);
}

bool DialogSession::Ended() const {
  return ended_;
}

int DialogSession::Result() const {
  return result_;
}

void DialogSession::EndDialog(int result) {
  ended_ = true;
  result_ = result;
}

void DialogSession::Post(std::function<void()> task) {
  // The wake-up is called under the lock so that SetWakeup(nullptr) returning
  // means no posting thread is still inside the old one.
  std::lock_guard<std::mutex> lock(queueLock_);
  queue_.push_back(std::move(task));
  if (wakeup_ != nullptr) wakeup_(wakeupContext_);
}

int DialogSession::RunPosted() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(queueLock_);
    tasks.swap(queue_);
  }
  int ran = 0;
  for (auto &task : tasks) {
    // A task may end the dialog; the rest are dropped with the session.
    if (ended_) break;
    task();
    ++ran;
  }
  return ran;
}

void DialogSession::SetWakeup(Wakeup wakeup, void *context) {
  std::lock_guard<std::mutex> lock(queueLock_);
  wakeup_ = wakeup;
  wakeupContext_ = context;
}

}  // namespace quorel
