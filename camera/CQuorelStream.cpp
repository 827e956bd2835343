// Frame metadata and stream statistics of the camera object: the records of
// QuorelStream.h, filled from the transfer engine's counters and the frame
// thread's, and sized by the caller's `size` field so that a record of an
// older, shorter version is never overrun.
#include <algorithm>
#include <cstring>

#include "QuorelStream.h"
#include "camera/CQuorel.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "platform/Clock.h"

namespace quorel {
namespace {

// The first versions of the records: a caller's record must hold at least
// these, and later versions only grow.
constexpr uint32_t kFrameMetaFirstSize = 40;
constexpr uint32_t kStreamStatsFirstSize = 80;
static_assert(sizeof(QuorelFrameMeta) == kFrameMetaFirstSize, "QuorelFrameMeta layout changed");
static_assert(sizeof(QuorelStreamStats) == kStreamStatsFirstSize, "QuorelStreamStats layout changed");

// Copies the library's whole record into the caller's, as far as the
// caller's size reaches, and keeps the caller's size field.
template <typename Record>
void CopyOut(const Record &full, Record *out) {
  const uint32_t size = out->size;
  std::memcpy(static_cast<void *>(out), &full, std::min<size_t>(size, sizeof(Record)));
  out->size = size;
}

}  // namespace

TransferCounters CQuorel::EngineCounters() const {
  return device_ != nullptr ? device_->GetTransferEngine().Counters() : TransferCounters{};
}

int CQuorel::GetFrameMeta(QuorelFrameMeta *meta) {
  if (meta == nullptr || meta->size < kFrameMetaFirstSize) {
    ReportError(kErrArgument, "QuorelStream_GetFrameMeta");
    return 0;
  }
  const DeliveredFrame frame = acquisition_.streamStatistics().ReadFrame();
  QuorelFrameMeta full{};
  full.size = sizeof full;
  full.status = frame.status;
  full.sequence = frame.sequence;
  full.timestampNs = frame.timestampNs;
  full.width = frame.width;
  full.height = frame.height;
  full.bitsPerPixel = frame.bitsPerPixel;
  CopyOut(full, meta);
  return 1;
}

int CQuorel::GetStreamStatistics(QuorelStreamStats *stats) {
  if (stats == nullptr || stats->size < kStreamStatsFirstSize) {
    ReportError(kErrArgument, "QuorelStream_GetStatistics");
    return 0;
  }
  QuorelStreamStats full{};
  full.size = sizeof full;
  acquisition_.streamStatistics().Fill(EngineCounters(), MonotonicNanoseconds(), &full);
  CopyOut(full, stats);
  return 1;
}

int CQuorel::ResetStreamStatistics() {
  acquisition_.streamStatistics().Reset(EngineCounters(), MonotonicNanoseconds());
  return 1;
}

}  // namespace quorel
