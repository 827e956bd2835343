// One modal dialog while it runs: the frame window, the pages inside its tab
// control, the result it ends with, and the queue through which other
// threads reach it.
//
// A face (the scripted driver or the GTK module) runs a session: it calls
// Open() once (the dialog's initialisation), lets the user act on the
// windows' controls, runs RunPosted() whenever the wake-up fires, and stops
// when Ended() is true; Result() is then 1 (OK) or 2 (Cancel).
//
// Thread context: everything but Post() belongs to the thread that runs the
// dialog. Post() may be called from any thread (the camera's worker holding
// its frame lock, for instance): it appends under the queue's own lock and
// calls the wake-up, and never waits for the dialog.
//
// The operations are virtual so that the GUI module reaches them through the
// object's own table (it sees none of the library's symbols).
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "dialogs/DialogWindow.h"

namespace quorel {

enum class DialogLanguage { kEnglish, kJapanese };

// Identifier of the tab control of every frame window.
inline constexpr int kIdTabControl = 1001;

class DialogSession {
 public:
  using Wakeup = void (*)(void *context);

  virtual ~DialogSession();
  DialogSession(const DialogSession &) = delete;
  DialogSession &operator=(const DialogSession &) = delete;

  // "camera", "image" or "analog".
  virtual const char *Kind() const = 0;
  virtual DialogLanguage Language() const;
  virtual DialogWindow &Frame() = 0;
  // Pages shown inside the frame's tab control (none for the camera dialog,
  // whose controls sit on the frame itself). Page i belongs to tab i.
  virtual int PageCount() const = 0;
  virtual DialogWindow &Page(int index) = 0;

  // The dialog's initialisation; a face calls it once before showing it.
  virtual void Open() = 0;
  // The user chose tab `index` of the frame's tab control.
  virtual bool UserSelectTab(int index);

  virtual bool Ended() const;
  virtual int Result() const;
  // Ends the modal run with `result` (the dialog logic calls it).
  virtual void EndDialog(int result);

  // Any thread: queues a task for the dialog's thread.
  void Post(std::function<void()> task);
  // The dialog's thread: runs the tasks queued so far; returns how many ran.
  virtual int RunPosted();
  // The face's wake-up, called after each Post from the posting thread; it
  // must only schedule RunPosted on the dialog's thread. Null removes it;
  // once this returns, the previous wake-up is no longer called.
  virtual void SetWakeup(Wakeup wakeup, void *context);

 protected:
  explicit DialogSession(DialogLanguage language);

 private:
  const DialogLanguage language_;
  bool ended_ = false;
  int result_ = 0;
  std::mutex queueLock_;  // guards queue_, wakeup_ and wakeupContext_
  std::deque<std::function<void()>> queue_;
  Wakeup wakeup_ = nullptr;
  void *wakeupContext_ = nullptr;
};

}  // namespace quorel
