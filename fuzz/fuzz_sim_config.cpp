// The QUOREL_SIM configuration string of the virtual camera.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/sim/SimConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  quorel::sim::SimConfig config;
  std::string error;
  const bool ok = quorel::sim::ParseSimConfig(text, &config, &error);
  // A refusal always says why, on one line.
  if (!ok && (error.empty() || error.find('\n') != std::string::npos)) std::abort();
  return 0;
}
