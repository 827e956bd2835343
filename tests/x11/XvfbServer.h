// An X server of the test's own: Xvfb on a display number it picks itself
// (-displayfd), so tests running side by side never collide. DISPLAY points
// at it while it runs.
#pragma once

#include <sys/types.h>

#include <string>

namespace quorel::test {

class XvfbServer {
 public:
  // Starts Xvfb with one screen of width x height at depth 24 and waits until
  // it accepts connections (up to 20 s). On failure ok() is false and
  // failure() says why.
  XvfbServer(int width = 1280, int height = 1024);
  ~XvfbServer();
  XvfbServer(const XvfbServer &) = delete;
  XvfbServer &operator=(const XvfbServer &) = delete;

  bool ok() const { return pid_ > 0 && !display_.empty(); }
  const std::string &failure() const { return failure_; }
  // ":N"
  const std::string &display() const { return display_; }
  pid_t pid() const { return pid_; }

  // Ends the server at once (SIGKILL) and reaps it.
  void Kill();

  // Whether an Xvfb program is installed.
  static bool Installed();

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string failure_;
};

}  // namespace quorel::test
