// A private X server for a test: Xvfb on a display number it picks itself
// (-displayfd), so that tests running side by side never share a screen.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorel::viewer::test {

class VirtualDisplay {
 public:
  // Starts Xvfb and waits (up to 20 s) for it to name its display.
  VirtualDisplay(int width, int height);
  // Ends the server and reaps it.
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay &) = delete;
  VirtualDisplay &operator=(const VirtualDisplay &) = delete;

  // ":N", or empty when the server could not be started (see error()).
  const std::string &name() const { return name_; }
  const std::string &error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string error_;
};

// The result of running a program to its end.
struct ProgramRun {
  bool finished = false;  // false: killed at the deadline
  int exitStatus = -1;    // exit code, or 128 + signal
  std::string output;     // stdout and stderr together
};

// Runs argv[0] with extra environment entries ("NAME=value", replacing
// inherited ones of that name) and waits up to deadlineMs.
ProgramRun RunProgram(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
                      int deadlineMs);

}  // namespace quorel::viewer::test
