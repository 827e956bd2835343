#include "device/TransferEngine.h"

#include <time.h>

#include <system_error>
#include <utility>

#include "device/PacketLayer.h"
#include "platform/Clock.h"
#include "platform/DebugLog.h"
#include "platform/ThreadUtil.h"

namespace quorel {
namespace {

constexpr uint8_t kPipeIndexCommand[4] = {kPipeCommand, 0, 0, 0};
constexpr uint8_t kPipeIndexData[4] = {kPipeData, 0, 0, 0};

uint64_t ThreadCpuNow() {
  timespec ts{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

TransferEngine::TransferEngine(PrepareFn prepare, CopyWindowFn copyWindow, int frameWaitMs)
    : prepare_(std::move(prepare)), copyWindow_(std::move(copyWindow)), frameWaitMs_(frameWaitMs) {}

TransferEngine::~TransferEngine() {
  if (!Stopped()) StopTransfer();
  JoinThread();
}

void TransferEngine::JoinThread() {
  if (thread_.joinable()) thread_.join();
}

int TransferEngine::CaptureFrame(const char *devicePath, uint8_t *rawBuffer, size_t bufferBytes, size_t frameBytes,
                                 bool large) {
  if (devicePath == nullptr || devicePath[0] == '\0' || rawBuffer == nullptr || frameBytes == 0 ||
      frameBytes > bufferBytes) {
    return kSdkNoDestination;
  }
  if (!captureHandle_) {
    captureHandle_ = OpenDevice(devicePath);
    if (!captureHandle_) return kSdkNoDevice;
  }
  if (prepare_) prepare_();
  uint8_t packet[kPacketSize] = {CMD_CAPTURE};
  captureHandle_->PipeTransfer(IOCTL_PIPE_DIRECT_IN, kPipeCommand, packet, sizeof packet);
  if (captureHandle_->PipeTransfer(large ? IOCTL_PIPE_DIRECT_IN_LARGE : IOCTL_PIPE_DIRECT_IN, kPipeData, rawBuffer,
                                   frameBytes)) {
    return kSdkOk;
  }
  CloseDevice(captureHandle_);
  return kSdkFrameFailed;
}

void TransferEngine::ReleaseCaptureHandle() {
  CloseDevice(captureHandle_);
}

int TransferEngine::ConvertCaptured(uint8_t *dest, const uint8_t *rawBuffer) {
  if (dest == nullptr || rawBuffer == nullptr) return kSdkNoDestination;
  if (copyWindow_) copyWindow_(dest, rawBuffer);
  return kSdkOk;
}

int TransferEngine::StartTransfer(const char *devicePath, const std::vector<uint8_t *> &slots, size_t slotBytes,
                                  size_t frameBytes, bool large) {
  if (stopFlag_.load(std::memory_order_acquire) == 0) return kSdkTransferRunning;
  if (slots.size() < 2 || slots.size() > 0xFFFF) return kSdkRingTooSmall;
  for (uint8_t *slot : slots) {
    if (slot == nullptr) return kSdkRingTooSmall;
  }
  if (devicePath == nullptr || devicePath[0] == '\0' || frameBytes == 0 || frameBytes > slotBytes) {
    return kSdkNoDestination;
  }
  // A thread that ended on its own (device missing, frame failed) is reaped
  // here if StopTransfer was not called in between.
  JoinThread();
  if (prepare_) prepare_();
  doneEvent_.Reset();
  frameEvent_.Reset();
  {
    std::lock_guard<std::mutex> lock(consumerMutex_);
    path_ = devicePath;
    slots_ = slots;
    transferBytes_ = frameBytes;
    large_ = large;
    if (slotInfoCapacity_ < slots.size()) {
      slotInfo_ = std::make_unique<Slot[]>(slots.size());
      slotInfoCapacity_ = slots.size();
    }
    for (size_t i = 0; i < slotInfoCapacity_; ++i) slotInfo_[i].state.store(kEmpty, std::memory_order_relaxed);
    ringCount_.store(static_cast<uint32_t>(slots.size()), std::memory_order_release);
    indices_.store(Pack(0, 0), std::memory_order_release);
  }
  completed_.store(0, std::memory_order_relaxed);
  dropped_.store(0, std::memory_order_relaxed);
  short_.store(0, std::memory_order_relaxed);
  failed_.store(0, std::memory_order_relaxed);
  timeouts_.store(0, std::memory_order_relaxed);
  failedFlag_.store(0, std::memory_order_release);
  published_.store(0, std::memory_order_release);
  threadCpuNs_.store(0, std::memory_order_release);
  threadRunning_.store(true, std::memory_order_release);
  stopFlag_.store(0, std::memory_order_release);
  try {
    thread_ = std::thread(&TransferEngine::Run, this);
  } catch (const std::system_error &) {
    threadRunning_.store(false, std::memory_order_release);
    stopFlag_.store(1, std::memory_order_release);
    return kSdkNoMemory;
  }
  return kSdkOk;
}

void TransferEngine::Run() {
  SetCurrentThreadName("quorel-transfer");
  const uint64_t cpuStart = ThreadCpuNow();
  int64_t outcome = kSdkNoDevice;
  DeviceHandle device = OpenDevice(path_.c_str());
  // Best effort, and only where it helps: without the privilege the thread
  // runs at normal priority.
  if (device && device->ReadsBlockInKernel()) RaiseCurrentThreadPriority();
  if (device) {
    outcome = kSdkOk;
    bool shortFrameAllowed = true;  // the first short frame of a run is read again
    const uint32_t readCode = large_ ? IOCTL_PIPE_DIRECT_IN_LARGE : IOCTL_PIPE_DIRECT_IN;
    const uint32_t ringCount = static_cast<uint32_t>(slots_.size());
    uint8_t packet[kPacketSize] = {CMD_CAPTURE};
    uint32_t write = 0;
    uint64_t sequence = 0;    // frames completed in this run
    bool afterShort = false;  // the slot is being read again after a short transfer
    if (stopFlag_.load(std::memory_order_acquire) == 0) {
      while (outcome != kSdkFrameFailed) {
        Slot &slot = slotInfo_[write];
        // A frame the consumer never took is lost the moment its slot is
        // read into again.
        if (slot.state.exchange(kFilling, std::memory_order_acq_rel) == kUntaken) {
          dropped_.fetch_add(1, std::memory_order_relaxed);
          LogPrint(LogCategory::kTransfer, 2, "frame %llu dropped: its slot is read again before it was taken",
                   static_cast<unsigned long long>(slot.sequence.load(std::memory_order_relaxed)));
        }
        size_t moved = 0;
        device->Request(IOCTL_PIPE_DIRECT_OUT, kPipeIndexCommand, sizeof kPipeIndexCommand, packet, sizeof packet,
                        &moved);
        moved = 0;
        const bool ok =
            device->Request(readCode, kPipeIndexData, sizeof kPipeIndexData, slots_[write], transferBytes_, &moved);
        const uint64_t completedNs = MonotonicNanoseconds();
        bool publish = true;
        if (!ok) {
          outcome = kSdkFrameFailed;
          failed_.fetch_add(1, std::memory_order_relaxed);
          LogPrint(LogCategory::kTransfer, 1, "frame read failed after %llu frames: the run ends",
                   static_cast<unsigned long long>(sequence));
        } else if (moved != transferBytes_) {
          short_.fetch_add(1, std::memory_order_relaxed);
          LogPrint(LogCategory::kTransfer, 1, "short frame: %zu of %zu bytes%s", moved, transferBytes_,
                   shortFrameAllowed ? ", read again (the run's one allowance)" : ": the run ends");
          if (shortFrameAllowed) {
            shortFrameAllowed = false;
            afterShort = true;
            publish = false;
          } else {
            outcome = kSdkFrameFailed;
          }
        }
        if (publish) {
          if (outcome == kSdkFrameFailed) {
            slot.state.store(kFailed, std::memory_order_relaxed);
            // Before the failed slot is published: a consumer woken by it
            // must learn that the run failed, not find a frame to take.
            failedFlag_.store(1, std::memory_order_release);
          } else {
            ++sequence;
            slot.sequence.store(sequence, std::memory_order_relaxed);
            slot.timestampNs.store(completedNs, std::memory_order_relaxed);
            slot.status.store(afterShort ? RawFrameMeta::kAfterShort : RawFrameMeta::kComplete,
                              std::memory_order_relaxed);
            slot.state.store(kUntaken, std::memory_order_relaxed);
            afterShort = false;
            completed_.store(sequence, std::memory_order_relaxed);
          }
          // Step to the next slot, over the one the consumer holds. A failed
          // frame is published too, so the consumer's indices stay in step.
          // Acquire: the consumer's last read of a slot happens before
          // this thread writes it again.
          uint64_t state = indices_.load(std::memory_order_acquire);
          uint32_t next;
          do {
            const uint32_t read = static_cast<uint32_t>(state & 0xFFFFFFFFu);
            next = (write + 1) % ringCount;
            if (next == read) next = (next + 1) % ringCount;
          } while (!indices_.compare_exchange_weak(state, Pack(next, static_cast<uint32_t>(state & 0xFFFFFFFFu)),
                                                   std::memory_order_acq_rel, std::memory_order_acquire));
          write = next;
          published_.fetch_add(1, std::memory_order_release);
          frameEvent_.Set();
        }
        threadCpuNs_.store(ThreadCpuNow() - cpuStart, std::memory_order_release);
        if (stopFlag_.load(std::memory_order_acquire) != 0) break;
      }
    }
    device.reset();
  }
  threadCpuNs_.store(ThreadCpuNow() - cpuStart, std::memory_order_release);
  LogPrint(LogCategory::kTransfer, 1, "run ended (%s): %llu completed, %llu dropped, %llu short, %llu failed",
           outcome == kSdkOk            ? "stopped"
           : outcome == kSdkFrameFailed ? "transfer failed"
                                        : "device not opened",
           static_cast<unsigned long long>(completed_.load(std::memory_order_relaxed)),
           static_cast<unsigned long long>(dropped_.load(std::memory_order_relaxed)),
           static_cast<unsigned long long>(short_.load(std::memory_order_relaxed)),
           static_cast<unsigned long long>(failed_.load(std::memory_order_relaxed)));
  transferStatus_.store(outcome, std::memory_order_release);
  failedFlag_.store(outcome == kSdkFrameFailed ? 1 : 0, std::memory_order_release);
  threadRunning_.store(false, std::memory_order_release);
  stopFlag_.store(1, std::memory_order_release);
  doneEvent_.Set();
  // Wakes a consumer waiting for a frame, so it sees the end at once
  // instead of after the whole frame wait.
  frameEvent_.Set();
}

int TransferEngine::StopTransfer() {
  if (stopFlag_.load(std::memory_order_acquire) != 0 && failedFlag_.load(std::memory_order_acquire) == 0) {
    // Nothing runs; a thread that ended on its own is only reaped.
    JoinThread();
    return kSdkOk;
  }
  if (stopFlag_.load(std::memory_order_acquire) == 0) {
    stopFlag_.store(1, std::memory_order_release);
    doneEvent_.Wait(-1);
  }
  JoinThread();
  // frameEvent_ stays as the thread left it (set), so that a consumer that
  // starts waiting only now still returns at once and then sees the stop.
  doneEvent_.Reset();
  stopFlag_.store(1, std::memory_order_release);
  failedFlag_.store(0, std::memory_order_release);
  return static_cast<int>(transferStatus_.load(std::memory_order_acquire));
}

void TransferEngine::ForgetRing() {
  if (!Stopped()) return;
  JoinThread();
  std::lock_guard<std::mutex> lock(consumerMutex_);
  slots_.clear();
  ringCount_.store(0, std::memory_order_release);
  indices_.store(Pack(0, 0), std::memory_order_release);
}

int TransferEngine::WaitNewestFrame() {
  if (failedFlag_.load(std::memory_order_acquire) != 0) return 1;
  if (stopFlag_.load(std::memory_order_acquire) != 0) return 0;
  uint64_t state = indices_.load(std::memory_order_acquire);
  for (;;) {
    const uint32_t ringCount = ringCount_.load(std::memory_order_acquire);
    if (ringCount < 2) return 0;
    uint32_t write = static_cast<uint32_t>(state >> 32);
    const uint32_t read = static_cast<uint32_t>(state & 0xFFFFFFFFu);
    if (write < read) write += ringCount;
    if (write - read < 1) {
      if (frameEvent_.Wait(frameWaitMs_)) return 2;
      timeouts_.fetch_add(1, std::memory_order_relaxed);
      LogPrint(LogCategory::kTransfer, 1, "no frame within %d ms: the transfer stalls", frameWaitMs_);
      return 1;
    }
    // The slot before the one being filled is the newest complete frame.
    const uint32_t newest = (write - 1) % ringCount;
    if (indices_.compare_exchange_weak(state, Pack(static_cast<uint32_t>(state >> 32), newest),
                                       std::memory_order_acq_rel, std::memory_order_acquire)) {
      return 3;
    }
  }
}

TransferCounters TransferEngine::Counters() const {
  TransferCounters counters;
  counters.completed = completed_.load(std::memory_order_relaxed);
  counters.dropped = dropped_.load(std::memory_order_relaxed);
  counters.shortFrames = short_.load(std::memory_order_relaxed);
  counters.failedTransfers = failed_.load(std::memory_order_relaxed);
  counters.timeouts = timeouts_.load(std::memory_order_relaxed);
  return counters;
}

int TransferEngine::ConvertNewest(uint8_t *dest, RawFrameMeta *meta) {
  if (dest == nullptr) return kSdkNoDestination;
  std::lock_guard<std::mutex> lock(consumerMutex_);
  const uint32_t ringCount = static_cast<uint32_t>(slots_.size());
  uint64_t state = indices_.load(std::memory_order_acquire);
  const uint32_t read = static_cast<uint32_t>(state & 0xFFFFFFFFu);
  if (ringCount < 2 || read >= ringCount) return kSdkFrameFailed;
  // While the thread runs, the slot it fills holds no complete frame; this
  // happens only when a restart reset the ring under the consumer.
  if (threadRunning_.load(std::memory_order_acquire) && read == static_cast<uint32_t>(state >> 32)) {
    return kSdkFrameFailed;
  }
  Slot &slot = slotInfo_[read];
  // The failed read that ended a run is published to keep the indices in
  // step, but its bytes are no frame: never hand them on as one. Neither is
  // a slot left half-read by a stop during a short-frame retry.
  const uint32_t held = slot.state.load(std::memory_order_acquire);
  if (held == kFailed || held == kFilling) return kSdkFrameFailed;
  if (copyWindow_) copyWindow_(dest, slots_[read]);
  if (meta != nullptr) {
    meta->sequence = slot.sequence.load(std::memory_order_relaxed);
    meta->timestampNs = slot.timestampNs.load(std::memory_order_relaxed);
    meta->status = slot.status.load(std::memory_order_relaxed);
  }
  uint32_t untaken = kUntaken;
  slot.state.compare_exchange_strong(untaken, kTaken, std::memory_order_acq_rel);
  while (!indices_.compare_exchange_weak(state, Pack(static_cast<uint32_t>(state >> 32), (read + 1) % ringCount),
                                         std::memory_order_acq_rel, std::memory_order_acquire)) {
  }
  return kSdkOk;
}

}  // namespace quorel
