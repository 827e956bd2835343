#include "platform/ThreadUtil.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace quorel {

void SetCurrentThreadName(const char *name) {
  if (name == nullptr) return;
  char shortName[16];
  std::strncpy(shortName, name, sizeof shortName - 1);
  shortName[sizeof shortName - 1] = '\0';
  pthread_setname_np(pthread_self(), shortName);
}

bool RaiseCurrentThreadPriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_RR);
  if (param.sched_priority >= 0 && pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0) return true;
  // Unprivileged processes may still lower the nice value within RLIMIT_NICE.
  // On Linux the nice value belongs to the thread, addressed by its tid.
  const id_t tid = static_cast<id_t>(syscall(SYS_gettid));
  const int current = getpriority(PRIO_PROCESS, tid);
  for (int nice = -10; nice < current && nice < 0; nice += 5) {
    if (setpriority(PRIO_PROCESS, tid, nice) == 0) return true;
  }
  return false;
}

}  // namespace quorel
