// The acquisition modes and the one table that says what each acquisition
// request does in each mode. Every acquisition entry point looks its step up
// here instead of testing modes itself, so the whole state machine reads in
// one place:
//
//   request \ mode   idle       preview    capture     trigger
//   start preview    start      keep       refuse      refuse
//   capture          start      refuse     keep        refuse
//   snapshot         one-shot   refuse     take-frame  refuse
//   trigger          start      refuse     refuse      retarget
//   stop             keep       end        end         end
//
// "refuse" fails with code 1 (not ready or not allowed now); "keep" succeeds
// without changing anything.
#pragma once

#include <cstdint>

namespace quorel {

enum class AcquisitionMode : int32_t { kIdle = 0, kPreview = 1, kCapture = 2, kTrigger = 3 };

enum class AcquisitionRequest : int { kStartPreview = 0, kCapture = 1, kSnapShot = 2, kTrigger = 3, kStop = 4 };

enum class AcquisitionStep : int {
  kStart,      // prepare sensor and images, enter the request's mode
  kKeep,       // already where the request leads: success, nothing changes
  kRefuse,     // not allowed in this mode: code 1
  kOneShot,    // snapshot while idle: prepare, take one frame, stay idle
  kTakeFrame,  // snapshot in capture mode: take one frame, keep the handle
  kRetarget,   // trigger while triggering: the new destination, the same worker
  kEnd,        // stop: end the transfer, release the unit, become idle
};

namespace detail {
using Step = AcquisitionStep;
inline constexpr Step kAcquisitionTable[5][4] = {
    // columns: idle, preview, capture, trigger
    {Step::kStart, Step::kKeep, Step::kRefuse, Step::kRefuse},         // start preview
    {Step::kStart, Step::kRefuse, Step::kKeep, Step::kRefuse},         // capture
    {Step::kOneShot, Step::kRefuse, Step::kTakeFrame, Step::kRefuse},  // snapshot
    {Step::kStart, Step::kRefuse, Step::kRefuse, Step::kRetarget},     // trigger
    {Step::kKeep, Step::kEnd, Step::kEnd, Step::kEnd},                 // stop
};
}  // namespace detail

constexpr AcquisitionStep StepFor(AcquisitionRequest request, AcquisitionMode mode) {
  return detail::kAcquisitionTable[static_cast<int>(request)][static_cast<int>(mode)];
}

}  // namespace quorel
