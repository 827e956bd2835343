#include "device/DeviceTable.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Clock.h"
#include "platform/DebugLog.h"

namespace quorel {
namespace {

constexpr size_t kOwnerWindow = 0;
constexpr size_t kOwnerModule = 8;
constexpr size_t kHoldWord = 16;
constexpr size_t kOwnerLibraryField = 24;

// Tokens for NULL-window claims: a tag no window handle carries, plus a serial.
constexpr uint64_t kHeadlessTag = uint64_t{0x5148} << 48;
std::atomic<uint64_t> g_headlessSerial{1};

// How long an opener waits for a racing creator to size the object.
constexpr uint32_t kSizeWaitMs = 200;

std::atomic_ref<uint64_t> Field(unsigned char *entry, size_t offset) {
  return std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t *>(entry + offset));
}

// The text field is written as 16 words so concurrent claims and releases in
// one process are well defined too.
void StoreLibrary(unsigned char *entry, const char *text) {
  uint64_t words[DeviceTable::kOwnerLibrarySize / 8] = {};
  std::strncpy(reinterpret_cast<char *>(words), text, sizeof words - 1);
  for (size_t i = 0; i < std::size(words); ++i) {
    Field(entry, kOwnerLibraryField + 8 * i).store(words[i], std::memory_order_relaxed);
  }
}

// Reads state (field 3) and start time (field 22) of /proc/<pid>/stat.
// Returns false when the file cannot be read or parsed; errno tells why.
bool ReadProcessStat(uint32_t pid, char &state, uint64_t &startTicks) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1024];
  ssize_t n;
  do {
    n = read(fd, buffer, sizeof buffer - 1);
  } while (n < 0 && errno == EINTR);
  const int readErrno = errno;
  close(fd);
  if (n <= 0) {
    errno = n < 0 ? readErrno : EIO;
    return false;
  }
  buffer[n] = '\0';
  // The command name (field 2) may hold spaces and parentheses: parse from
  // the last ')'.
  const char *p = std::strrchr(buffer, ')');
  if (p == nullptr) {
    errno = EIO;
    return false;
  }
  ++p;
  int field = 2;
  while (*p != '\0') {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    ++field;
    if (field == 3) state = *p;
    if (field == 22) {
      startTicks = std::strtoull(p, nullptr, 10);
      return true;
    }
    while (*p != '\0' && *p != ' ') ++p;
  }
  errno = EIO;
  return false;
}

}  // namespace

DeviceTable::DeviceTable()
    : headlessToken_(kHeadlessTag | (g_headlessSerial.fetch_add(1, std::memory_order_relaxed) & 0xFFFFFFFFFFFFu)) {}

DeviceTable::~DeviceTable() {
  Close();
}

std::string DeviceTable::ObjectName() {
  const char *name = std::getenv("QUOREL_SHM_NAME");
  if (name == nullptr || name[0] == '\0') return kDefaultName;
  if (name[0] == '/') return name;
  return std::string("/") + name;
}

uint64_t DeviceTable::PackOwnerModule(uint32_t pid, uint64_t startTicks) {
  return (static_cast<uint64_t>(startTicks & 0xFFFFFFFFu) << 32) | pid;
}

uint64_t DeviceTable::CurrentOwnerModule() {
  static const uint64_t value = [] {
    const uint32_t pid = static_cast<uint32_t>(getpid());
    char state = 0;
    uint64_t startTicks = 0;
    if (!ReadProcessStat(pid, state, startTicks)) startTicks = 0;
    return PackOwnerModule(pid, startTicks);
  }();
  // A forked child has another pid than the one cached.
  if (static_cast<uint32_t>(value) != static_cast<uint32_t>(getpid())) {
    char state = 0;
    uint64_t startTicks = 0;
    const uint32_t pid = static_cast<uint32_t>(getpid());
    if (!ReadProcessStat(pid, state, startTicks)) startTicks = 0;
    return PackOwnerModule(pid, startTicks);
  }
  return value;
}

bool DeviceTable::OwnerModuleAlive(uint64_t ownerModule) {
  const uint32_t pid = static_cast<uint32_t>(ownerModule);
  const uint32_t startLow = static_cast<uint32_t>(ownerModule >> 32);
  // A claim without a process id cannot be attributed: it stands as written.
  if (pid == 0) return true;
  char state = 0;
  uint64_t startTicks = 0;
  if (!ReadProcessStat(pid, state, startTicks)) {
    if (errno == ENOENT || errno == ESRCH) return false;
    // /proc hidden from us (hidepid): fall back to asking the kernel.
    return !(kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
  }
  if (state == 'Z' || state == 'X') return false;
  if (startLow != 0 && static_cast<uint32_t>(startTicks) != startLow) return false;
  return true;
}

bool DeviceTable::Open() {
  Close();
  if (OpenNamed(ObjectName())) return true;
  if (errno != EACCES) return false;
  // A table made by an older library for one user only (mode 0600): this
  // user gets a table of its own rather than no camera at all; units are then
  // exclusive only among this user's processes.
  const std::string own = ObjectName() + "." + std::to_string(geteuid());
  LogPrint(LogCategory::kTable, 1, "%s belongs to another user; using %s", ObjectName().c_str(), own.c_str());
  return OpenNamed(own);
}

bool DeviceTable::OpenNamed(const std::string &name) {
  int fd = -1;
  bool created = false;
  // The object may vanish between a failed create and the open: try again.
  for (int attempt = 0; attempt < 5 && fd < 0; ++attempt) {
    // Every user of the machine shares the one table, or a unit streaming
    // for one user would look free to the next (and, with the creator's
    // umask-limited mode, the next could not open the table at all).
    fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kObjectMode);
    if (fd >= 0) {
      created = true;
      if (fchmod(fd, kObjectMode) != 0 || ftruncate(fd, static_cast<off_t>(kObjectSize)) != 0) {
        LogPrint(LogCategory::kTable, 1, "cannot size %s: %s", name.c_str(), std::strerror(errno));
        close(fd);
        shm_unlink(name.c_str());
        return false;
      }
      break;
    }
    if (errno != EEXIST) break;
    fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0 && errno != ENOENT) break;
  }
  if (fd < 0) {
    const int openErrno = errno;
    LogPrint(LogCategory::kTable, 1, "cannot open %s: %s", name.c_str(), std::strerror(openErrno));
    errno = openErrno;
    return false;
  }

  if (!created) {
    // A creator in another process may not have sized the object yet; mapping
    // beyond the end of a short object would fault on first touch.
    const uint32_t start = GetTickCount();
    for (;;) {
      struct stat st {};
      if (fstat(fd, &st) != 0) {
        close(fd);
        return false;
      }
      if (static_cast<size_t>(st.st_size) >= kObjectSize) break;
      if (GetTickCount() - start >= kSizeWaitMs) {
        LogPrint(LogCategory::kTable, 1, "%s holds %lld bytes, fewer than a device table: not used", name.c_str(),
                 static_cast<long long>(st.st_size));
        close(fd);
        return false;
      }
      SleepMs(5);
    }
  }

  void *view = mmap(nullptr, kObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);  // the mapping keeps the object referenced
  if (view == MAP_FAILED) {
    LogPrint(LogCategory::kTable, 1, "cannot map %s: %s", name.c_str(), std::strerror(errno));
    return false;
  }
  view_ = static_cast<unsigned char *>(view);
  created_ = created;
  if (created) std::memset(view_, 0, kClearedPrefix);
  LogPrint(LogCategory::kTable, 2, "%s %s", created ? "created" : "opened", name.c_str());
  return true;
}

void DeviceTable::Close() {
  if (view_ != nullptr) {
    munmap(view_, kObjectSize);
    view_ = nullptr;
  }
}

uint64_t DeviceTable::WindowValue(HWND window) const {
  return window == nullptr ? headlessToken_ : static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window));
}

bool DeviceTable::IsUnitInUse(int unit) const {
  if (view_ == nullptr || unit < 0 || unit >= kUnitCount) return false;
  unsigned char *entry = Entry(unit);
  if (Field(entry, kOwnerWindow).load(std::memory_order_acquire) == 0) return false;
  const uint64_t owner = Field(entry, kOwnerModule).load(std::memory_order_relaxed);
  if (!OwnerModuleAlive(owner)) {
    LogPrint(LogCategory::kTable, 2, "unit %d: the claim of process %u, which has ended, counts as free", unit,
             static_cast<unsigned>(owner & 0xFFFFFFFFu));
    return false;
  }
  LogPrint(LogCategory::kTable, 1, "unit %d is in use by process %u", unit, static_cast<unsigned>(owner & 0xFFFFFFFFu));
  return true;
}

int DeviceTable::ClaimUnit(int unit, HWND window) {
  if (view_ == nullptr || unit < 0 || unit >= kUnitCount) return 0;
  unsigned char *entry = Entry(unit);
  StoreLibrary(entry, kOwnerLibrary);
  Field(entry, kHoldWord).store(0, std::memory_order_relaxed);
  Field(entry, kOwnerModule).store(CurrentOwnerModule(), std::memory_order_relaxed);
  // The window goes last: a reader that sees it sees the owner too.
  Field(entry, kOwnerWindow).store(WindowValue(window), std::memory_order_release);
  LogPrint(LogCategory::kTable, 1, "unit %d claimed by process %u", unit, static_cast<unsigned>(getpid()));
  return 1;
}

int DeviceTable::ReleaseUnit(int unit, HWND window) {
  if (view_ == nullptr || unit < 0 || unit >= kUnitCount) return 0;
  unsigned char *entry = Entry(unit);
  const uint64_t ownerWindow = Field(entry, kOwnerWindow).load(std::memory_order_acquire);
  const uint64_t ownerModule = Field(entry, kOwnerModule).load(std::memory_order_relaxed);
  const uint64_t hold = Field(entry, kHoldWord).load(std::memory_order_relaxed);
  // Say what really happened to the claim: releases also run when nothing
  // was claimed (a stop without a start, the camera's own teardown).
  if (ownerWindow == 0) {
    LogPrint(LogCategory::kTable, 2, "unit %d: nothing to release, it was not claimed", unit);
    return 1;
  }
  if (ownerModule != CurrentOwnerModule()) {
    LogPrint(LogCategory::kTable, 1, "unit %d left claimed: it belongs to process %u, not this one", unit,
             static_cast<unsigned>(ownerModule & 0xFFFFFFFFu));
    return 1;
  }
  if (ownerWindow != WindowValue(window)) {
    LogPrint(LogCategory::kTable, 1, "unit %d left claimed: another camera object of this process holds it", unit);
    return 1;
  }
  if (hold != 0) {
    LogPrint(LogCategory::kTable, 1, "unit %d left claimed: its hold word is set", unit);
    return 1;
  }
  Field(entry, kOwnerWindow).store(0, std::memory_order_release);
  Field(entry, kOwnerModule).store(0, std::memory_order_relaxed);
  Field(entry, kHoldWord).store(0, std::memory_order_relaxed);
  StoreLibrary(entry, "");
  LogPrint(LogCategory::kTable, 1, "unit %d released by process %u", unit, static_cast<unsigned>(getpid()));
  return 1;
}

}  // namespace quorel
