// A driver backend for transfer-engine tests whose frame reads the test
// releases one by one (or lets run free), with scripted outcomes. Every
// frame fills the whole buffer with its sequence number (32-bit words), so
// a test can tell which frame a slot holds and whether it is whole. Every
// path but kPath fails to open.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DriverChannel.h"
#include "device/PacketLayer.h"

namespace quorel::test {

class ScriptedFrameBackend : public DriverBackend {
 public:
  static constexpr const char *kPath = "/dev/scripted-0";
  enum class Outcome { kFull, kShort, kFail };

  DeviceHandle Open(const std::string &path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path != kPath) return nullptr;
    ++opens_;
    return std::make_unique<Device>(this);
  }

  // Lets n more frame reads complete.
  void Release(int n) {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ += n;
    cond_.notify_all();
  }
  // Reads complete at once from now on (true) or wait for Release (false).
  void SetFreeRunning(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_ = on;
    cond_.notify_all();
  }
  // Outcomes of the next reads, in order; later reads are full.
  void Script(std::initializer_list<Outcome> outcomes) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.insert(script_.end(), outcomes);
  }
  // Waits until `n` frame reads have completed in all; false after 10 s.
  bool WaitReads(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, std::chrono::seconds(10), [&] { return reads_ >= n; });
  }
  int Reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
  }
  int Opens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
  }
  // Every request as (code, pipe), in order.
  std::vector<std::pair<uint32_t, uint8_t>> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  // The sequence number a slot holds, or -1 when its words disagree (torn).
  static int64_t FrameIn(const uint8_t *data, size_t bytes) {
    uint32_t first;
    std::memcpy(&first, data, 4);
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
      uint32_t word;
      std::memcpy(&word, data + i, 4);
      if (word != first) return -1;
    }
    return first;
  }

 private:
  class Device : public DriverDevice {
   public:
    explicit Device(ScriptedFrameBackend *owner) : owner_(owner) {}
    bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength,
                 size_t *transferred) override {
      return owner_->Serve(code, in, inLength, data, dataLength, transferred);
    }

   private:
    ScriptedFrameBackend *owner_;
  };

  bool Serve(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength, size_t *transferred) {
    if (in == nullptr || inLength < 4 || data == nullptr) return false;
    const uint8_t pipe = static_cast<const uint8_t *>(in)[0];
    std::unique_lock<std::mutex> lock(mutex_);
    requests_.emplace_back(code, pipe);
    if (pipe != kPipeData) {
      if (transferred != nullptr) *transferred = dataLength;
      return true;
    }
    cond_.wait(lock, [&] { return free_ || released_ > 0; });
    if (!free_) --released_;
    Outcome outcome = Outcome::kFull;
    if (!script_.empty()) {
      outcome = script_.front();
      script_.pop_front();
    }
    const uint32_t sequence = static_cast<uint32_t>(++frames_);
    lock.unlock();
    auto *bytes = static_cast<uint8_t *>(data);
    for (size_t i = 0; i + 4 <= dataLength; i += 4) std::memcpy(bytes + i, &sequence, 4);
    lock.lock();
    ++reads_;
    cond_.notify_all();
    if (outcome == Outcome::kFail) return false;
    if (transferred != nullptr) *transferred = outcome == Outcome::kShort ? dataLength / 2 : dataLength;
    return true;
  }

  mutable std::mutex mutex_;
  std::condition_variable cond_;
  bool free_ = false;                                   // guarded by mutex_
  int released_ = 0;                                    // guarded by mutex_
  int frames_ = 0;                                      // guarded by mutex_
  int reads_ = 0;                                       // guarded by mutex_
  int opens_ = 0;                                       // guarded by mutex_
  std::deque<Outcome> script_;                          // guarded by mutex_
  std::vector<std::pair<uint32_t, uint8_t>> requests_;  // guarded by mutex_
};

}  // namespace quorel::test
