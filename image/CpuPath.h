// Which instruction-set path the pixel kernels take, chosen at run time.
//
// Every kernel with fast paths gives exactly the bytes of its plain path; the
// choice only changes the speed. The path is the best the processor supports
// (x86-64: SSE2 always, AVX2, AVX-512 with the byte and word instructions and
// the byte permutes), limited by the environment variable QUOREL_CPU
// ("plain", "sse2", "avx2" or "avx512", read once) so that a user can rule a
// path out, and by ForceCpuPath for tests that compare the paths. A kernel
// without a variant for the active path takes the next narrower one it has.
//
// Thread context: any thread. The forced path is one atomic value: a kernel
// already running keeps the path it started with.
#pragma once

namespace quorel {

enum class CpuPath : int { kPlain = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };

// The best path this processor supports (kPlain on other architectures).
CpuPath DetectedCpuPath();

// The path kernels take now: the detected one, limited by QUOREL_CPU and by a
// forced path.
CpuPath ActiveCpuPath();

// Limits the active path to `path` (never beyond the detected one) until
// called again; kAvx512 lifts the limit. Returns the previous limit.
CpuPath ForceCpuPath(CpuPath path);

// "plain", "sse2", "avx2", "avx512".
const char *CpuPathName(CpuPath path);

// Parses a QUOREL_CPU value; false for anything else.
bool ParseCpuPath(const char *text, CpuPath &path);

}  // namespace quorel
