#include "output/AviRepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "output/AviWriter.h"

namespace quorel {

namespace {

// Offsets in the layout AviWriter writes.
constexpr uint64_t kRiffSize = 4;
constexpr uint64_t kMicroSecPerFrame = 32;
constexpr uint64_t kMaxBytesPerSec = 36;
constexpr uint64_t kTotalFrames = 48;
constexpr uint64_t kStreamScale = 128;
constexpr uint64_t kStreamLength = 140;
constexpr uint64_t kFormatWidth = 184;
constexpr uint64_t kFormatHeight = 188;
constexpr uint64_t kFormatBitCount = 194;
constexpr uint32_t kIndexFlagKeyFrame = 0x10;

uint32_t U32(const uint8_t *p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutU32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

bool Tag(const uint8_t *p, const char *tag) {
  return std::memcmp(p, tag, 4) == 0;
}

bool ReadAt(int fd, uint64_t offset, void *data, size_t bytes) {
  auto *out = static_cast<uint8_t *>(data);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::pread(fd, out + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAt(int fd, uint64_t offset, const void *data, size_t bytes) {
  const auto *in = static_cast<const uint8_t *>(data);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::pwrite(fd, in + done, bytes - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool PatchU32(int fd, uint64_t offset, uint32_t value) {
  uint8_t b[4];
  PutU32(b, value);
  return WriteAt(fd, offset, b, sizeof b);
}

// Milliseconds from the file's birth to its last change, 0 when unknown.
uint64_t RecordedDurationMs(int fd) {
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &sx) != 0) return 0;
  if ((sx.stx_mask & STATX_BTIME) == 0 || (sx.stx_mask & STATX_MTIME) == 0) return 0;
  const int64_t born = int64_t{sx.stx_btime.tv_sec} * 1000 + sx.stx_btime.tv_nsec / 1000000;
  const int64_t changed = int64_t{sx.stx_mtime.tv_sec} * 1000 + sx.stx_mtime.tv_nsec / 1000000;
  return changed > born ? static_cast<uint64_t>(changed - born) : 0;
}

// The rate in hundredths of frames per second that the headers state.
uint32_t HeaderRate(const uint8_t *head) {
  const uint32_t micros = U32(head + kMicroSecPerFrame);
  return micros > 0 ? std::max<uint32_t>(100000000u / micros, 1) : 100;
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

AviRepairResult RepairAvi(const char *path) {
  AviRepairResult result;
  if (path == nullptr || path[0] == '\0') {
    result.why = "no file name";
    return result;
  }
  Fd file{::open(path, O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
  if (file.fd < 0) {
    result.why = std::strerror(errno);
    return result;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result.why = "not a regular file";
    return result;
  }
  const uint64_t fileBytes = static_cast<uint64_t>(st.st_size);
  const uint64_t durationMs = RecordedDurationMs(file.fd);

  uint8_t head[AviWriter::kHeaderBytes];
  if (fileBytes < sizeof head || !ReadAt(file.fd, 0, head, sizeof head)) {
    result.why = "too short for a recording's headers";
    return result;
  }
  if (!Tag(head + 0, "RIFF") || !Tag(head + 8, "AVI ") || !Tag(head + 12, "LIST") || !Tag(head + 20, "hdrl") ||
      !Tag(head + 24, "avih") || !Tag(head + 96, "strl") || !Tag(head + 100, "strh") || !Tag(head + 108, "vids") ||
      !Tag(head + 172, "strf") || !Tag(head + 220, "LIST") || !Tag(head + 228, "movi") || head[kFormatBitCount] != 24 ||
      head[kFormatBitCount + 1] != 0) {
    result.why = "not a recording of this library (unknown header layout)";
    return result;
  }
  const uint32_t width = U32(head + kFormatWidth);
  const uint32_t height = U32(head + kFormatHeight);
  const uint64_t frameBytes = ((uint64_t{width} * 3 + 3) & ~uint64_t{3}) * height;
  if (width == 0 || height == 0 || frameBytes == 0 || frameBytes + 8 > AviWriter::kMaxFileBytes) {
    result.why = "impossible frame size in the headers";
    return result;
  }

  // Whole frame chunks, from the start of the movie list on.
  const uint64_t chunkBytes = frameBytes + 8;
  uint64_t end = AviWriter::kHeaderBytes;
  uint32_t frames = 0;
  while (end + chunkBytes <= fileBytes) {
    uint8_t chunkHead[8];
    if (!ReadAt(file.fd, end, chunkHead, sizeof chunkHead)) break;
    if (!Tag(chunkHead, "00db") || U32(chunkHead + 4) != frameBytes) break;
    // The finished file must still fit the format with its index.
    if (end + chunkBytes + 8 + 16 * (uint64_t{frames} + 1) > AviWriter::kMaxFileBytes) break;
    end += chunkBytes;
    ++frames;
  }

  // A finished file (sizes patched, its index right after the last frame)
  // is left exactly as it is: a second repair must not restate its rate
  // from the time of the first.
  if (U32(head + kRiffSize) == fileBytes - 8 && U32(head + kTotalFrames) == frames &&
      end + 8 + 16 * uint64_t{frames} == fileBytes) {
    uint8_t indexHead[8];
    if (ReadAt(file.fd, end, indexHead, sizeof indexHead) && Tag(indexHead, "idx1") &&
        U32(indexHead + 4) == 16 * frames) {
      result.repaired = true;
      result.frames = frames;
      result.rateHundredths = HeaderRate(head);
      return result;
    }
  }

  std::vector<uint8_t> index;
  try {
    index.resize(8 + 16 * static_cast<size_t>(frames));
  } catch (const std::bad_alloc &) {
    result.why = "out of memory for the index";
    return result;
  }
  std::memcpy(index.data(), "idx1", 4);
  PutU32(index.data() + 4, 16 * frames);
  for (uint32_t i = 0; i < frames; ++i) {
    uint8_t *entry = index.data() + 8 + 16 * static_cast<size_t>(i);
    std::memcpy(entry, "00db", 4);
    PutU32(entry + 4, kIndexFlagKeyFrame);
    PutU32(entry + 8, static_cast<uint32_t>(4 + uint64_t{i} * chunkBytes));
    PutU32(entry + 12, static_cast<uint32_t>(frameBytes));
  }

  // The rate in hundredths of frames per second: from the duration (the
  // file is born just before the first frame and last changed by the last)
  // where known, else as the headers say.
  uint32_t rate = 0;
  if (frames >= 2 && durationMs > 0) {
    rate = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{frames} * 100000u / durationMs, UINT32_MAX));
    result.rateFromDuration = rate > 0;
  }
  if (rate == 0) rate = HeaderRate(head);
  const uint32_t microsPerFrame = std::max<uint32_t>(100'000'000u / rate, 1);
  const uint32_t scale = std::max<uint32_t>(1'000'000'000u / rate, 1);
  const uint32_t bytesPerSecond = static_cast<uint32_t>(std::min<uint64_t>((chunkBytes * rate + 99) / 100, UINT32_MAX));

  const uint64_t finished = end + index.size();
  const bool ok = ::ftruncate(file.fd, static_cast<off_t>(end)) == 0 &&
                  WriteAt(file.fd, end, index.data(), index.size()) &&
                  PatchU32(file.fd, kRiffSize, static_cast<uint32_t>(finished - 8)) &&
                  PatchU32(file.fd, AviWriter::kMoviSizeOffset, static_cast<uint32_t>(end - 228)) &&
                  PatchU32(file.fd, kTotalFrames, frames) && PatchU32(file.fd, kStreamLength, frames) &&
                  PatchU32(file.fd, kMicroSecPerFrame, microsPerFrame) && PatchU32(file.fd, kStreamScale, scale) &&
                  PatchU32(file.fd, kMaxBytesPerSec, bytesPerSecond) && ::fsync(file.fd) == 0;
  if (!ok) {
    result.why = std::strerror(errno);
    return result;
  }
  result.repaired = true;
  result.frames = frames;
  result.rateHundredths = rate;
  return result;
}

}  // namespace quorel
