#include "image/CpuPath.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace quorel {

namespace {

CpuPath Detect() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512vbmi")) {
    return CpuPath::kAvx512;
  }
  if (__builtin_cpu_supports("avx2")) return CpuPath::kAvx2;
  return CpuPath::kSse2;
#else
  return CpuPath::kPlain;
#endif
}

CpuPath EnvironmentLimit() {
  CpuPath path = CpuPath::kAvx512;
  const char *text = std::getenv("QUOREL_CPU");
  if (text != nullptr && !ParseCpuPath(text, path)) path = CpuPath::kAvx512;
  return path;
}

CpuPath Lower(CpuPath a, CpuPath b) {
  return static_cast<int>(a) < static_cast<int>(b) ? a : b;
}

std::atomic<int> g_forced{static_cast<int>(CpuPath::kAvx512)};

}  // namespace

CpuPath DetectedCpuPath() {
  static const CpuPath detected = Detect();
  return detected;
}

CpuPath ActiveCpuPath() {
  static const CpuPath limited = Lower(DetectedCpuPath(), EnvironmentLimit());
  return Lower(limited, static_cast<CpuPath>(g_forced.load(std::memory_order_relaxed)));
}

CpuPath ForceCpuPath(CpuPath path) {
  return static_cast<CpuPath>(g_forced.exchange(static_cast<int>(path), std::memory_order_relaxed));
}

const char *CpuPathName(CpuPath path) {
  switch (path) {
    case CpuPath::kPlain:
      return "plain";
    case CpuPath::kSse2:
      return "sse2";
    case CpuPath::kAvx2:
      return "avx2";
    case CpuPath::kAvx512:
      return "avx512";
  }
  return "plain";
}

bool ParseCpuPath(const char *text, CpuPath &path) {
  if (text == nullptr) return false;
  for (CpuPath p : {CpuPath::kPlain, CpuPath::kSse2, CpuPath::kAvx2, CpuPath::kAvx512}) {
    if (std::strcmp(text, CpuPathName(p)) == 0) {
      path = p;
      return true;
    }
  }
  return false;
}

}  // namespace quorel
