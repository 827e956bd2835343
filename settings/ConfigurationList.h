// The configuration-file contents held by a camera: a flat file of 8-byte
// records (two little-endian 32-bit words, no header, no count) loaded into a
// list of 64-bit entries, the first word in the low 32 bits. The camera keeps
// the list until the next load; nothing else in the library applies it.
//
// Thread context: all members are thread-safe; mutex_ is the camera's
// configuration-file lock and guards entries_ while it is replaced or copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace quorel {

class ConfigurationList {
 public:
  // A configuration file bigger than this is refused rather than read into memory.
  static constexpr size_t kMaxFileBytes = size_t{64} << 20;

  // Replaces the list with the records of the file at `path`. Returns 1 when
  // the file was read (a file shorter than 8 bytes gives an empty list; up to
  // 7 trailing bytes are ignored). Returns 0 and keeps the old list when
  // `path` is null, the file is missing or unreadable, is not a regular file
  // (a FIFO or device would block or never end), or is larger than kMaxFileBytes.
  int LoadFile(const char *path);

  // A copy of the list as it is now.
  std::vector<uint64_t> Entries() const;
  size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<uint64_t> entries_;  // guarded by mutex_
};

}  // namespace quorel
