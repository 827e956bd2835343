// Naming and prioritising the library's own threads.
#pragma once

namespace quorel {

// Names the calling thread (visible in ps, top and debuggers). Names longer
// than 15 characters are cut to 15, the kernel's limit. NULL is ignored.
void SetCurrentThreadName(const char *name);

// Asks for a higher scheduling priority for the calling thread: a real-time
// round-robin policy if permitted, else a lower nice value. Best effort:
// returns false when every attempt was refused, and the thread carries on at
// its normal priority.
bool RaiseCurrentThreadPriority();

}  // namespace quorel
