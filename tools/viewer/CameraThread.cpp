#include "CameraThread.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace quorel::viewer {

CameraThread::CameraThread() {
  eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (eventFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    ::close(eventFd_);
    throw;
  }
}

CameraThread::~CameraThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
  ::close(eventFd_);
}

void CameraThread::Post(std::function<void()> job, std::function<void()> done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(Item{std::move(job), std::move(done)});
  }
  ++pending_;
  wake_.notify_one();
}

int CameraThread::Drain() {
  uint64_t count = 0;
  // Reading first: a job that finishes after the swap below signals again.
  while (::read(eventFd_, &count, sizeof count) < 0 && errno == EINTR) {
  }
  std::deque<Item> ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready.swap(finished_);
  }
  int ran = 0;
  for (Item &item : ready) {
    --pending_;
    if (item.done) item.done();
    ++ran;
  }
  return ran;
}

void CameraThread::Run() {
  pthread_setname_np(pthread_self(), "viewer-camera");
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping, and nothing left to run
    Item item = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    if (item.job) item.job();
    lock.lock();
    finished_.push_back(std::move(item));
    const uint64_t one = 1;
    while (::write(eventFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace quorel::viewer
