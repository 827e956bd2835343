// The QUOREL_DEBUG category list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/DebugLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool quiet = [] {
    // Log lines (including the one naming unknown items) go nowhere.
    quorel::LogConfigure(nullptr, "/dev/null");
    return true;
  }();
  (void)quiet;
  const std::string selection(reinterpret_cast<const char *>(data), size);
  quorel::LogConfigure(selection.c_str(), "/dev/null");
  for (int c = 0; c < quorel::kLogCategoryCount; ++c) {
    quorel::LogPrint(static_cast<quorel::LogCategory>(c), 3, "probe %d", c);
  }
  quorel::LogConfigure(nullptr, nullptr);
  return 0;
}
