#include "platform/Event.h"

#include <chrono>

namespace quorel {

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
  }
  if (manualReset_) {
    cond_.notify_all();
  } else {
    cond_.notify_one();
  }
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = false;
}

bool Event::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto isSet = [this] { return set_; };
  if (timeoutMs < 0) {
    cond_.wait(lock, isSet);
  } else if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet)) {
    return false;
  }
  if (!manualReset_) set_ = false;
  return true;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return set_;
}

}  // namespace quorel
