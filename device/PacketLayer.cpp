#include "device/PacketLayer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quorel {

namespace {
int Transfer(DriverDevice *handle, uint32_t code, uint32_t pipe, size_t length, uint8_t *buffer) {
  if (handle == nullptr || buffer == nullptr) return kSdkNoDevice;
  return handle->PipeTransfer(code, pipe, buffer, length) ? kSdkOk : kSdkPacketFailed;
}
}  // namespace

int SendPacket(DriverDevice *handle, uint32_t pipe, size_t length, uint8_t *buffer) {
  return Transfer(handle, IOCTL_PIPE_DIRECT_IN, pipe, length, buffer);
}

int ReceivePacket(DriverDevice *handle, uint32_t pipe, size_t length, uint8_t *buffer) {
  return Transfer(handle, IOCTL_PIPE_DIRECT_OUT, pipe, length, buffer);
}

int SendCommandData(DriverDevice *handle, size_t length, const uint8_t *data) {
  uint8_t packet[kPacketSize] = {};
  packet[0] = CMD_WRITE_REGISTER;
  if (data != nullptr) std::memcpy(packet + 1, data, std::min(length, kPacketSize - 1));
  return SendPacket(handle, kPipeCommand, kPacketSize, packet);
}

DeviceHandle OpenDevice(const char *path) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  return CurrentDriverBackend()->Open(path);
}

void CloseDevice(DeviceHandle &handle) {
  handle.reset();
}

}  // namespace quorel
