// The camera's 64-byte packet protocol over an open device: the packet
// transfers, opening and closing. Results are the device library's codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/DriverChannel.h"

namespace quorel {

inline constexpr size_t kPacketSize = 64;

// Command codes (byte 0 of a command packet).
enum CommandCode : uint8_t {
  CMD_PREPARE = 0x01,
  CMD_CAPTURE = 0x02,
  CMD_WRITE_REGISTER = 0x04,
  CMD_INIT = 0x06,
  CMD_TRANSFER_SIZE = 0x09,
  CMD_SAMPLE_DEPTH = 0x0A,
  CMD_READ_REGISTER = 0x0C,
  CMD_WRITE_PORT = 0x25,
  CMD_READ_PORT = 0x26,
  CMD_SROM_WRITE = 0x40,
  CMD_SROM_READ = 0x41,
};

// Result codes of the device library.
enum SdkResult : int {
  kSdkOk = 0,
  kSdkRingTooSmall = 1,
  kSdkBadHorizontal = 3,
  kSdkBadVertical = 4,
  kSdkNoMemory = 7,
  kSdkNoDevice = 10,
  kSdkPacketFailed = 12,
  kSdkNoDestination = 14,
  kSdkFrameFailed = 19,
  kSdkTransferRunning = 21,
  kSdkBadUnit = 22,
};

// Sends `length` bytes of `buffer` on `pipe` with IOCTL_PIPE_DIRECT_IN.
// 0, 10 without a handle or buffer, 12 when the request failed or moved
// another byte count.
int SendPacket(DriverDevice *handle, uint32_t pipe, size_t length, uint8_t *buffer);
// Receives `length` bytes into `buffer` from `pipe` with
// IOCTL_PIPE_DIRECT_OUT; results as SendPacket.
int ReceivePacket(DriverDevice *handle, uint32_t pipe, size_t length, uint8_t *buffer);
// Sends a CMD_WRITE_REGISTER packet carrying up to 63 bytes of `data` (more
// are cut off) on pipe 0.
int SendCommandData(DriverDevice *handle, size_t length, const uint8_t *data);

// Opens a device path through the current backend; empty when it fails.
DeviceHandle OpenDevice(const char *path);
// Closes a handle; an empty one is left alone.
void CloseDevice(DeviceHandle &handle);

}  // namespace quorel
