#include "device/CQRLSdkLib.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <thread>

namespace quorel {

namespace {

void PauseMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

constexpr int kSromIdBase = 0x1800;

}  // namespace

CQRLSdkLib::CQRLSdkLib()
    : transfer([this] { return SendPrepare(); },
               [this](uint8_t *dest, const uint8_t *raw) { return CopyWindow(dest, raw); }) {
  ResetGeometry();
}

CQRLSdkLib::~CQRLSdkLib() {
  // A run still going would write into the ring freed below.
  transfer.StopTransfer();
  transfer.ReleaseCaptureHandle();
  FreeBuffers();
}

void CQRLSdkLib::ResetGeometry() {
  lineTotal = kDefaultLineTotal;
  lineStart = kDefaultLineStart;
  imageWidth = kDefaultImageWidth;
  frameLines = kDefaultFrameLines;
  imageTop = kDefaultImageTop;
  imageHeight = kDefaultImageHeight;
}

void CQRLSdkLib::FreeBuffers() {
  // The engine keeps pointers into the ring for the consumer's next copy.
  transfer.ForgetRing();
  rawBuffer.reset();
  ring.clear();
  ring.shrink_to_fit();
  ringCount = 0;
  slotBytes = 0;
  spare = SpareBuffers{};
}

void CQRLSdkLib::SetBuffersAside() {
  transfer.ForgetRing();
  if (rawBuffer != nullptr) {
    spare.raw = std::move(rawBuffer);
    spare.ring = std::move(ring);
    spare.slotBytes = slotBytes;
  }
  ring.clear();
  ringCount = 0;
  slotBytes = 0;
}

void CQRLSdkLib::SetModelTag(const char *tag) {
  modelTag.fill('\0');
  if (tag != nullptr) std::strncpy(modelTag.data(), tag, kModelTagSize - 1);
}

uint8_t *CQRLSdkLib::GetRingSlot(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= ring.size()) return nullptr;
  return ring[static_cast<size_t>(i)].get();
}

// --- virtual operations ---

int CQRLSdkLib::CopyWindow(uint8_t *dest, const uint8_t *raw) {
  if (dest == nullptr || raw == nullptr) return kSdkNoDestination;
  const size_t sample = sampleDepth16 == 1 ? 2 : 1;
  const size_t rowBytes = static_cast<size_t>(imageWidth) * sample;
  if (imageWidth == lineTotal && imageHeight == frameLines) {
    std::memcpy(dest, raw, rowBytes * static_cast<size_t>(imageHeight));
    return kSdkOk;
  }
  for (size_t i = 0; i < static_cast<size_t>(imageHeight); ++i) {
    size_t from =
        ((static_cast<size_t>(imageTop) + i) * static_cast<size_t>(lineTotal) + static_cast<size_t>(lineStart)) *
        sample;
    std::memcpy(dest + i * rowBytes, raw + from, rowBytes);
  }
  return kSdkOk;
}

int CQRLSdkLib::SetClockSelect(int value) {
  clockSelect = (value == 0 || value == 1 || value == 2) ? value : 1;
  return 1;
}

int CQRLSdkLib::SetSampleDepth(int is16) {
  sampleDepth16 = is16 != 0 ? 1 : 0;
  uint8_t depth = is16 != 0 ? 1 : 0;
  SendCommand(CMD_SAMPLE_DEPTH, &depth, 1);
  return 1;
}

// --- units ---

int CQRLSdkLib::ProbeUnits() {
  int found = 0;
  for (int i = 0; i < kMaxUnits; ++i) {
    std::string path = FormatDevicePath(modelTag.data(), UnitSuffix(i));
    DeviceHandle handle = OpenDevice(path.c_str());
    unitPresent[static_cast<size_t>(i)] = handle ? 1 : 0;
    found += unitPresent[static_cast<size_t>(i)];
    CloseDevice(handle);
  }
  unitIndex = 0;
  return found;
}

int CQRLSdkLib::IsUnitPresent(int i) const {
  return (i >= 0 && i < kMaxUnits && unitPresent[static_cast<size_t>(i)] == 1) ? 1 : 0;
}

int CQRLSdkLib::SelectUnit(int i) {
  // The default geometry describes a frame the current buffers were not
  // sized for: a window copy of them with it would read past their end. A
  // new unit starts as after construction, with no buffers in use (they are
  // set aside for a window of the same size), so capture and conversion
  // report a missing geometry until the next SetGeometry.
  transfer.StopTransfer();
  transfer.ReleaseCaptureHandle();
  SetBuffersAside();
  transferSamples = 0;
  ResetGeometry();
  if (i < 0 || i >= kMaxUnits) return kSdkBadUnit;
  unitIndex = i;
  std::string path = FormatDevicePath(modelTag.data(), UnitSuffix(i));
  std::snprintf(devicePath.data(), devicePath.size(), "%s", path.c_str());
  SetSampleDepth(0);
  return kSdkOk;
}

// --- exchanges ---

int CQRLSdkLib::Exchange(const uint8_t (&packet)[kPacketSize], uint8_t (*answer)[kPacketSize], int pauseAfterSendMs,
                         int pauseBeforeCloseMs) {
  DeviceHandle handle = OpenDevice(devicePath.data());
  if (!handle) return kSdkNoDevice;
  uint8_t out[kPacketSize];
  std::memcpy(out, packet, kPacketSize);
  int result = SendPacket(handle.get(), kPipeCommand, kPacketSize, out);
  PauseMs(pauseAfterSendMs);
  if (result == kSdkOk && answer != nullptr) {
    // The camera answers twice; the first reply is stale and the second one
    // decides the outcome.
    uint8_t first[kPacketSize] = {};
    ReceivePacket(handle.get(), kPipeReply, kPacketSize, first);
    result = ReceivePacket(handle.get(), kPipeReply, kPacketSize, *answer);
  }
  PauseMs(pauseBeforeCloseMs);
  CloseDevice(handle);
  return result;
}

int CQRLSdkLib::SendCommand(uint8_t code, const uint8_t *bytes, size_t count, int pauseBeforeCloseMs) {
  uint8_t packet[kPacketSize] = {};
  packet[0] = code;
  if (bytes != nullptr) std::memcpy(packet + 1, bytes, count < kPacketSize - 1 ? count : kPacketSize - 1);
  return Exchange(packet, nullptr, 0, pauseBeforeCloseMs);
}

int CQRLSdkLib::ReadRegister(int address, int *value) {
  if (value == nullptr) return 0;
  uint8_t packet[kPacketSize] = {CMD_READ_REGISTER, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                 0x88, 0x88};
  uint8_t answer[kPacketSize] = {};
  if (Exchange(packet, &answer, 0, 0) != kSdkOk) return 0;
  *value = answer[0] << 8 | answer[1];
  return 1;
}

int CQRLSdkLib::WriteRegister(int address, int value) {
  DeviceHandle handle = OpenDevice(devicePath.data());
  if (!handle) return 0;
  const uint8_t data[4] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                           static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  int result = SendCommandData(handle.get(), sizeof(data), data);
  CloseDevice(handle);
  return result == kSdkOk ? 1 : 0;
}

int CQRLSdkLib::ReadPort(int port, unsigned char *value) {
  if (value == nullptr) return 0;
  *value = 0;
  uint8_t packet[kPacketSize] = {CMD_READ_PORT, static_cast<uint8_t>(port)};
  uint8_t answer[kPacketSize] = {};
  if (Exchange(packet, &answer, 0, 0) != kSdkOk) return 0;
  *value = answer[0];
  return 1;
}

int CQRLSdkLib::WritePort(int port, int value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(port), static_cast<uint8_t>(value)};
  return SendCommand(CMD_WRITE_PORT, bytes, sizeof(bytes)) == kSdkOk ? 1 : 0;
}

int CQRLSdkLib::ReadSromId(int index, unsigned char *value) {
  return ReadSrom(kSromIdBase + (index & 0xFF), value);
}

int CQRLSdkLib::ReadSrom(int address, unsigned char *value) {
  if (value == nullptr || address < kSromIdBase || address > 0xFFFF) return 0;
  uint8_t packet[kPacketSize] = {
      CMD_SROM_READ, 0x51, 0x02, 0x01, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  uint8_t answer[kPacketSize] = {};
  // The ROM needs 6 ms after the request and again after the answer.
  if (Exchange(packet, &answer, 6, 6) != kSdkOk) return 0;
  *value = answer[0];
  return 1;
}

int CQRLSdkLib::WriteSromId(int index, int value) {
  const uint8_t bytes[5] = {0x51, 0x03, 0x18, static_cast<uint8_t>(index), static_cast<uint8_t>(value)};
  // A ROM write takes up to 10 ms; closing earlier may cut it short.
  return SendCommand(CMD_SROM_WRITE, bytes, sizeof(bytes), 10) == kSdkOk ? 1 : 0;
}

int CQRLSdkLib::SendInit() {
  return SendCommand(CMD_INIT, nullptr, 0) == kSdkOk ? 1 : 0;
}

int CQRLSdkLib::SendPrepare() {
  return SendCommand(CMD_PREPARE, nullptr, 0) == kSdkOk ? 1 : 0;
}

int CQRLSdkLib::SetTransferSize() {
  const auto n = static_cast<uint32_t>(transferSamples);
  const uint8_t bytes[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                            static_cast<uint8_t>(n >> 24)};
  SendCommand(CMD_TRANSFER_SIZE, bytes, sizeof(bytes));
  return 1;
}

int CQRLSdkLib::SetTimeout(int ms) {
  timeoutMs = ms;
  uint8_t block[QUOREL_TIMEOUT_BLOCK_SIZE] = {1, 0, 0, 0};
  const auto v = static_cast<uint32_t>(ms);
  block[4] = static_cast<uint8_t>(v);
  block[5] = static_cast<uint8_t>(v >> 8);
  block[6] = static_cast<uint8_t>(v >> 16);
  block[7] = static_cast<uint8_t>(v >> 24);
  DeviceHandle handle = OpenDevice(devicePath.data());
  if (handle) handle->Request(IOCTL_SET_TIMEOUT, block, sizeof(block), nullptr, 0, nullptr);
  CloseDevice(handle);
  return 1;
}

// --- geometry ---

int CQRLSdkLib::SetGeometry(int newLineTotal, int newLineStart, int newImageWidth, int newFrameLines, int newImageTop,
                            int newImageHeight, int newRingCount) {
  // Besides the widths, the window must lie inside each row and the frame:
  // a start outside the row would make every window copy read out of bounds.
  if (newLineTotal <= 0 || newImageWidth <= 0 || newImageWidth > newLineTotal || newLineStart < 0 ||
      newLineStart > newLineTotal - newImageWidth)
    return kSdkBadHorizontal;
  if (newFrameLines <= 0 || newImageHeight <= 0 || newImageTop < 0 || newImageTop > newFrameLines - newImageHeight)
    return kSdkBadVertical;
  if (newRingCount < 2) return kSdkRingTooSmall;
  // Reallocating the ring under a running transfer thread would hand it freed
  // memory.
  if (IsStreaming()) return kSdkTransferRunning;

  // Computed in 64 bits: a transfer count must also fit the 32-bit field of
  // the transfer-size command.
  int64_t samples = int64_t{newImageTop + newImageHeight} * newLineTotal;
  samples = (samples + 1023) / 1024 * 1024;
  if (samples > INT32_MAX / 2) return kSdkNoMemory;

  const size_t bytes = 2 * static_cast<size_t>(samples);
  // Buffers of the same transfer size and ring count, in use or set aside by
  // a unit change, are taken over as they are (a slot holds a frame's bytes
  // or zeros, as while streaming): initialisation and a unit change set the
  // full window again and again, and mapping and clearing a fresh full-frame
  // ring each time is slow, under ThreadSanitizer seconds a call.
  SetBuffersAside();
  const bool keepBuffers =
      spare.raw != nullptr && bytes == spare.slotBytes && spare.ring.size() == static_cast<size_t>(newRingCount);
  if (keepBuffers) {
    rawBuffer = std::move(spare.raw);
    ring = std::move(spare.ring);
    slotBytes = bytes;
    ringCount = newRingCount;
  }
  spare = SpareBuffers{};
  lineTotal = newLineTotal;
  lineStart = newLineStart;
  imageWidth = newImageWidth;
  frameLines = newFrameLines;
  imageTop = newImageTop;
  imageHeight = newImageHeight;
  transferSamples = static_cast<int>(samples);

  if (keepBuffers) {
    SetTransferSize();
    return kSdkOk;
  }
  rawBuffer = AllocateZeroed(bytes);
  if (!rawBuffer) return kSdkNoMemory;
  slotBytes = bytes;
  try {
    ring.reserve(static_cast<size_t>(newRingCount));
    for (int i = 0; i < newRingCount; ++i) {
      ring.push_back(AllocateZeroed(bytes));
      if (!ring.back()) throw std::bad_alloc();
    }
  } catch (const std::bad_alloc &) {
    FreeBuffers();
    return kSdkNoMemory;
  }
  ringCount = newRingCount;
  SetTransferSize();
  return kSdkOk;
}

// --- frame transfer ---

namespace {
size_t FrameBytes(int transferSamples, int sampleDepth16) {
  return static_cast<size_t>(transferSamples) * (sampleDepth16 == 1 ? 2 : 1);
}
}  // namespace

int CQRLSdkLib::CaptureFrame() {
  if (!rawBuffer) return kSdkNoDestination;
  return transfer.CaptureFrame(devicePath.data(), rawBuffer.get(), slotBytes,
                               FrameBytes(transferSamples, sampleDepth16), largeTransfer == 1);
}

void CQRLSdkLib::ReleaseCaptureHandle() {
  transfer.ReleaseCaptureHandle();
}

int CQRLSdkLib::ConvertCaptured(uint8_t *dest) {
  return transfer.ConvertCaptured(dest, rawBuffer.get());
}

int CQRLSdkLib::StartTransfer() {
  if (IsStreaming()) return kSdkTransferRunning;
  std::vector<uint8_t *> slots;
  slots.reserve(ring.size());
  for (const auto &slot : ring) slots.push_back(slot.get());
  return transfer.StartTransfer(devicePath.data(), slots, slotBytes, FrameBytes(transferSamples, sampleDepth16),
                                largeTransfer == 1);
}

int CQRLSdkLib::StopTransfer() {
  return transfer.StopTransfer();
}

int CQRLSdkLib::WaitNewestFrame() {
  return transfer.WaitNewestFrame();
}

int CQRLSdkLib::ConvertNewest(uint8_t *dest, RawFrameMeta *meta) {
  return transfer.ConvertNewest(dest, meta);
}

}  // namespace quorel
