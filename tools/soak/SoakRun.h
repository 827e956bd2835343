// The soak form: every colour mode streamed in turn on the virtual camera's
// units with faults injected at random, while hammer threads call setters,
// getters, copies, saves, filter changes and acquisition changes on the
// streaming handles and on released ones.
#pragma once

namespace soak {

struct SoakOptions {
  int seconds = 60;  // streaming time, after the cameras are set up
  int units = 2;     // virtual units streamed at once (1..8)
  int threads = 8;   // hammer threads
  int reportEvery = 10;
  int warmupSeconds = 20;  // the figures later ones are compared with
  int stallSeconds = 120;  // a call that has not returned in this long fails the run
};

// Prints a line of figures every reportEvery seconds from the start (set-up
// included) and at the end. Returns the exit status: 0 clean; 1 frames never
// arrived or descriptors were left open after every camera was released;
// 2 the cameras could not be set up; 3 a call stalled.
int RunSoak(const SoakOptions &options);

}  // namespace soak
