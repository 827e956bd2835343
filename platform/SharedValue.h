// Single 32-bit loads and stores of settings that another thread may read or
// write at the same time (the application through the filter-value interface
// while a frame is processed). Each access is one relaxed atomic operation:
// no value is ever seen half-written, and no ordering between settings is
// promised, as each setting stands alone.
#pragma once

#include <atomic>
#include <cstdint>

namespace quorel {

inline int32_t LoadShared(int32_t &value) {
  return std::atomic_ref<int32_t>(value).load(std::memory_order_relaxed);
}

// For const accessors: the object itself is never const, only the view.
inline int32_t LoadShared(const int32_t &value) {
  return std::atomic_ref<int32_t>(const_cast<int32_t &>(value)).load(std::memory_order_relaxed);
}

inline void StoreShared(int32_t &value, int32_t newValue) {
  std::atomic_ref<int32_t>(value).store(newValue, std::memory_order_relaxed);
}

}  // namespace quorel
