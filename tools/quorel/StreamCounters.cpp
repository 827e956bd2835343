#include "StreamCounters.h"

#pragma weak QuorelStream_GetFrameMeta
#pragma weak QuorelStream_GetStatistics
#pragma weak QuorelStream_ResetStatistics

namespace quorel::cli {

bool ReadStreamStatistics(int handle, QuorelStreamStats &stats) {
  stats = QuorelStreamStats{};
  stats.size = sizeof stats;
  return QuorelStream_GetStatistics != nullptr && QuorelStream_GetStatistics(handle, &stats) == 1;
}

bool ReadFrameMeta(int handle, QuorelFrameMeta &meta) {
  meta = QuorelFrameMeta{};
  meta.size = sizeof meta;
  return QuorelStream_GetFrameMeta != nullptr && QuorelStream_GetFrameMeta(handle, &meta) == 1 && meta.width > 0;
}

bool ResetStreamStatistics(int handle) {
  return QuorelStream_ResetStatistics != nullptr && QuorelStream_ResetStatistics(handle) == 1;
}

unsigned long long FrameBytes(const QuorelFrameMeta &meta) {
  if (meta.width <= 0 || meta.height <= 0 || meta.bitsPerPixel <= 0) return 0;
  const unsigned long long rowBytes = (static_cast<unsigned long long>(meta.width) * meta.bitsPerPixel / 8 + 3) & ~3ull;
  return rowBytes * static_cast<unsigned long long>(meta.height);
}

}  // namespace quorel::cli
