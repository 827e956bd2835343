// The process-wide registry of live camera handles.
#pragma once

#include <cstdint>
#include <memory>

#include "api/CTRing.h"

namespace quorel {

class CQuorel;

// One registry entry. The entry shares ownership of its camera with the
// exports that are running on it at that moment, so a handle released on one
// thread while another thread is still inside a call on it cannot leave that
// call with a freed object: the camera is destroyed when the last of them is
// done (normally at once, inside Quorel_Release).
struct CSDKDATA {
  int32_t handle = 0;
  std::shared_ptr<CQuorel> camera;
};

class CSdkChain : public CTRing<CSDKDATA> {
 public:
  // The single registry of the process.
  static CSdkChain &Instance();

  // Under the lock: finds the handle (rotating the head onto it) and returns
  // its camera, or null for an unknown or released handle.
  std::shared_ptr<CQuorel> Lookup(int32_t handle);

  // Creates the handle for a new camera (tick + rand() + entry count, wrapping)
  // and adds the entry as the new head. A value that is 0 or already live is
  // drawn again. Returns 0 when the node cannot be allocated (or no free value
  // came up in kMaxDraws draws); the camera is then not kept.
  int32_t Register(std::shared_ptr<CQuorel> camera);

  // Replaces the handle formula (null restores it), so that tests can force
  // collisions. Returns the previous replacement.
  using DrawFn = uint32_t (*)();
  DrawFn SetDrawForTesting(DrawFn draw);
  static constexpr int kMaxDraws = 1000;

  // Under the lock for the whole operation: finds the entry, destroys its
  // camera (full teardown) unless another call still holds it, clears and
  // removes the entry. Returns 1, or 0 for an unknown handle.
  int Release(int32_t handle);

  static int32_t KeyOf(const CSDKDATA &entry) { return entry.handle; }

 private:
  DrawFn drawForTesting_ = nullptr;
};

}  // namespace quorel
