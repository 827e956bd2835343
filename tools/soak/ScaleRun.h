// The scale form: many virtual units streaming at once, in one process or
// in several processes that share the cross-process device table. Every
// unit shows the counter scene with its own column step, so each delivered
// frame is checked for coming whole from its own unit.
#pragma once

namespace soak {

struct ScaleOptions {
  int processes = 1;  // > 1: that many child processes, 8 units each (units 0..8P-1)
  int units = 8;      // units of this process
  int firstUnit = 0;  // its first unit
  int frames = 20;    // checked frames each unit must deliver
  int seconds = 120;  // deadline for the whole run
  int readyFd = -1;   // child: written once every unit has its frames
  int holdFd = -1;    // child: keeps streaming until this reaches end of file
};

// Returns 0 when every unit delivered its frames, all whole and its own (and,
// across processes, no process could start a unit another one streams);
// 1 otherwise; 2 when the cameras could not be set up.
int RunScale(const ScaleOptions &options);

}  // namespace soak
