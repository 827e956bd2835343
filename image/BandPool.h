// A small pool of the library's own threads that runs one job in row bands:
// the frame pipeline splits each step into bands of rows, the caller's
// thread takes the first band and the workers the others, and the step ends
// when every band is done. Workers are started once, named "quorel-bandN",
// and wait between jobs; no thread is created per frame.
//
// Results never depend on the number of threads: bands cover disjoint rows,
// and what the bands measure is added up by the caller in band order.
//
// Thread context: any thread may call Run. One job runs on the workers at a
// time; a caller that finds them busy (another camera's frame) runs all of
// its bands itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorel {

class BandPool {
 public:
  // threads (1 or more; values below 1 count as 1) is the number of bands of
  // a job, the caller included: threads - 1 workers are started.
  explicit BandPool(int threads);
  ~BandPool();
  BandPool(const BandPool &) = delete;
  BandPool &operator=(const BandPool &) = delete;

  int threads() const { return threads_; }

  // Runs fn(band, begin, end) over `rows` rows in Bands(rows) bands, band i
  // covering [rows * i / n, rows * (i + 1) / n). Returns when all are done.
  // fn must not throw.
  void Run(int rows, const std::function<void(int band, int begin, int end)> &fn);

  // The number of bands Run uses for `rows` rows: the thread count, fewer
  // for small images (at least kMinBandRows rows a band), at least 1.
  int Bands(int rows) const;
  static constexpr int kMinBandRows = 16;

 private:
  void Work(int index);

  int threads_;
  std::mutex runMutex_;  // held by the caller whose job is on the workers
  std::mutex mutex_;     // guards the fields below
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int, int, int)> *job_ = nullptr;
  uint64_t generation_ = 0;
  int rows_ = 0;
  int bands_ = 0;
  int pending_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// The pool of the frame pipeline, made on first use with QUOREL_THREADS
// threads (1: no workers), or as many as the processor has online.
BandPool &DefaultBandPool();

// The thread count the default pool is made with.
int DefaultBandThreads();

}  // namespace quorel
