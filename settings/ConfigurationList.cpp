#include "settings/ConfigurationList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/DebugLog.h"

namespace quorel {
namespace {

constexpr size_t kRecordBytes = 8;

uint32_t LittleEndianWord(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Reads the whole regular file at `path`, at most `limit` bytes. False when it
// cannot be opened, is not a regular file, is bigger than the limit, or a read fails.
bool ReadBounded(const char *path, size_t limit, std::string &out) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<uint64_t>(st.st_size) > limit) return false;
  out.clear();
  out.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  while (true) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    // The file may grow while it is read; the limit holds for what is read.
    if (out.size() + static_cast<size_t>(n) > limit) return false;
    out.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace

int ConfigurationList::LoadFile(const char *path) {
  if (path == nullptr) return 0;
  std::string data;
  if (!ReadBounded(path, kMaxFileBytes, data)) {
    LogPrint(LogCategory::kSettings, 1, "configuration file %s not loaded", path);
    return 0;
  }
  std::vector<uint64_t> loaded;
  const size_t records = data.size() / kRecordBytes;
  loaded.reserve(records);
  const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
  for (size_t i = 0; i < records; ++i) {
    const unsigned char *record = bytes + i * kRecordBytes;
    loaded.push_back(static_cast<uint64_t>(LittleEndianWord(record)) |
                     (static_cast<uint64_t>(LittleEndianWord(record + 4)) << 32));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.swap(loaded);
  }
  LogPrint(LogCategory::kSettings, 2, "configuration file %s: %zu entries", path, records);
  return 1;
}

std::vector<uint64_t> ConfigurationList::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

size_t ConfigurationList::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace quorel
