// A scratch file holding the fuzzer's input, for parsers that read a path.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quorel::fuzz {

// Writes data to this process's scratch file and returns its path.
inline const std::string &WriteScratch(const uint8_t *data, size_t size, const char *suffix = "") {
  static const std::string path = [suffix] {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/quorel-fuzz-" + std::to_string(getpid()) +
           suffix;
  }();
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

}  // namespace quorel::fuzz
