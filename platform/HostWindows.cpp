#include "platform/HostWindows.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace quorel {
namespace {

// Bits 48..63 hold a tag no user-space or kernel address carries.
constexpr uint64_t kHandleTag = uint64_t{0x5157} << 48;
constexpr uint64_t kSerialMask = (uint64_t{1} << 48) - 1;

std::atomic<size_t> g_threadQueues{0};

class MessageQueue {
 public:
  MessageQueue() : eventFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  MessageQueue(const MessageQueue &) = delete;
  MessageQueue &operator=(const MessageQueue &) = delete;
  ~MessageQueue() {
    if (eventFd_ >= 0) close(eventFd_);
  }

  bool Valid() const { return eventFd_ >= 0; }
  int EventFd() const { return eventFd_; }

  bool Post(const QuorelHostMsg &msg) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_ || messages_.size() >= kHostQueueLimit) return false;
      messages_.push_back(msg);
      // Raised on every post, not only the first, so that an application
      // that reads the descriptor itself is woken again by the next message.
      SignalLocked();
    }
    ready_.notify_one();
    return true;
  }

  bool Peek(QuorelHostMsg *msg) {
    std::lock_guard<std::mutex> lock(mutex_);
    return TakeLocked(msg);
  }

  bool Wait(QuorelHostMsg *msg, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto available = [this] { return closed_ || !messages_.empty(); };
    if (timeoutMs < 0) {
      ready_.wait(lock, available);
    } else {
      ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), available);
    }
    return TakeLocked(msg);
  }

  // Drops every message and refuses further posts; wakes all waiters.
  void Shut() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
      if (!messages_.empty()) {
        messages_.clear();
        DrainLocked();
      }
    }
    ready_.notify_all();
  }

 private:
  bool TakeLocked(QuorelHostMsg *msg) {
    if (closed_ || messages_.empty()) return false;
    *msg = messages_.front();
    messages_.pop_front();
    if (messages_.empty()) DrainLocked();
    return true;
  }

  // The eventfd counter is non-zero while the queue holds messages: raised
  // by each post and drained with the last message taken.
  void SignalLocked() {
    const uint64_t one = 1;
    while (write(eventFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
  }
  void DrainLocked() {
    uint64_t value = 0;
    while (read(eventFd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
  }

  const int eventFd_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<QuorelHostMsg> messages_;  // guarded by mutex_
  bool closed_ = false;                 // guarded by mutex_
};

struct WindowEntry {
  unsigned long xid = 0;
  std::shared_ptr<MessageQueue> queue;
};

class WindowTable {
 public:
  HWND Register(unsigned long xid) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (xid != 0) {
      for (const auto &[value, entry] : windows_) {
        if (entry.xid == xid) return ToHandle(value);
      }
    }
    if (windows_.size() >= kHostWindowLimit || nextSerial_ > kSerialMask) return nullptr;
    auto queue = std::make_shared<MessageQueue>();
    if (!queue->Valid()) return nullptr;
    const uint64_t value = kHandleTag | nextSerial_++;
    windows_.emplace(value, WindowEntry{xid, std::move(queue)});
    return ToHandle(value);
  }

  std::shared_ptr<MessageQueue> Find(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = windows_.find(ToValue(hwnd));
    return it == windows_.end() ? nullptr : it->second.queue;
  }

  bool Contains(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    return windows_.count(ToValue(hwnd)) != 0;
  }

  unsigned long Xid(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = windows_.find(ToValue(hwnd));
    return it == windows_.end() ? 0 : it->second.xid;
  }

  bool Remove(HWND hwnd) {
    std::shared_ptr<MessageQueue> queue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto it = windows_.find(ToValue(hwnd));
      if (it == windows_.end()) return false;
      queue = std::move(it->second.queue);
      windows_.erase(it);
    }
    queue->Shut();
    return true;
  }

 private:
  static uint64_t ToValue(HWND hwnd) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(hwnd)); }
  static HWND ToHandle(uint64_t value) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(value)); }

  std::mutex mutex_;
  std::unordered_map<uint64_t, WindowEntry> windows_;  // guarded by mutex_
  uint64_t nextSerial_ = 1;                            // guarded by mutex_
};

WindowTable &Windows() {
  static WindowTable table;
  return table;
}

// The calling thread's queue for NULL-window posts, made on first need and
// freed (with its eventfd) when the thread ends.
class ThreadQueueHolder {
 public:
  ThreadQueueHolder() = default;
  ThreadQueueHolder(const ThreadQueueHolder &) = delete;
  ThreadQueueHolder &operator=(const ThreadQueueHolder &) = delete;
  ~ThreadQueueHolder() {
    if (queue_) g_threadQueues.fetch_sub(1, std::memory_order_relaxed);
  }

  MessageQueue *Get(bool create) {
    if (!queue_ && create) {
      auto queue = std::make_unique<MessageQueue>();
      if (!queue->Valid()) return nullptr;
      queue_ = std::move(queue);
      g_threadQueues.fetch_add(1, std::memory_order_relaxed);
    }
    return queue_.get();
  }

 private:
  std::unique_ptr<MessageQueue> queue_;
};

thread_local ThreadQueueHolder t_threadQueue;

}  // namespace

bool HostPostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Posting is fire and forget: running out of memory loses the message.
  try {
    const QuorelHostMsg msg{hwnd, message, wParam, lParam};
    if (hwnd == nullptr) {
      MessageQueue *queue = t_threadQueue.Get(true);
      return queue != nullptr && queue->Post(msg);
    }
    const std::shared_ptr<MessageQueue> queue = Windows().Find(hwnd);
    return queue != nullptr && queue->Post(msg);
  } catch (...) {
    return false;
  }
}

HWND HostRegisterWindow(unsigned long xid) {
  try {
    return Windows().Register(xid);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

bool HostIsWindow(HWND hwnd) {
  return hwnd != nullptr && Windows().Contains(hwnd);
}

unsigned long HostWindowXid(HWND hwnd) {
  return hwnd == nullptr ? 0 : Windows().Xid(hwnd);
}

bool HostDestroyWindow(HWND hwnd) {
  return hwnd != nullptr && Windows().Remove(hwnd);
}

bool HostPeekMessage(HWND hwnd, QuorelHostMsg *msg) {
  if (msg == nullptr) return false;
  if (hwnd == nullptr) {
    MessageQueue *queue = t_threadQueue.Get(false);
    return queue != nullptr && queue->Peek(msg);
  }
  const std::shared_ptr<MessageQueue> queue = Windows().Find(hwnd);
  return queue != nullptr && queue->Peek(msg);
}

bool HostWaitMessage(HWND hwnd, QuorelHostMsg *msg, int timeoutMs) {
  if (msg == nullptr) return false;
  if (hwnd == nullptr) return HostPeekMessage(nullptr, msg);
  // Holding the queue keeps it alive if the window is destroyed meanwhile.
  const std::shared_ptr<MessageQueue> queue = Windows().Find(hwnd);
  return queue != nullptr && queue->Wait(msg, timeoutMs);
}

int HostGetEventFd(HWND hwnd) {
  if (hwnd == nullptr) {
    MessageQueue *queue = nullptr;
    try {
      queue = t_threadQueue.Get(true);
    } catch (const std::bad_alloc &) {
      return -1;
    }
    return queue == nullptr ? -1 : queue->EventFd();
  }
  const std::shared_ptr<MessageQueue> queue = Windows().Find(hwnd);
  return queue == nullptr ? -1 : queue->EventFd();
}

size_t HostThreadQueueCount() {
  return g_threadQueues.load(std::memory_order_relaxed);
}

}  // namespace quorel
