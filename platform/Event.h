// An event object over a mutex and a condition variable.
//
// Manual-reset: once Set, every waiter passes until Reset.
// Auto-reset: Set lets exactly one waiter pass and clears the event as it
// does; with no waiter, the event stays set until the next Wait consumes it.
// All members are thread-safe; the event must outlive its waiters.
#pragma once

#include <condition_variable>
#include <mutex>

namespace quorel {

class Event {
 public:
  explicit Event(bool manualReset, bool initiallySet = false);
  Event(const Event &) = delete;
  Event &operator=(const Event &) = delete;

  void Set();
  void Reset();

  // Waits until the event is set or `timeoutMs` milliseconds have passed
  // (a negative value waits forever, 0 only tests). True when the event was
  // set (and, for auto-reset, consumed by this call); false on time-out.
  bool Wait(int timeoutMs);

  // True when set, without consuming it.
  bool IsSet() const;

 private:
  const bool manualReset_;
  mutable std::mutex mutex_;
  std::condition_variable cond_;
  bool set_;  // guarded by mutex_
};

}  // namespace quorel
