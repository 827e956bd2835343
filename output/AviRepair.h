// Rebuilding a recording whose process died before the writer's Finish: the
// file then holds the headers and whole or partial frame chunks, but no
// index, sizes or frame counts, and reads as empty. The repair keeps every
// whole "00db" frame chunk, cuts a partial last one (or anything after the
// frames), appends the index and patches the sizes and counts, so that the
// file plays with every frame that was written.
//
// Only files of this library's own layout (AviWriter: uncompressed 24-bit
// frames, headers up to "movi" in the first 232 bytes) are repaired; anything
// else is refused untouched. A finished file is rebuilt to the same frames.
//
// The frame rate: from the recorded duration where the file system knows it
// (the file's birth time to its last change, over the frames present), else
// the rate the headers already state.
#pragma once

#include <cstdint>
#include <string>

namespace quorel {

struct AviRepairResult {
  bool repaired = false;
  uint32_t frames = 0;          // frames in the repaired file
  uint32_t rateHundredths = 0;  // frame rate written, hundredths per second
  bool rateFromDuration = false;
  std::string why;  // for a refused or failed repair
};

AviRepairResult RepairAvi(const char *path);

}  // namespace quorel
