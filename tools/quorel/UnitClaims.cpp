#include "UnitClaims.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace quorel::cli {
namespace {

constexpr size_t kTableBytes = 0x4C0000;
constexpr size_t kFirstEntry = 0x1DFC00;
constexpr size_t kEntryBytes = 152;
constexpr int kUnits = 32;

std::string TableName() {
  const char *env = std::getenv("QUOREL_SHM_NAME");
  std::string name = env != nullptr && env[0] != '\0' ? env : "/VELMOR_USBCAMERA";
  if (name[0] != '/') name.insert(0, "/");
  return name;
}

uint64_t LoadU64(const unsigned char *p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Field 22 of /proc/<pid>/stat; the name in field 2 may hold spaces and
// parentheses, so counting starts after its last ')'.
std::optional<uint64_t> StartTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  // After the name come field 3 (state) and on; field 22 is the 20th of them.
  for (int i = 3; i <= 22; ++i) {
    if (!(fields >> field)) return std::nullopt;
    if (i == 3 && field == "Z") return std::nullopt;  // a zombie holds nothing
  }
  return std::strtoull(field.c_str(), nullptr, 10);
}

}  // namespace

std::optional<pid_t> UnitHolder(int unit) {
  if (unit < 0 || unit >= kUnits) return std::nullopt;
  const int fd = shm_open(TableName().c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < kTableBytes) {
    close(fd);
    return std::nullopt;
  }
  void *view = mmap(nullptr, kTableBytes, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (view == MAP_FAILED) return std::nullopt;
  const auto *entry = static_cast<const unsigned char *>(view) + kFirstEntry + kEntryBytes * static_cast<size_t>(unit);
  const uint64_t window = LoadU64(entry);
  const uint64_t module = LoadU64(entry + 8);
  munmap(view, kTableBytes);
  if (window == 0) return std::nullopt;

  const auto pid = static_cast<pid_t>(module & 0xFFFFFFFFu);
  if (pid <= 0) return std::nullopt;
  if (kill(pid, 0) != 0 && errno != EPERM) return std::nullopt;
  const uint32_t started = static_cast<uint32_t>(module >> 32);
  if (started != 0) {
    const std::optional<uint64_t> now = StartTime(pid);
    if (!now || static_cast<uint32_t>(*now) != started) return std::nullopt;
  }
  return pid;
}

}  // namespace quorel::cli
