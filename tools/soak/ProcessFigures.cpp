#include "ProcessFigures.h"

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>

namespace soak {

namespace {

// Entries of a /proc folder; the descriptor that reads /proc/self/fd is
// itself listed there, so it is left out of the count.
int CountEntries(const char *dir, bool minusOwn) {
  int n = 0;
  if (DIR *d = opendir(dir)) {
    while (dirent *e = readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
    closedir(d);
  }
  return minusOwn && n > 0 ? n - 1 : n;
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

ProcessFigures ReadProcessFigures() {
  ProcessFigures f;
  f.residentKiB = ResidentKiB();
  // Sums over every arena of the process. Under a sanitizer the allocator is
  // the sanitizer's and these stay near zero.
  const struct mallinfo2 heap = mallinfo2();
  f.heapInUseKiB = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
  f.heapFreeKiB = static_cast<long>(heap.fordblks / 1024);
  f.descriptors = CountEntries("/proc/self/fd", true);
  f.threads = CountEntries("/proc/self/task", false);
  return f;
}

}  // namespace soak
