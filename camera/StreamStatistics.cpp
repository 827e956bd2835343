#include "camera/StreamStatistics.h"

#include <algorithm>
#include <thread>

namespace quorel {
namespace {

constexpr uint64_t kNsPerSecond = 1000000000u;

uint64_t Since(uint64_t value, uint64_t base) {
  return value > base ? value - base : 0;
}

}  // namespace

void StreamStatistics::Restart(Source source, uint64_t nowNs) {
  {
    std::lock_guard<std::mutex> lock(baselineMutex_);
    baseline_ = Counts{};
  }
  source_.store(static_cast<int>(source), std::memory_order_relaxed);
  delivered_.store(0, std::memory_order_relaxed);
  copyFailures_.store(0, std::memory_order_relaxed);
  captured_.store(0, std::memory_order_relaxed);
  captureFailed_.store(0, std::memory_order_relaxed);
  captureTimeouts_.store(0, std::memory_order_relaxed);
  stopNs_.store(0, std::memory_order_relaxed);
  startNs_.store(nowNs, std::memory_order_release);
}

void StreamStatistics::Stop(uint64_t nowNs) {
  if (stopNs_.load(std::memory_order_relaxed) == 0)
    stopNs_.store(std::max<uint64_t>(nowNs, 1), std::memory_order_release);
}

uint64_t StreamStatistics::CountCaptured() {
  return captured_.fetch_add(1, std::memory_order_relaxed) + 1;
}

void StreamStatistics::CountCaptureFailed(bool timedOut) {
  (timedOut ? captureTimeouts_ : captureFailed_).fetch_add(1, std::memory_order_relaxed);
}

void StreamStatistics::PublishFrame(const DeliveredFrame &frame) {
  // One writer at a time (the frame lock). The version is odd while the
  // fields are rewritten; each field is stored with release, so a reader
  // that sees a new value also sees the odd version that preceded it.
  const uint64_t version = version_.load(std::memory_order_relaxed);
  version_.store(version + 1, std::memory_order_relaxed);
  frameSequence_.store(frame.sequence, std::memory_order_release);
  frameTimestampNs_.store(frame.timestampNs, std::memory_order_release);
  frameStatus_.store(frame.status, std::memory_order_release);
  frameWidth_.store(frame.width, std::memory_order_release);
  frameHeight_.store(frame.height, std::memory_order_release);
  frameBits_.store(frame.bitsPerPixel, std::memory_order_release);
  version_.store(version + 2, std::memory_order_release);
}

DeliveredFrame StreamStatistics::ReadFrame() const {
  DeliveredFrame frame;
  for (;;) {
    const uint64_t before = version_.load(std::memory_order_acquire);
    if ((before & 1) != 0) {
      std::this_thread::yield();
      continue;
    }
    // Acquire loads: the version is read again only after all of them.
    frame.sequence = frameSequence_.load(std::memory_order_acquire);
    frame.timestampNs = frameTimestampNs_.load(std::memory_order_acquire);
    frame.status = frameStatus_.load(std::memory_order_acquire);
    frame.width = frameWidth_.load(std::memory_order_acquire);
    frame.height = frameHeight_.load(std::memory_order_acquire);
    frame.bitsPerPixel = frameBits_.load(std::memory_order_acquire);
    if (version_.load(std::memory_order_relaxed) == before) return frame;
  }
}

void StreamStatistics::CountDelivered(uint64_t nowNs) {
  const uint64_t index = delivered_.load(std::memory_order_relaxed);
  recent_[index % kRecentDeliveries].store(nowNs, std::memory_order_relaxed);
  delivered_.store(index + 1, std::memory_order_release);
}

StreamStatistics::Counts StreamStatistics::Raw(const TransferCounters &engine) const {
  Counts raw;
  raw.delivered = delivered_.load(std::memory_order_acquire);
  raw.copyFailures = copyFailures_.load(std::memory_order_relaxed);
  if (static_cast<Source>(source_.load(std::memory_order_relaxed)) == Source::kTransferEngine) {
    raw.completed = engine.completed;
    raw.dropped = engine.dropped;
    raw.shortFrames = engine.shortFrames;
    raw.failed = engine.failedTransfers;
    raw.timeouts = engine.timeouts;
  } else {
    raw.completed = captured_.load(std::memory_order_relaxed);
    raw.failed = captureFailed_.load(std::memory_order_relaxed);
    raw.timeouts = captureTimeouts_.load(std::memory_order_relaxed);
  }
  return raw;
}

void StreamStatistics::Fill(const TransferCounters &engine, uint64_t nowNs, QuorelStreamStats *out) const {
  const Counts raw = Raw(engine);
  Counts base;
  {
    std::lock_guard<std::mutex> lock(baselineMutex_);
    base = baseline_;
  }
  const uint64_t startNs = startNs_.load(std::memory_order_acquire);
  const uint64_t stopNs = stopNs_.load(std::memory_order_acquire);
  out->reserved = 0;
  out->completed = Since(raw.completed, base.completed);
  out->delivered = Since(raw.delivered, base.delivered);
  out->dropped = Since(raw.dropped, base.dropped);
  out->shortFrames = Since(raw.shortFrames, base.shortFrames);
  out->failedTransfers = Since(raw.failed, base.failed);
  out->timeouts = Since(raw.timeouts, base.timeouts);
  out->copyFailures = Since(raw.copyFailures, base.copyFailures);

  const uint64_t endNs = stopNs != 0 ? stopNs : nowNs;
  const uint64_t elapsedNs = Since(endNs, startNs);
  out->meanRate = elapsedNs > 0 ? static_cast<double>(out->delivered) * 1e9 / static_cast<double>(elapsedNs) : 0.0;

  // Deliveries within the last second (and since the start or reset),
  // newest first.
  const uint64_t windowStart = std::max(Since(endNs, kNsPerSecond), startNs);
  const uint64_t kept = std::min<uint64_t>(out->delivered, kRecentDeliveries);
  uint64_t inWindow = 0;
  uint64_t oldest = 0;
  for (uint64_t i = 0; i < kept; ++i) {
    const uint64_t at = recent_[(raw.delivered - 1 - i) % kRecentDeliveries].load(std::memory_order_relaxed);
    if (at < windowStart || at > endNs) break;
    ++inWindow;
    oldest = at;
  }
  static_assert(kRecentDeliveries > 1, "a rate needs two deliveries");
  if (inWindow == kRecentDeliveries && endNs > oldest) {
    // More frames in the second than are kept: rate over the kept span.
    out->currentRate = static_cast<double>(inWindow - 1) * 1e9 / static_cast<double>(endNs - oldest);
  } else {
    // The window is shorter than a second in the first second of a run.
    const uint64_t windowNs = Since(endNs, windowStart);
    out->currentRate = windowNs > 0 ? static_cast<double>(inWindow) * 1e9 / static_cast<double>(windowNs) : 0.0;
  }
}

void StreamStatistics::Reset(const TransferCounters &engine, uint64_t nowNs) {
  std::lock_guard<std::mutex> lock(baselineMutex_);
  baseline_ = Raw(engine);
  const uint64_t stopNs = stopNs_.load(std::memory_order_acquire);
  // A reset after the end starts an empty interval: no rate until restarted.
  startNs_.store(stopNs != 0 ? stopNs : nowNs, std::memory_order_release);
}

}  // namespace quorel
