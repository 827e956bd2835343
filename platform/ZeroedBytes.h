// Zero-filled byte buffers for frame-sized memory.
//
// Full-frame images and transfer slots run to tens of megabytes each, and a
// camera object owns a dozen of them from its creation on. Value-initialised
// `new uint8_t[n]()` writes every byte up front (seconds per camera object,
// and resident memory for buffers a small capture window never touches).
//
// Large buffers are mapped straight from the kernel: fresh zero pages that
// cost nothing until first used, and that go back to the system when the
// buffer is freed. calloc does the same only until the first such block is
// freed: the C library then raises its mapping threshold to that size, and
// every later frame buffer comes from its heap, where calloc must write the
// zeros itself and a freed buffer stays resident for reuse (a process that
// opens and closes cameras grew by tens of megabytes that way). Small
// buffers, and every buffer in sanitizer builds (whose allocator guards heap
// blocks with red zones and maps large ones itself), use calloc.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace quorel {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kMapLargeBuffers = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr bool kMapLargeBuffers = false;
#else
inline constexpr bool kMapLargeBuffers = true;
#endif
#else
inline constexpr bool kMapLargeBuffers = true;
#endif

// Buffers from this size on are mapped (when kMapLargeBuffers).
inline constexpr size_t kMappedBufferBytes = size_t{1} << 20;

// Frees what AllocateZeroed gave: `mapped` is the mapping's length, 0 for a
// calloc block.
struct ZeroedDeleter {
  size_t mapped = 0;
  void operator()(uint8_t *p) const noexcept {
    if (mapped != 0) {
      ::munmap(p, mapped);
    } else {
      std::free(p);
    }
  }
};

using ZeroedBytes = std::unique_ptr<uint8_t[], ZeroedDeleter>;

// Null when memory runs out (never throws). A size of 0 gives a valid,
// unique, empty buffer.
inline ZeroedBytes AllocateZeroed(size_t bytes) noexcept {
  if (kMapLargeBuffers && bytes >= kMappedBufferBytes) {
    void *p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return ZeroedBytes();
    return ZeroedBytes(static_cast<uint8_t *>(p), ZeroedDeleter{bytes});
  }
  return ZeroedBytes(static_cast<uint8_t *>(std::calloc(bytes == 0 ? 1 : bytes, 1)));
}

}  // namespace quorel
