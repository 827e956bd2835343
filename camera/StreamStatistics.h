// One camera's stream statistics and the identity of the frame it delivered
// last, behind QuorelStream_GetFrameMeta, QuorelStream_GetStatistics and
// QuorelStream_ResetStatistics.
//
// The transfer engine counts what happens on the transfer thread (completed,
// dropped, short, failed, time-outs) for streamed frames. This object adds
// what the frame thread sees: frames delivered, failed copies into the
// application's buffer, the delivered frame's identity, the delivery times
// behind the rates, and, for the single-frame reads of trigger mode and
// snapshots, which bypass the engine's ring, their own completed, failed and
// time-out counts and sequence numbers.
//
// Threads:
//  - Restart and Stop run on the controlling (application) thread that starts
//    and stops acquisition.
//  - The Count* operations and PublishFrame run on the one thread that
//    delivers frames at a time: the frame thread, or an application thread
//    taking a snapshot. PublishFrame is called with the camera's frame lock
//    held, which makes it the only writer of the frame identity.
//  - ReadFrame, Fill and Reset run on any thread.
// Every field shared between them is an atomic; the frame identity is a
// sequence-locked group of atomics, so a reader never sees the fields of two
// frames mixed and the frame path never waits for a reader. Only the reset
// baseline has a mutex, taken by readers and Reset, never by the frame path.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "QuorelStream.h"
#include "device/TransferEngine.h"

namespace quorel {

// The identity of a delivered frame, as QuorelFrameMeta carries it.
struct DeliveredFrame {
  uint64_t sequence = 0;
  uint64_t timestampNs = 0;
  uint32_t status = QUOREL_FRAME_COMPLETE;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
};

class StreamStatistics {
 public:
  // Where the completed frames of the current acquisition are counted.
  enum class Source { kTransferEngine, kSingleCapture };

  StreamStatistics() = default;
  StreamStatistics(const StreamStatistics &) = delete;
  StreamStatistics &operator=(const StreamStatistics &) = delete;

  // A new acquisition: every counter, the baseline and the rates start from
  // zero at nowNs; the delivered frame's identity is kept until a new frame
  // replaces it (the image it describes is still there).
  void Restart(Source source, uint64_t nowNs);
  // The acquisition ended at nowNs: the mean rate stops falling from then on.
  void Stop(uint64_t nowNs);

  // --- the delivering thread ---
  // A single-frame read completed; returns its sequence number.
  uint64_t CountCaptured();
  // A single-frame read failed; a time-out when it lasted the whole read
  // time-out (the driver reports both alike).
  void CountCaptureFailed(bool timedOut);
  // The output image now holds this frame (frame lock held).
  void PublishFrame(const DeliveredFrame &frame);
  // The frame reached the application at nowNs.
  void CountDelivered(uint64_t nowNs);
  void CountCopyFailure() { copyFailures_.fetch_add(1, std::memory_order_relaxed); }

  // Frames delivered and failed copies since the acquisition started
  // (resets do not change these). Any thread.
  uint64_t Delivered() const { return delivered_.load(std::memory_order_acquire); }
  uint64_t CopyFailures() const { return copyFailures_.load(std::memory_order_relaxed); }

  // --- any thread ---
  // The identity of the frame last published (all zero before the first).
  DeliveredFrame ReadFrame() const;
  // The counters since the start or the last reset, with the engine's
  // counters of the current run when the acquisition streams. Fills the
  // whole structure; the caller copies out as much as its record holds.
  void Fill(const TransferCounters &engine, uint64_t nowNs, QuorelStreamStats *out) const;
  // Starts the counters and the mean rate afresh at nowNs.
  void Reset(const TransferCounters &engine, uint64_t nowNs);

 private:
  // Delivery times kept for the current rate: enough for a second at up to
  // this many frames per second; beyond, the rate comes from the span of
  // the kept ones.
  static constexpr size_t kRecentDeliveries = 256;

  struct Counts {
    uint64_t completed = 0, delivered = 0, dropped = 0, shortFrames = 0, failed = 0, timeouts = 0, copyFailures = 0;
  };
  Counts Raw(const TransferCounters &engine) const;

  std::atomic<int> source_{static_cast<int>(Source::kTransferEngine)};
  std::atomic<uint64_t> startNs_{0};  // acquisition start or last reset
  std::atomic<uint64_t> stopNs_{0};   // 0 while the acquisition runs

  // Written by the delivering thread.
  std::atomic<uint64_t> delivered_{0};
  std::atomic<uint64_t> copyFailures_{0};
  std::atomic<uint64_t> captured_{0};  // single-frame reads completed (their sequence)
  std::atomic<uint64_t> captureFailed_{0};
  std::atomic<uint64_t> captureTimeouts_{0};
  std::array<std::atomic<uint64_t>, kRecentDeliveries> recent_{};  // delivery times, by delivered_ modulo

  // The published frame: version_ is odd while PublishFrame rewrites it.
  std::atomic<uint64_t> version_{0};
  std::atomic<uint64_t> frameSequence_{0};
  std::atomic<uint64_t> frameTimestampNs_{0};
  std::atomic<uint32_t> frameStatus_{0};
  std::atomic<int32_t> frameWidth_{0};
  std::atomic<int32_t> frameHeight_{0};
  std::atomic<int32_t> frameBits_{0};

  // Counts at the last reset, subtracted from the raw counts.
  mutable std::mutex baselineMutex_;
  Counts baseline_;  // guarded by baselineMutex_
};

}  // namespace quorel
