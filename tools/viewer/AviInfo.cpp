#include "AviInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace quorel::viewer {
namespace {

constexpr size_t kHeadBytes = 232;

uint32_t U32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool Tag(const uint8_t *p, const char *tag) {
  return std::memcmp(p, tag, 4) == 0;
}

}  // namespace

bool ParseAviHeader(const uint8_t *head, size_t headBytes, uint64_t fileBytes, AviInfo &out) {
  out = AviInfo{};
  if (head == nullptr || headBytes < kHeadBytes) return false;
  // RIFF 'AVI ' LIST hdrl avih(56) LIST strl strh(56) strf ...
  if (!Tag(head, "RIFF") || !Tag(head + 8, "AVI ") || !Tag(head + 12, "LIST") || !Tag(head + 20, "hdrl") ||
      !Tag(head + 24, "avih") || U32(head + 28) < 56 || !Tag(head + 100, "strh") || U32(head + 104) < 56) {
    return false;
  }
  const uint8_t *avih = head + 32;
  const uint8_t *strh = head + 108;
  out.frames = U32(avih + 16);
  out.width = static_cast<int>(U32(avih + 32));
  out.height = static_cast<int>(U32(avih + 36));
  const uint32_t scale = U32(strh + 20);
  const uint32_t rate = U32(strh + 24);
  if (scale != 0) out.framesPerSecond = static_cast<double>(rate) / scale;
  const uint32_t streamLength = U32(strh + 32);
  const uint64_t riffBytes = uint64_t{U32(head + 4)} + 8;
  out.finished = U32(head + 4) != 0 && riffBytes == fileBytes && out.frames != 0 && out.frames == streamLength;
  return true;
}

bool ReadAviInfo(const std::string &path, AviInfo &out) {
  out = AviInfo{};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t head[kHeadBytes];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::pread(fd, head + got, sizeof head - got, static_cast<off_t>(got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  struct stat st {};
  const bool statted = ::fstat(fd, &st) == 0;
  ::close(fd);
  return statted && ParseAviHeader(head, got, static_cast<uint64_t>(st.st_size), out);
}

}  // namespace quorel::viewer
