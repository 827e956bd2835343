// CQRLSdkLib: the device library. Selects one of up to 32 camera units, holds
// the raw frame geometry and buffers, and speaks the camera's packet protocol
// (sensor registers, controller ports, serial ROM, transfer commands).
//
// Every operation that talks to the camera opens the unit's device path,
// performs its exchange and closes the handle again; only the single-frame
// capture (captureHandle) and the streaming thread keep a handle open.
//
// Thread context: one device object is driven by one controlling thread at a
// time (the camera object serialises its calls); while streaming, one
// consumer thread may call WaitNewestFrame and ConvertNewest. The transfer
// engine is the only state shared with other threads.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/DriverChannel.h"
#include "device/PacketLayer.h"
#include "device/TransferEngine.h"
#include "device/UnitSuffix.h"
#include "platform/ZeroedBytes.h"

namespace quorel {

class CQRLSdkLib {
 public:
  // Geometry after construction and after every SelectUnit.
  static constexpr int kDefaultLineTotal = 1339;
  static constexpr int kDefaultLineStart = 50;
  static constexpr int kDefaultImageWidth = 1280;
  static constexpr int kDefaultFrameLines = 1040;
  static constexpr int kDefaultImageTop = 10;
  static constexpr int kDefaultImageHeight = 1028;
  static constexpr int kDefaultTimeoutMs = 3000;
  static constexpr size_t kDevicePathSize = 128;
  static constexpr size_t kModelTagSize = 13;

  CQRLSdkLib();
  virtual ~CQRLSdkLib();
  CQRLSdkLib(const CQRLSdkLib &) = delete;
  CQRLSdkLib &operator=(const CQRLSdkLib &) = delete;

  // --- virtual operations, in table order ---

  // Copies the image window of a raw frame into dest, rows packed, 1 or 2
  // bytes per sample by sampleDepth16. dest must hold imageWidth x
  // imageHeight samples and raw one transfer (2 x transferSamples bytes).
  // 0, or 14 when dest or raw is null.
  virtual int CopyWindow(uint8_t *dest, const uint8_t *raw);
  // Stores value when it is 0, 1 or 2, else 1; returns 1.
  virtual int SetClockSelect(int value);
  // Stores the 16-bit flag and sends CMD_SAMPLE_DEPTH with it; returns 1.
  virtual int SetSampleDepth(int is16);

  // --- units ---
  // Opens each of the 32 unit paths once and records which exist; then
  // selects index 0 (without reprogramming anything). Returns the number of
  // units found.
  int ProbeUnits();
  // Stops a streaming run, frees the frame buffers, resets the geometry,
  // closes captureHandle, and, for 0..31, makes i the unit every exchange
  // goes to and sends the sample depth 0. 0 or 22.
  int SelectUnit(int i);
  int GetMaxUnits() const { return kMaxUnits; }
  int GetUnitIndex() const { return unitIndex; }
  // True for 0 <= i <= 31 when the last probe found the unit.
  int IsUnitPresent(int i) const;

  // --- camera access: 1 on success, 0 on failure ---
  int ReadRegister(int address, int *value);
  int WriteRegister(int address, int value);
  // On failure *value is 0.
  int ReadPort(int port, unsigned char *value);
  int WritePort(int port, int value);
  // Identifier byte at 0x1800 + (index AND 0xFF).
  int ReadSromId(int index, unsigned char *value);
  // Byte at a 16-bit address; addresses below 0x1800 are refused without
  // device access.
  int ReadSrom(int address, unsigned char *value);
  int WriteSromId(int index, int value);
  int SendInit();
  int SendPrepare();
  // Sends CMD_TRANSFER_SIZE with transferSamples; returns 1.
  int SetTransferSize();
  // Stores timeoutMs and sends IOCTL_SET_TIMEOUT (its outcome is not
  // examined); returns 1.
  int SetTimeout(int ms);

  // --- geometry ---
  // Checks and stores the raw frame geometry, allocates the single-capture
  // buffer and a ring of ringCount zeroed slots sized for 16-bit samples (a
  // geometry of the same transfer size and ring count keeps the buffers),
  // then sends the transfer size. 0, 1 (ringCount < 2), 3 (horizontal),
  // 4 (vertical), 7 (out of memory) or 21 while streaming (the transfer
  // thread is writing into the ring).
  int SetGeometry(int lineTotal, int lineStart, int imageWidth, int frameLines, int imageTop, int imageHeight,
                  int ringCount);

  // --- frame transfer ---
  // One frame into the single-capture buffer through a handle kept open
  // between calls. 0, 10 (device does not open), 14 (no geometry yet) or 19
  // (frame failed; the handle is closed). Controlling thread.
  int CaptureFrame();
  // Closes the single-capture handle if it is open.
  void ReleaseCaptureHandle();
  // CopyWindow of the single-capture buffer into dest: 0 or 14.
  int ConvertCaptured(uint8_t *dest);
  // Starts streaming into the ring: 0, 21 when already streaming, 1 without
  // a ring. Controlling thread.
  int StartTransfer();
  // Stops streaming; the run's outcome (0, 10 or 19), 0 when nothing ran.
  int StopTransfer();
  // 3 frame ready, 2 call again, 1 failure or time-out, 0 not streaming.
  // Consumer thread.
  int WaitNewestFrame();
  // Copies the frame chosen by WaitNewestFrame into dest, and its identity
  // into *meta when meta is not null: 0, 14 or 19. Consumer thread.
  int ConvertNewest(uint8_t *dest, RawFrameMeta *meta = nullptr);
  // True while a streaming run is active (geometry changes are refused).
  bool IsStreaming() const { return !transfer.Stopped(); }
  const TransferEngine &GetTransferEngine() const { return transfer; }

  // --- read access for the camera object and the transfer engine ---
  int GetSampleDepth16() const { return sampleDepth16; }
  int GetLineTotal() const { return lineTotal; }
  int GetLineStart() const { return lineStart; }
  int GetImageWidth() const { return imageWidth; }
  int GetFrameLines() const { return frameLines; }
  int GetImageTop() const { return imageTop; }
  int GetImageHeight() const { return imageHeight; }
  int GetTransferSamples() const { return transferSamples; }
  size_t GetSlotBytes() const { return slotBytes; }
  int GetRingCount() const { return ringCount; }
  int GetClockSelectValue() const { return clockSelect; }
  int GetSubSampleMode() const { return subSampleMode; }
  int GetTriggerModeFlag() const { return triggerMode; }
  int GetLargeTransfer() const { return largeTransfer; }
  int GetTimeoutMs() const { return timeoutMs; }
  int GetConversionSelector() const { return conversionSelector; }
  const char *GetDevicePath() const { return devicePath.data(); }
  const char *GetModelTag() const { return modelTag.data(); }
  const uint8_t *GetRawBuffer() const { return rawBuffer.get(); }
  uint8_t *GetRingSlot(int i) const;
  // Window in full-resolution sensor pixels, as set by SetWindow.
  int GetWindowX() const { return windowX; }
  int GetWindowY() const { return windowY; }
  int GetWindowWidth() const { return windowWidth; }
  int GetWindowHeight() const { return windowHeight; }

 protected:
  // Resets the geometry fields to their construction values.
  void ResetGeometry();
  // Frees the single-capture buffer and the ring (and any set aside).
  void FreeBuffers();
  // Takes the buffers out of use, kept for the next SetGeometry to take
  // over if its sizes match (it frees them otherwise).
  void SetBuffersAside();
  void SetModelTag(const char *tag);
  // One exchange on a fresh handle: sends `packet` on pipe 0, and when
  // `answer` is given performs the two receives and copies the second reply
  // there. pauseMs is slept after sending and again before closing (the
  // serial ROM needs it). 0 or a result code.
  int Exchange(const uint8_t (&packet)[kPacketSize], uint8_t (*answer)[kPacketSize], int pauseAfterSendMs,
               int pauseBeforeCloseMs);
  // Sends a command without an answer. 0 or a result code.
  int SendCommand(uint8_t code, const uint8_t *bytes, size_t count, int pauseBeforeCloseMs = 0);

  int sampleDepth16 = 0;
  int windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0;
  int lineTotal = kDefaultLineTotal;
  int lineStart = kDefaultLineStart;
  int imageWidth = kDefaultImageWidth;
  int frameLines = kDefaultFrameLines;
  int imageTop = kDefaultImageTop;
  int imageHeight = kDefaultImageHeight;
  int transferSamples = 0;
  ZeroedBytes rawBuffer;  // 2 x transferSamples bytes, single capture
  int timeoutMs = kDefaultTimeoutMs;
  size_t slotBytes = 0;  // 2 x transferSamples
  int ringCount = 0;
  int conversionSelector = 1;
  std::array<char, kModelTagSize> modelTag{};
  int clockSelect = 0;
  int subSampleMode = 0;
  // Written by a mirror setter on the application's thread while a starting
  // acquisition may write them too.
  std::atomic<int> mirrorH{0}, mirrorV{0};
  std::array<int, kMaxUnits> unitPresent{};
  int unitIndex = 0;
  int triggerMode = 0;

  int largeTransfer = 0;
  // Buffers out of use since a unit change, until the next SetGeometry.
  struct SpareBuffers {
    ZeroedBytes raw;
    std::vector<ZeroedBytes> ring;
    size_t slotBytes = 0;
  } spare;
  // The ring: ringCount zeroed slots of slotBytes, allocated by SetGeometry.
  std::vector<ZeroedBytes> ring;
  std::array<char, kDevicePathSize> devicePath{};
  // Streaming and single capture; holds the single-capture handle. Declared
  // last so that it is destroyed (its thread stopped) before the buffers.
  TransferEngine transfer;
};

}  // namespace quorel
