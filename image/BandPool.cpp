#include "image/BandPool.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quorel {

BandPool::BandPool(int threads) : threads_(threads < 1 ? 1 : threads) {
  workers_.reserve(static_cast<size_t>(threads_ - 1));
  for (int i = 1; i < threads_; ++i) {
    workers_.emplace_back([this, i] { Work(i); });
    // Thread names hold 15 characters; the pool has at most 256 threads.
    char name[32];
    std::snprintf(name, sizeof name, "quorel-band%d", i % 1000);
    name[15] = '\0';
    pthread_setname_np(workers_.back().native_handle(), name);
  }
}

BandPool::~BandPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread &t : workers_) t.join();
}

int BandPool::Bands(int rows) const {
  if (rows <= 0) return 1;
  const int bySize = rows / kMinBandRows;
  const int bands = bySize < threads_ ? bySize : threads_;
  return bands < 1 ? 1 : bands;
}

void BandPool::Run(int rows, const std::function<void(int band, int begin, int end)> &fn) {
  const int bands = Bands(rows);
  const auto range = [rows, bands](int band, int &begin, int &end) {
    begin = static_cast<int>(int64_t{rows} * band / bands);
    end = static_cast<int>(int64_t{rows} * (band + 1) / bands);
  };
  std::unique_lock<std::mutex> running(runMutex_, std::try_to_lock);
  if (bands == 1 || !running.owns_lock()) {
    for (int band = 0; band < bands; ++band) {
      int begin = 0, end = 0;
      range(band, begin, end);
      fn(band, begin, end);
    }
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &fn;
    rows_ = rows;
    bands_ = bands;
    pending_ = bands - 1;
    ++generation_;
  }
  wake_.notify_all();
  int begin = 0, end = 0;
  range(0, begin, end);
  fn(0, begin, end);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
  job_ = nullptr;
}

void BandPool::Work(int index) {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this, seen] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    // Worker i takes band i; a job with fewer bands leaves it idle.
    if (index >= bands_) continue;
    const auto *job = job_;
    const int rows = rows_;
    const int bands = bands_;
    lock.unlock();
    const int begin = static_cast<int>(int64_t{rows} * index / bands);
    const int end = static_cast<int>(int64_t{rows} * (index + 1) / bands);
    (*job)(index, begin, end);
    lock.lock();
    if (--pending_ == 0) done_.notify_one();
  }
}

int DefaultBandThreads() {
  static const int threads = [] {
    if (const char *text = std::getenv("QUOREL_THREADS")) {
      char *end = nullptr;
      const long n = std::strtol(text, &end, 10);
      if (end != text && *end == '\0' && n >= 1 && n <= 256) return static_cast<int>(n);
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online >= 1 ? static_cast<int>(online > 256 ? 256 : online) : 1;
  }();
  return threads;
}

BandPool &DefaultBandPool() {
  static BandPool pool(DefaultBandThreads());
  return pool;
}

}  // namespace quorel
