// Misbehaviour a test asks of a virtual unit; each fault applies once, to
// the next operation it concerns. All members are thread-safe.
#pragma once

#include <atomic>
#include <cstdint>

namespace quorel::sim {

class SimFrameFaults {
 public:
  // Arms a fault: "short-frame" (the next frame moves fewer bytes),
  // "fail-frame" (the next frame request fails), "stall=MS" (the next frame
  // comes MS milliseconds late, 1 to 600000), "fail-register" (the next
  // register access fails). False, arming nothing, for any other text or null.
  bool Inject(const char *fault);

  // Each returns the armed fault and disarms it.
  bool TakeShortFrame() { return shortFrame_.exchange(false); }
  bool TakeFailFrame() { return failFrame_.exchange(false); }
  uint32_t TakeStallMs() { return stallMs_.exchange(0); }
  bool TakeFailRegister() { return failRegister_.exchange(false); }

 private:
  std::atomic<bool> shortFrame_{false};
  std::atomic<bool> failFrame_{false};
  std::atomic<uint32_t> stallMs_{0};
  std::atomic<bool> failRegister_{false};
};

}  // namespace quorel::sim
