// The per-camera history of error codes: 20 entries, entry 0 the newest.
// Every push and pop is indivisible with respect to the others on the same
// camera, since worker threads push while the application pops.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace quorel {

class ErrorHistory {
 public:
  static constexpr int kDepth = 20;

  // Shifts every entry one place older (dropping the oldest) and stores code
  // as the newest.
  void Push(int32_t code) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (int i = kDepth - 1; i > 0; --i) codes_[i] = codes_[i - 1];
    codes_[0] = code;
  }

  // Removes and returns the newest code; 0 once the history is exhausted.
  int32_t Pop() {
    std::lock_guard<std::mutex> guard(mutex_);
    const int32_t newest = codes_[0];
    for (int i = 0; i < kDepth - 1; ++i) codes_[i] = codes_[i + 1];
    codes_[kDepth - 1] = 0;
    return newest;
  }

  // A copy of the whole history, newest first, without changing it.
  std::array<int32_t, kDepth> Snapshot() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return codes_;
  }

 private:
  mutable std::mutex mutex_;
  std::array<int32_t, kDepth> codes_{};  // guarded by mutex_
};

}  // namespace quorel
