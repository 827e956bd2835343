// The driver channel: an open camera device that carries synchronous
// requests, and the backend that opens devices by path. Two backends exist:
// the kernel driver (ioctl on /dev nodes) and the virtual camera. Everything
// above this file talks to a camera only through DriverDevice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "QuorelDriver.h"

namespace quorel {

// Request codes, identical on every backend.
inline constexpr uint32_t IOCTL_PIPE_DIRECT_IN = QUOREL_IOCTL_PIPE_DIRECT_IN;
inline constexpr uint32_t IOCTL_PIPE_DIRECT_OUT = QUOREL_IOCTL_PIPE_DIRECT_OUT;
inline constexpr uint32_t IOCTL_PIPE_DIRECT_IN_LARGE = QUOREL_IOCTL_PIPE_DIRECT_IN_LARGE;
inline constexpr uint32_t IOCTL_SET_TIMEOUT = QUOREL_IOCTL_SET_TIMEOUT;

inline constexpr uint32_t kPipeCommand = QUOREL_PIPE_COMMAND;
inline constexpr uint32_t kPipeReply = QUOREL_PIPE_REPLY;
inline constexpr uint32_t kPipeData = QUOREL_PIPE_DATA;

// One open device. Requests are synchronous; a device is used by one thread
// at a time (the owner of the handle). Closing happens in the destructor.
class DriverDevice {
 public:
  virtual ~DriverDevice() = default;
  DriverDevice() = default;
  DriverDevice(const DriverDevice &) = delete;
  DriverDevice &operator=(const DriverDevice &) = delete;

  // Issues request `code`. `in`/`inLength` is the request's input block (the
  // 4-byte little-endian pipe index for pipe transfers, the 44-byte block for
  // IOCTL_SET_TIMEOUT); `data`/`dataLength` the data buffer of a pipe
  // transfer (read from for pipe 0, written into for pipes 1 and 2). Returns
  // true when the call itself succeeded, and stores the bytes moved in
  // *transferred (which may be null).
  virtual bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength,
                       size_t *transferred) = 0;

  // A pipe transfer with `code` on `pipe`: true only when the call succeeded
  // and moved exactly `length` bytes.
  bool PipeTransfer(uint32_t code, uint32_t pipe, void *data, size_t length);

  // True when a frame read waits in the kernel for the camera's data, so
  // that a thread reading frames gains by a real-time priority. A device in
  // software (the virtual camera, test devices) copies without blocking: a
  // real-time thread over it would starve every other thread of the process.
  virtual bool ReadsBlockInKernel() const { return false; }
};

// Owning handle of an open device; an empty handle is "no device".
using DeviceHandle = std::unique_ptr<DriverDevice>;

// Opens devices by path. Backends are process-wide and thread-safe.
class DriverBackend {
 public:
  virtual ~DriverBackend() = default;
  // Opens a device; an empty handle when it cannot be opened.
  virtual DeviceHandle Open(const std::string &path) = 0;
};

// The path of a unit: "/dev/%s-%s" with the model tag and the one-character
// suffix, on every backend.
std::string FormatDevicePath(const char *modelTag, const char *suffix);

// The backend in use: a test override if installed, else the virtual camera
// when QUOREL_DRIVER=sim is set or SelectSimDriver(true) was called, else
// the kernel driver. Thread-safe; the result stays valid while held.
std::shared_ptr<DriverBackend> CurrentDriverBackend();

// Chooses the virtual camera (QuorelSim_Enable) for every later open.
void SelectSimDriver(bool on);
// True when opens go to the virtual camera (ignoring a test override).
bool SimDriverSelected();

// Installs a backend used by every later open (null restores the normal
// choice); for tests that record or script the traffic. Returns the previous
// override.
std::shared_ptr<DriverBackend> SetDriverBackendOverride(std::shared_ptr<DriverBackend> backend);

}  // namespace quorel
