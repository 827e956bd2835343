// What this process holds right now, read from /proc/self: resident memory,
// open descriptors and threads; and from the C library's allocator, the heap
// bytes in use (so that memory the allocator keeps for reuse after a free,
// which counts as resident, is not taken for a leak). Each read allocates
// nothing it keeps.
#pragma once

namespace soak {

struct ProcessFigures {
  long residentKiB = 0;
  long heapInUseKiB = 0;  // allocated and not yet freed, mapped blocks included
  long heapFreeKiB = 0;   // freed, kept by the allocator for reuse
  int descriptors = 0;
  int threads = 0;
};

ProcessFigures ReadProcessFigures();

}  // namespace soak
