// Runs the viewer's camera calls one after another on a thread of their own,
// so that a call that waits for the camera (a stop that joins a worker stuck
// in a read, a snapshot, a save of a full-size TIFF) never freezes the window.
//
// Threads: Post, Drain, Idle and the destructor belong to one thread, the GUI
// thread. Jobs run on the camera thread in the order posted; a job's
// completion runs on the GUI thread inside Drain, after the job, in the same
// order. fd() becomes readable when completions wait; the GUI thread watches
// it in its main loop. The queues are guarded by mutex_; pending_ is touched by
// the GUI thread only.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quorel::viewer {

class CameraThread {
 public:
  // Throws std::system_error when the eventfd or the thread cannot be made.
  CameraThread();
  // Runs the jobs already posted, then ends the thread. Completions that
  // were not drained are dropped without running.
  ~CameraThread();
  CameraThread(const CameraThread &) = delete;
  CameraThread &operator=(const CameraThread &) = delete;

  // Queues `job` for the camera thread and `done` (may be empty) for the GUI
  // thread afterwards.
  void Post(std::function<void()> job, std::function<void()> done = {});

  // A job that computes a value and a completion that receives it.
  template <typename T>
  void Post(std::function<T()> job, std::function<void(T)> done) {
    auto result = std::make_shared<T>();
    Post([result, job = std::move(job)] { *result = job(); },
         [result, done = std::move(done)] { done(std::move(*result)); });
  }

  // Readable while finished jobs wait for Drain.
  int fd() const { return eventFd_; }

  // Runs the completions of the jobs finished so far; returns how many ran.
  int Drain();

  // Every posted job has run and its completion has been drained.
  bool Idle() const { return pending_ == 0; }

 private:
  struct Item {
    std::function<void()> job;
    std::function<void()> done;
  };
  void Run();

  int eventFd_ = -1;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> jobs_;      // guarded by mutex_
  std::deque<Item> finished_;  // guarded by mutex_
  bool stopping_ = false;      // guarded by mutex_
  int pending_ = 0;            // GUI thread only
  std::thread thread_;
};

}  // namespace quorel::viewer
