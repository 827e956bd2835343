// The library's frame metadata and stream statistics (QuorelStream.h), bound
// weakly: a library without them still runs the tool, which then shows what
// it can count itself.
#pragma once

#include "QuorelStream.h"

namespace quorel::cli {

// False when the library lacks the function or the call fails.
bool ReadStreamStatistics(int handle, QuorelStreamStats &stats);
bool ReadFrameMeta(int handle, QuorelFrameMeta &meta);
bool ResetStreamStatistics(int handle);

// Bytes of one delivered frame as the library lays it out: rows of
// width x bytes per pixel raised to a multiple of 4.
unsigned long long FrameBytes(const QuorelFrameMeta &meta);

}  // namespace quorel::cli
