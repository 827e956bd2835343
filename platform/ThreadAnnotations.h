// Clang's thread-safety annotations, and a mutex and lock that carry them.
//
// Under clang (with -Wthread-safety) the compiler checks that every member
// marked QUOREL_GUARDED_BY(lock) is touched only with that lock held and that
// functions marked QUOREL_REQUIRES(lock) are called with it held. Under g++
// the macros expand to nothing and Mutex is a plain std::mutex.
#pragma once

#include <mutex>

#if defined(__clang__)
#define QUOREL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUOREL_THREAD_ANNOTATION(x)
#endif

#define QUOREL_CAPABILITY(name) QUOREL_THREAD_ANNOTATION(capability(name))
#define QUOREL_SCOPED_CAPABILITY QUOREL_THREAD_ANNOTATION(scoped_lockable)
#define QUOREL_GUARDED_BY(lock) QUOREL_THREAD_ANNOTATION(guarded_by(lock))
#define QUOREL_PT_GUARDED_BY(lock) QUOREL_THREAD_ANNOTATION(pt_guarded_by(lock))
#define QUOREL_REQUIRES(...) QUOREL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define QUOREL_EXCLUDES(...) QUOREL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define QUOREL_ACQUIRE(...) QUOREL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define QUOREL_RELEASE(...) QUOREL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define QUOREL_NO_THREAD_SAFETY_ANALYSIS QUOREL_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace quorel {

// A std::mutex the analysis knows as a lock.
class QUOREL_CAPABILITY("mutex") Mutex {
 public:
  void lock() QUOREL_ACQUIRE() { mutex_.lock(); }
  void unlock() QUOREL_RELEASE() { mutex_.unlock(); }
  bool try_lock() QUOREL_THREAD_ANNOTATION(try_acquire_capability(true)) { return mutex_.try_lock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope; Unlock releases it early (once).
class QUOREL_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex &mutex) QUOREL_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() QUOREL_RELEASE() {
    if (held_) mutex_.unlock();
  }
  MutexLock(const MutexLock &) = delete;
  MutexLock &operator=(const MutexLock &) = delete;

  void Unlock() QUOREL_RELEASE() {
    held_ = false;
    mutex_.unlock();
  }

 private:
  Mutex &mutex_;
  bool held_ = true;
};

}  // namespace quorel
