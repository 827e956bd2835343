#include "api/CSdkChain.h"

#include <cstdlib>
#include <utility>

#include "camera/CQuorel.h"
#include "platform/Clock.h"

namespace quorel {

CSdkChain &CSdkChain::Instance() {
  static CSdkChain chain;
  return chain;
}

std::shared_ptr<CQuorel> CSdkChain::Lookup(int32_t handle) {
  std::lock_guard<std::mutex> guard(lock());
  if (!Find(handle, KeyOf)) return nullptr;
  return head()->data.camera;
}

int32_t CSdkChain::Register(std::shared_ptr<CQuorel> camera) {
  std::lock_guard<std::mutex> guard(lock());
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    // The three terms are summed as unsigned values so that the wrap-around
    // is defined; rand() is never seeded by the library.
    const uint32_t sum = drawForTesting_ != nullptr
                             ? drawForTesting_()
                             : GetTickCount() + static_cast<uint32_t>(std::rand()) + static_cast<uint32_t>(count());
    const auto handle = static_cast<int32_t>(sum);
    // 0 is every export's failure value, and a value already issued would
    // make one of the two cameras unreachable: draw again (rand() moves on).
    if (handle == 0 || Find(handle, KeyOf)) continue;
    if (!Add(CSDKDATA{handle, std::move(camera)})) return 0;
    return handle;
  }
  return 0;
}

CSdkChain::DrawFn CSdkChain::SetDrawForTesting(DrawFn draw) {
  std::lock_guard<std::mutex> guard(lock());
  DrawFn previous = drawForTesting_;
  drawForTesting_ = draw;
  return previous;
}

int CSdkChain::Release(int32_t handle) {
  std::shared_ptr<CQuorel> camera;
  {
    std::lock_guard<std::mutex> guard(lock());
    if (!Find(handle, KeyOf)) return 0;
    camera = std::move(head()->data.camera);
    head()->data.camera.reset();
    // The teardown runs under the registry lock, as the head it acts on must
    // stay the entry that was found.
    camera.reset();
    Remove(handle, KeyOf);
  }
  return 1;
}

}  // namespace quorel
