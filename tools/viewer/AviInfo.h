// What the viewer tells about a recorded clip: whether the library has
// finished the file, its frame count and its frame rate, read from the AVI
// headers. The library gives no signal when a recording of a set duration
// ends; the file itself shows it, since the writer patches the sizes, the
// frame counts and the rate into the headers only when it finishes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorel::viewer {

struct AviInfo {
  // The RIFF size covers the whole file and both frame counts are written.
  bool finished = false;
  uint32_t frames = 0;         // avih total frames
  double framesPerSecond = 0;  // strh rate / scale
  int width = 0;
  int height = 0;
};

// Reads the first bytes of an AVI file (at least the 232-byte header block)
// and its total size. Returns false for anything that is not a RIFF AVI with
// a main and a stream header where a single-stream file keeps them.
bool ParseAviHeader(const uint8_t *head, size_t headBytes, uint64_t fileBytes, AviInfo &out);

// Reads the file at path; false when it cannot be read or parsed.
bool ReadAviInfo(const std::string &path, AviInfo &out);

}  // namespace quorel::viewer
