// One camera handle for the length of a command: selects the virtual camera
// when asked, creates the notification window, initialises the camera, reports
// what the initialisation recorded, selects the device number, and releases
// everything again on every path out.
//
// The handle and its window live in a CameraConnection. A command opens its
// own; a caller that runs several commands in one process (the tests) may open
// one and hand it to each through Invocation::camera, which saves the camera's
// start-up (about a second of buffer allocation) per command.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "QuorelHost.h"

namespace quorel::cli {

// Destroys a message window of the host layer.
struct MessageWindowCloser {
  void operator()(HWND__ *window) const { QuorelHost_DestroyWindow(window); }
};
using MessageWindow = std::unique_ptr<HWND__, MessageWindowCloser>;

// A new message window, or a CliError (exit 3) when the host cannot make one.
MessageWindow CreateMessageWindow(const std::string &command);

// "error 7 (QUOREL_ERR_GEOMETRY: capture geometry invalid)"
std::string DescribeErrorCode(int code);

// Codes joined with "; ", or "no error code recorded" for none.
std::string DescribeErrorCodes(const std::vector<int> &codes);

// An initialised camera and the window it reports to. Releasing it (when the
// last holder lets go) stops acquisition and saves the camera's settings.
class CameraConnection {
 public:
  // Throws CliError: exit 2 for a --sim configuration that does not parse,
  // exit 3 when the camera object cannot be created.
  static std::shared_ptr<CameraConnection> Open(const Invocation &inv);
  ~CameraConnection();
  CameraConnection(const CameraConnection &) = delete;
  CameraConnection &operator=(const CameraConnection &) = delete;

  int handle() const { return handle_; }
  HWND window() const { return window_.get(); }

 private:
  CameraConnection() = default;
  MessageWindow window_;
  int handle_ = 0;
};

class CameraSession {
 public:
  // Uses inv.camera when given, else opens a connection of its own.
  // Throws CliError: exit 2 for a --sim configuration that does not parse,
  // exit 3 when the camera cannot be created or the device not selected.
  explicit CameraSession(const Invocation &inv);
  ~CameraSession() = default;
  CameraSession(const CameraSession &) = delete;
  CameraSession &operator=(const CameraSession &) = delete;

  int handle() const { return connection_->handle(); }

  // The camera's error codes, newest first: the whole error history, or, when
  // that is empty, the codes posted to the notification window without being
  // recorded (several operations only post). Both sources are emptied.
  std::vector<int> TakeErrors();

  // Throws the command's camera failure (exit 3) naming every code, e.g.
  // "snap failed: error 7 (QUOREL_ERR_GEOMETRY: capture geometry invalid) [Quorel_SetCaptureWindowEx]".
  [[noreturn]] void Fail(const std::string &call);
  [[noreturn]] void Fail(const std::string &call, int code, const std::string &explanation);
  // Fail(call) when result is 0.
  void Check(int result, const std::string &call);
  // As Check, and when the codes include `code`, the message ends with
  // `explanation` (what that code means for this call).
  void Check(int result, const std::string &call, int code, const std::string &explanation);

 private:
  std::string command_;
  std::shared_ptr<CameraConnection> connection_;
};

}  // namespace quorel::cli
