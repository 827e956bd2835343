// Performs a viewer script (ViewerScript.h) in the running application: each
// command starts from the GLib main loop once the one before has finished,
// and waits for its own result with a deadline, never for a fixed time.
// A failed command ends the application with exit status 1 and a message
// naming the script line.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "ViewerScript.h"
#include "ViewerWindow.h"

namespace quorel::viewer {

class ScriptRunner {
 public:
  ScriptRunner(ViewerWindow &viewer, std::vector<ScriptCommand> commands);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner &) = delete;
  ScriptRunner &operator=(const ScriptRunner &) = delete;

  // Starts the first command once the camera is open.
  void Start();
  // 0 while all went well, 1 after a failed command.
  int exitStatus() const { return exitStatus_; }

 private:
  void Next();
  void Run(const ScriptCommand &c);
  void Fail(const std::string &why);
  // Calls `check` every 50 ms until it returns true (then `then`, if any,
  // and Next) or the deadline passes (then Fail with `what`).
  void WaitFor(std::function<bool()> check, int deadlineMs, const std::string &what, std::function<void()> then = {});
  void Done(bool ok, const std::string &what);
  bool Screenshot(GtkWidget *window, const std::string &path);
  bool WriteReport(const std::string &path);

  ViewerWindow &viewer_;
  std::vector<ScriptCommand> commands_;
  size_t next_ = 0;
  const ScriptCommand *current_ = nullptr;
  int exitStatus_ = 0;
  // The one wait in progress (WaitFor).
  guint waitSource_ = 0;
  std::function<bool()> waitCheck_;
  std::function<void()> waitThen_;
  gint64 waitDeadline_ = 0;
  std::string waitWhat_;
  // The dialog watch of a `dialog` command in progress.
  guint dialogSource_ = 0;
  std::string dialogShot_;
  bool dialogSeen_ = false;
  // The screenshot waiting for the window's next paint.
  gulong paintHandler_ = 0;
  std::string shotPath_;
  std::vector<std::string> facts_;
};

}  // namespace quorel::viewer
