#include "output/AviWriter.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/SafeFile.h"

namespace quorel {

static_assert(std::endian::native == std::endian::little, "index entries are written as held in memory");

namespace {

constexpr uint32_t kAviFlagHasIndex = 0x10;
constexpr uint32_t kAviFlagWasCaptureFile = 0x10000;
constexpr uint32_t kIndexFlagKeyFrame = 0x10;
constexpr uint32_t kStreamRate = 10'000'000;
constexpr size_t kInitialIndexCapacity = 256;

// Offsets of the fields that Finish patches.
constexpr uint64_t kRiffSizeOffset = 4;
constexpr uint64_t kMicroSecPerFrameOffset = 32;
constexpr uint64_t kMaxBytesPerSecOffset = 36;
constexpr uint64_t kTotalFramesOffset = 48;
constexpr uint64_t kStreamScaleOffset = 128;
constexpr uint64_t kStreamLengthOffset = 140;

void PutU32(uint8_t *at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

void PutU16(uint8_t *at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutTag(uint8_t *at, const char *tag) {
  std::memcpy(at, tag, 4);
}

uint32_t Saturate32(uint64_t value) {
  return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

// Bytes per second of a stream of chunks of chunkBytes at hundredths of
// frames per second, rounded up: what a reader must sustain.
uint32_t MaxBytesPerSecond(uint32_t chunkBytes, uint64_t hundredthsPerSecond) {
  return Saturate32((uint64_t{chunkBytes} * hundredthsPerSecond + 99) / 100);
}

}  // namespace

AviWriter::AviWriter(uint64_t maxFileBytes) : maxFileBytes_(std::min(maxFileBytes, kMaxFileBytes)) {}

AviWriter::~AviWriter() {
  Close();
}

void AviWriter::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void AviWriter::Reset() {
  Close();
  std::memset(mainHeader_, 0, sizeof mainHeader_);
  std::memset(streamHeader_, 0, sizeof streamHeader_);
  std::memset(streamFormat_, 0, sizeof streamFormat_);
  index_.clear();
  riffSize_ = 0;
  moviSize_ = 0;
  moviSizePos_ = 0;
  frameBytes_ = 0;
  frameFailed_ = false;
  lastError_ = 0;
}

bool AviWriter::WriteAt(uint64_t offset, const void *data, size_t bytes) {
  const auto *p = static_cast<const uint8_t *>(data);
  while (bytes > 0) {
    const ssize_t n = ::pwrite(fd_, p, bytes, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (lastError_ == 0) lastError_ = errno;
      return false;
    }
    if (n == 0) {
      if (lastError_ == 0) lastError_ = ENOSPC;
      return false;
    }
    p += n;
    offset += static_cast<uint64_t>(n);
    bytes -= static_cast<size_t>(n);
  }
  return true;
}

bool AviWriter::PatchU32(uint64_t offset, uint32_t value) {
  uint8_t bytes[4];
  PutU32(bytes, value);
  return WriteAt(offset, bytes, sizeof bytes);
}

int AviWriter::Create(const char *path) {
  Reset();
  if (path == nullptr || path[0] == '\0' || frameWidth_ <= 0 || frameHeight_ <= 0 || frameRate_ == 0) return 0;

  const uint32_t w = static_cast<uint32_t>(frameWidth_);
  const uint32_t h = static_cast<uint32_t>(frameHeight_);
  const uint64_t stride = (uint64_t{3} * w + 3) & ~uint64_t{3};
  const uint64_t dataBytes = stride * h;
  // Headers, one chunk and its index entry must fit the file's size limit.
  if (kHeaderBytes + dataBytes + 8 + 8 + 16 > maxFileBytes_) return 0;
  frameBytes_ = static_cast<uint32_t>(dataBytes);
  const uint32_t chunkBytes = frameBytes_ + 8;

  PutU32(mainHeader_ + 0, std::max<uint32_t>(1'000'000u / frameRate_, 1));
  PutU32(mainHeader_ + 4, MaxBytesPerSecond(chunkBytes, uint64_t{frameRate_} * 100));
  PutU32(mainHeader_ + 8, 0);
  PutU32(mainHeader_ + 12, kAviFlagHasIndex | kAviFlagWasCaptureFile);
  PutU32(mainHeader_ + 16, frameCount_);
  PutU32(mainHeader_ + 20, 0);
  PutU32(mainHeader_ + 24, 1);
  PutU32(mainHeader_ + 28, chunkBytes);
  PutU32(mainHeader_ + 32, w);
  PutU32(mainHeader_ + 36, h);

  PutTag(streamHeader_ + 0, "vids");
  PutTag(streamHeader_ + 4, "DIB ");
  PutU32(streamHeader_ + 20, std::max<uint32_t>(kStreamRate / frameRate_, 1));
  PutU32(streamHeader_ + 24, kStreamRate);
  PutU32(streamHeader_ + 32, frameCount_);
  PutU32(streamHeader_ + 36, chunkBytes);

  PutU32(streamFormat_ + 0, 40);
  PutU32(streamFormat_ + 4, w);
  PutU32(streamFormat_ + 8, h);
  PutU16(streamFormat_ + 12, 1);
  PutU16(streamFormat_ + 14, 24);

  uint8_t head[kHeaderBytes] = {};
  PutTag(head + 0, "RIFF");
  PutU32(head + 4, 0);
  PutTag(head + 8, "AVI ");
  PutTag(head + 12, "LIST");
  PutU32(head + 16, 200);
  PutTag(head + 20, "hdrl");
  PutTag(head + 24, "avih");
  PutU32(head + 28, sizeof mainHeader_);
  std::memcpy(head + 32, mainHeader_, sizeof mainHeader_);
  PutTag(head + 88, "LIST");
  PutU32(head + 92, 124);
  PutTag(head + 96, "strl");
  PutTag(head + 100, "strh");
  PutU32(head + 104, sizeof streamHeader_);
  std::memcpy(head + 108, streamHeader_, sizeof streamHeader_);
  PutTag(head + 172, "strf");
  PutU32(head + 176, sizeof streamFormat_);
  std::memcpy(head + 180, streamFormat_, sizeof streamFormat_);
  PutTag(head + 220, "LIST");
  PutU32(head + 224, 0);
  PutTag(head + 228, "movi");

  fd_ = OpenRegularFileForWriting(path);
  if (fd_ < 0) {
    lastError_ = errno;
    return 0;
  }
  if (!WriteAt(0, head, sizeof head)) {
    Close();
    return 0;
  }
  riffSize_ = kHeaderBytes - 8;
  moviSize_ = 4;
  moviSizePos_ = kMoviSizeOffset;
  return 1;
}

bool AviWriter::GrowIndex() {
  if (index_.size() < index_.capacity()) return true;
  const size_t capacity = index_.capacity();
  try {
    index_.reserve(capacity == 0 ? kInitialIndexCapacity : capacity + capacity / 2);
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

int AviWriter::WriteFrame(const uint8_t *pixels) {
  if (fd_ < 0 || pixels == nullptr || frameFailed_) return -1;

  const uint64_t chunkBytes = uint64_t{frameBytes_} + 8;
  const uint64_t frames = index_.size() + 1;
  // The finished file: everything so far, this chunk, and the index for all
  // frames including this one.
  const uint64_t finishedBytes = 8 + uint64_t{riffSize_} + chunkBytes + 8 + 16 * frames;
  if (finishedBytes > maxFileBytes_ || !GrowIndex()) {
    frameFailed_ = true;
    return -1;
  }

  const uint64_t chunkStart = 8 + uint64_t{riffSize_};
  uint8_t chunkHead[8];
  PutTag(chunkHead, "00db");
  PutU32(chunkHead + 4, frameBytes_);

  // Header and pixels in one call, straight from the caller's memory.
  iovec parts[2] = {{chunkHead, sizeof chunkHead}, {const_cast<uint8_t *>(pixels), frameBytes_}};
  uint64_t written = 0;
  int part = 0;
  while (part < 2) {
    const ssize_t n = ::pwritev(fd_, parts + part, 2 - part, static_cast<off_t>(chunkStart + written));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastError_ = n < 0 ? errno : ENOSPC;
      // Cut the partial chunk off so that Finish leaves a readable file of
      // the frames that did make it.
      if (::ftruncate(fd_, static_cast<off_t>(chunkStart)) != 0 && lastError_ == 0) lastError_ = errno;
      frameFailed_ = true;
      return -1;
    }
    written += static_cast<uint64_t>(n);
    size_t left = static_cast<size_t>(n);
    while (part < 2 && left >= parts[part].iov_len) {
      left -= parts[part].iov_len;
      ++part;
    }
    if (part < 2) {
      parts[part].iov_base = static_cast<uint8_t *>(parts[part].iov_base) + left;
      parts[part].iov_len -= left;
    }
  }

  IndexEntry entry{};
  std::memcpy(entry.id, "00db", 4);
  entry.flags = kIndexFlagKeyFrame;
  entry.offset = moviSize_;
  entry.size = frameBytes_;
  index_.push_back(entry);  // capacity reserved above: cannot throw
  riffSize_ += static_cast<uint32_t>(chunkBytes);
  moviSize_ += static_cast<uint32_t>(chunkBytes);
  return 0;
}

int AviWriter::Finish() {
  if (fd_ < 0) return -1;

  const uint32_t frames = static_cast<uint32_t>(index_.size());
  const uint64_t indexStart = 8 + uint64_t{riffSize_};
  uint8_t indexHead[8];
  PutTag(indexHead, "idx1");
  PutU32(indexHead + 4, frames * 16);
  bool ok = WriteAt(indexStart, indexHead, sizeof indexHead) &&
            WriteAt(indexStart + 8, index_.data(), index_.size() * sizeof(IndexEntry));
  if (ok) {
    riffSize_ += 8 + 16 * frames;
    // A measured rate under 0.01 frames per second rounds to 0; the header
    // cannot say less than 0.01, so that is what it says.
    const uint32_t rate = std::max<uint32_t>(frameRate_, 1);
    const uint32_t microSecPerFrame = std::max<uint32_t>(100'000'000u / rate, 1);
    const uint32_t scale = std::max<uint32_t>(1'000'000'000u / rate, 1);
    PutU32(mainHeader_ + 0, microSecPerFrame);
    PutU32(mainHeader_ + 4, MaxBytesPerSecond(frameBytes_ + 8, rate));
    PutU32(mainHeader_ + 16, frames);
    PutU32(streamHeader_ + 20, scale);
    PutU32(streamHeader_ + 32, frames);
    ok = PatchU32(kRiffSizeOffset, riffSize_) && PatchU32(moviSizePos_, moviSize_) &&
         PatchU32(kTotalFramesOffset, frames) && PatchU32(kStreamLengthOffset, frames) &&
         PatchU32(kMicroSecPerFrameOffset, microSecPerFrame) && PatchU32(kStreamScaleOffset, scale) &&
         PatchU32(kMaxBytesPerSecOffset, MaxBytesPerSecond(frameBytes_ + 8, rate));
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    if (lastError_ == 0) lastError_ = errno;
    ok = false;
  }
  return ok && !frameFailed_ ? 0 : -1;
}

}  // namespace quorel
