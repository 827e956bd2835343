// The frame transfer engine of a device object: single-frame capture into
// the device's raw buffer, and streaming, where a dedicated transfer thread
// fills a ring of raw-frame slots while one consumer takes the newest
// complete frame.
//
// The device object (CQRLSdkLib) owns one engine and forwards to it, handing
// over what each operation needs from its current geometry: the device path,
// the raw buffer or ring slots, the frame size, and whether the large pipe
// request applies. The engine calls back into the device object only for
// CMD_PREPARE (its own exchange) and for the window copy.
//
// Result codes are the device library's: 0 success, 1 no usable ring,
// 10 device cannot be opened, 14 no buffer, 19 frame transfer failed,
// 21 transfer already running.
//
// Threads: a controlling thread calls CaptureFrame, ReleaseCaptureHandle,
// ConvertCaptured, StartTransfer and StopTransfer (one at a time); one
// consumer thread calls WaitNewestFrame and ConvertNewest while streaming.
// The ring slots and the raw buffer must stay allocated, and the geometry
// unchanged, from StartTransfer until StopTransfer returns.
//
// Stream counters: each counter has one writer (the transfer thread, or the
// consumer for time-outs) and is an atomic that any thread may read; they
// start from zero with every StartTransfer. Each slot carries the identity of
// the frame in it (sequence number, completion time, status) and whether the
// consumer has taken it, so that a frame overwritten untaken counts as
// dropped. None of this adds a lock or a driver request to the frame path.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/DriverChannel.h"
#include "platform/Event.h"

namespace quorel {

// What a streaming run has counted so far.
struct TransferCounters {
  uint64_t completed = 0;        // frames published whole (the sequence numbers issued)
  uint64_t dropped = 0;          // completed frames overwritten before the consumer took them
  uint64_t shortFrames = 0;      // reads that moved too few bytes (retried or run-ending)
  uint64_t failedTransfers = 0;  // frame reads whose request failed
  uint64_t timeouts = 0;         // WaitNewestFrame calls that waited in vain
};

// The identity of one streamed frame.
struct RawFrameMeta {
  // Status values; the numbers are those of QuorelStream.h.
  static constexpr uint32_t kComplete = 0;
  // Complete, read into its slot again after a short transfer that the
  // one-short-frame allowance discarded.
  static constexpr uint32_t kAfterShort = 1;

  uint64_t sequence = 0;     // completed frames of the run up to this one (1 first)
  uint64_t timestampNs = 0;  // CLOCK_MONOTONIC when its read completed
  uint32_t status = kComplete;
};

class TransferEngine {
 public:
  // Sends CMD_PREPARE on a handle of its own; the result is not examined.
  using PrepareFn = std::function<int()>;
  // Copies the image window out of one raw frame into dest; 0 on success.
  using CopyWindowFn = std::function<int(uint8_t *dest, const uint8_t *raw)>;

  static constexpr int kDefaultFrameWaitMs = 6000;

  // `frameWaitMs` bounds how long WaitNewestFrame waits for a frame.
  TransferEngine(PrepareFn prepare, CopyWindowFn copyWindow, int frameWaitMs = kDefaultFrameWaitMs);
  // Stops a running transfer and closes the capture handle.
  ~TransferEngine();
  TransferEngine(const TransferEngine &) = delete;
  TransferEngine &operator=(const TransferEngine &) = delete;

  // --- single capture (controlling thread) ---

  // Reads one frame of `frameBytes` into rawBuffer through the capture
  // handle, opening `devicePath` into it first when it is not open. `large`
  // chooses IOCTL_PIPE_DIRECT_IN_LARGE for the read. 0; 10 when the device
  // cannot be opened; 19 when the read fails or moves another byte count (a
  // read ended by the driver's time-out, e.g. a trigger that never came,
  // is such a failure), after which the handle is closed; 14 for a null
  // buffer, an empty path, or a frame (frameBytes, > 0) larger than the
  // buffer (bufferBytes).
  int CaptureFrame(const char *devicePath, uint8_t *rawBuffer, size_t bufferBytes, size_t frameBytes, bool large);
  // Closes the capture handle if it is open.
  void ReleaseCaptureHandle();
  bool CaptureHandleOpen() const { return static_cast<bool>(captureHandle_); }
  // CopyWindow(dest, rawBuffer): 14 when dest (or rawBuffer) is null, else 0.
  int ConvertCaptured(uint8_t *dest, const uint8_t *rawBuffer);

  // --- streaming ---

  // Starts the transfer thread over `slots` (each slotBytes long, at least 2
  // of them; the pointers are copied). Sends CMD_PREPARE first. 0; 21 when
  // a transfer is running; 1 for fewer than 2 slots or a null slot; 14 for
  // an empty path or a frame (frameBytes, > 0) larger than a slot; 7 when
  // the thread cannot be created. Controlling thread.
  int StartTransfer(const char *devicePath, const std::vector<uint8_t *> &slots, size_t slotBytes, size_t frameBytes,
                    bool large);
  // Asks the thread to end after the frame in progress and waits for it.
  // Returns the run's outcome: 0 clean end, 19 a frame failed; 0 as well
  // when nothing ran or the thread could not open the device (see
  // TransferStatus). Controlling thread.
  int StopTransfer();
  // 3: a frame is ready at ReadIndex (older ones are skipped); 2: a frame
  // arrived (or the run ended) while waiting, call again; 1: the run failed,
  // or no frame came within the frame wait; 0: not streaming. Consumer.
  int WaitNewestFrame();
  // Copies the frame at ReadIndex into dest with the window copy, then moves
  // ReadIndex on by one, and stores the frame's identity in *meta when meta
  // is not null. 14 for a null dest (nothing changes); 19 when no complete
  // frame is at ReadIndex (no ring yet, a restart replaced it, or the slot
  // holds the failed read that ended the run); else 0. Consumer.
  int ConvertNewest(uint8_t *dest, RawFrameMeta *meta = nullptr);
  // Drops the slot pointers of the last run before their memory is freed,
  // so that a later ConvertNewest reports 19 instead of reading it. Does
  // nothing while a run is active. Controlling thread.
  void ForgetRing();

  // --- state, readable from any thread ---
  int WriteIndex() const { return static_cast<int>(indices_.load(std::memory_order_acquire) >> 32); }
  int ReadIndex() const { return static_cast<int>(indices_.load(std::memory_order_acquire) & 0xFFFFFFFFu); }
  // Outcome of the last run: 0, 10 (the thread could not open the device) or 19.
  int64_t TransferStatus() const { return transferStatus_.load(std::memory_order_acquire); }
  bool Stopped() const { return stopFlag_.load(std::memory_order_acquire) != 0; }
  bool Failed() const { return failedFlag_.load(std::memory_order_acquire) != 0; }
  size_t TransferBytes() const { return transferBytes_; }
  // Frames published by the current or last run (failed ones included).
  uint64_t FramesPublished() const { return published_.load(std::memory_order_acquire); }
  // CPU time the current or last transfer thread has used, in nanoseconds.
  uint64_t ThreadCpuNanoseconds() const { return threadCpuNs_.load(std::memory_order_acquire); }
  // The current or last run's counters; each field is read on its own.
  TransferCounters Counters() const;

 private:
  // What a slot holds. The thread moves a slot to kFilling when it starts a
  // read into it and to kUntaken or kFailed when it publishes it; the
  // consumer moves it from kUntaken to kTaken when it converts it.
  enum SlotState : uint32_t { kEmpty, kFilling, kUntaken, kTaken, kFailed };
  // Written by the thread before the slot is published (release on
  // indices_), read by the consumer after choosing it (acquire); atomics so
  // that a restart racing a late consumer stays defined.
  struct Slot {
    std::atomic<uint32_t> state{kEmpty};
    std::atomic<uint32_t> status{0};
    std::atomic<uint64_t> sequence{0};
    std::atomic<uint64_t> timestampNs{0};
  };

  static uint64_t Pack(uint32_t write, uint32_t read) { return uint64_t{write} << 32 | read; }
  void Run();
  void JoinThread();

  const PrepareFn prepare_;
  const CopyWindowFn copyWindow_;
  const int frameWaitMs_;

  // Controlling thread only.
  DeviceHandle captureHandle_;
  std::thread thread_;

  // Set by StartTransfer before the thread exists, read-only while it runs.
  std::string path_;
  std::vector<uint8_t *> slots_;
  size_t transferBytes_ = 0;
  bool large_ = false;

  // The ring position as one word, write index high and read index low, so
  // that the thread's choice of the next slot and the consumer's choice of
  // the slot to read are made against each other's current value (a
  // compare-and-swap on both), and the thread can never start filling the
  // slot the consumer has taken. Written with release after the slot's
  // data; read with acquire before it.
  std::atomic<uint64_t> indices_{0};
  std::atomic<uint32_t> ringCount_{0};      // slots_.size(), for the consumer's arithmetic
  std::atomic<bool> threadRunning_{false};  // true from StartTransfer until the thread ends
  std::atomic<int64_t> transferStatus_{0};  // written by the thread as it ends
  std::atomic<int32_t> stopFlag_{1};        // controller asks; thread confirms
  std::atomic<int32_t> failedFlag_{0};      // written by the thread as it ends
  std::atomic<uint64_t> published_{0};      // written by the thread
  std::atomic<uint64_t> threadCpuNs_{0};    // written by the thread

  // Per-slot identity, slotInfoCapacity_ entries; grown (never shrunk) by
  // StartTransfer under consumerMutex_ while no thread runs.
  std::unique_ptr<Slot[]> slotInfo_;
  size_t slotInfoCapacity_ = 0;
  // Counters: completed_ to failed_ written by the thread, timeouts_ by the
  // consumer; reset by StartTransfer before the thread exists.
  std::atomic<uint64_t> completed_{0};
  std::atomic<uint64_t> dropped_{0};
  std::atomic<uint64_t> short_{0};
  std::atomic<uint64_t> failed_{0};
  std::atomic<uint64_t> timeouts_{0};

  Event frameEvent_{false};  // auto-reset: a slot was published (or the run ended)
  Event doneEvent_{true};    // manual-reset: the thread has ended

  // Held by ConvertNewest while it copies a slot and by StartTransfer while
  // it resets the ring position, so a restart never hands the slot being
  // converted to a new thread.
  std::mutex consumerMutex_;
};

}  // namespace quorel
