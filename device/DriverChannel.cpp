#include "device/DriverChannel.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "device/KernelDriverBackend.h"
#include "device/SimDriverBackend.h"

namespace quorel {

bool DriverDevice::PipeTransfer(uint32_t code, uint32_t pipe, void *data, size_t length) {
  uint8_t in[4] = {static_cast<uint8_t>(pipe), static_cast<uint8_t>(pipe >> 8), static_cast<uint8_t>(pipe >> 16),
                   static_cast<uint8_t>(pipe >> 24)};
  size_t moved = 0;
  if (!Request(code, in, sizeof(in), data, length, &moved)) return false;
  return moved == length;
}

std::string FormatDevicePath(const char *modelTag, const char *suffix) {
  char path[128];
  std::snprintf(path, sizeof(path), "/dev/%s-%s", modelTag != nullptr ? modelTag : "", suffix != nullptr ? suffix : "");
  return path;
}

namespace {

std::mutex g_backendMutex;
std::shared_ptr<DriverBackend> g_override;  // guarded by g_backendMutex
std::atomic<bool> g_simSelected{false};
std::once_flag g_envOnce;

void ReadEnvironmentOnce() {
  std::call_once(g_envOnce, [] {
    const char *driver = std::getenv("QUOREL_DRIVER");
    if (driver != nullptr && std::strcmp(driver, "sim") == 0) g_simSelected = true;
  });
}

}  // namespace

void SelectSimDriver(bool on) {
  ReadEnvironmentOnce();
  g_simSelected = on;
}

bool SimDriverSelected() {
  ReadEnvironmentOnce();
  return g_simSelected;
}

std::shared_ptr<DriverBackend> CurrentDriverBackend() {
  {
    std::lock_guard<std::mutex> lock(g_backendMutex);
    if (g_override) return g_override;
  }
  if (SimDriverSelected()) return SimDriverBackend::Instance();
  static const auto kernel = std::make_shared<KernelDriverBackend>();
  return kernel;
}

std::shared_ptr<DriverBackend> SetDriverBackendOverride(std::shared_ptr<DriverBackend> backend) {
  std::lock_guard<std::mutex> lock(g_backendMutex);
  std::swap(g_override, backend);
  return backend;
}

}  // namespace quorel
