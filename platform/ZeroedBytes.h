// Zero-filled byte buffers for frame-sized memory.
//
// Full-frame images and transfer slots run to tens of megabytes each, and a
// camera object owns a dozen of them from its creation on. Value-initialised
// `new uint8_t[n]()` writes every byte up front (seconds per camera object,
// and resident memory for buffers a small capture window never touches);
// calloc hands large blocks over as fresh zero pages from the kernel, so a
// page costs nothing until it is first used. The contents are the same:
// every byte reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace quorel {

struct FreeDeleter {
  void operator()(void *p) const noexcept { std::free(p); }
};

using ZeroedBytes = std::unique_ptr<uint8_t[], FreeDeleter>;

// Null when memory runs out (never throws). A size of 0 gives a valid,
// unique, empty buffer.
inline ZeroedBytes AllocateZeroed(size_t bytes) noexcept {
  return ZeroedBytes(static_cast<uint8_t *>(std::calloc(bytes == 0 ? 1 : bytes, 1)));
}

}  // namespace quorel
