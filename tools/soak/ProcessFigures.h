// What this process holds right now, read from /proc/self: resident memory,
// open descriptors and threads. Each read allocates nothing it keeps.
#pragma once

namespace soak {

struct ProcessFigures {
  long residentKiB = 0;
  int descriptors = 0;
  int threads = 0;
};

ProcessFigures ReadProcessFigures();

}  // namespace soak
