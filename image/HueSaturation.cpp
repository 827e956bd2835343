#include "image/HueSaturation.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

#include "image/CpuPath.h"
#include "image/HueSaturationConvert.h"
#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;
using kernel_rows::Load;
using kernel_rows::Store;

using hue_saturation::Conversion;
using hue_saturation::FixedTables;
using hue_saturation::SettingTables;

const FixedTables &Fixed() {
  static const FixedTables tables = [] {
    FixedTables t;
    for (int32_t k = 0; k < 256; ++k) t.gray3[k] = k * 0x010101;
    for (int32_t d = 1; d < 256; ++d) t.reciprocal[d] = 0xFF0000 / d;
    return t;
  }();
  return tables;
}

std::shared_ptr<const SettingTables> BuildSettingTables(int32_t saturation) {
  auto t = std::make_shared<SettingTables>();
  t->saturation = saturation;
  for (int32_t l2 = 0; l2 < 512; ++l2) {
    t->lightness[l2] = l2;
    t->limit[l2] = l2 < 256 ? l2 : 511 - l2;
  }
  for (int32_t d = 0; d < 256; ++d) t->chroma[d] = ((saturation + 256) * 256 * d + 0x8000) >> 16;
  return t;
}

// The set of setting tables built last, shared by every camera of the process.
class SettingTableCache {
 public:
  std::shared_ptr<const SettingTables> Get(int32_t saturation) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (last_ && last_->saturation == saturation) return last_;
    }
    // Built outside the lock: cheap, and another thread may use the old set
    // meanwhile.
    std::shared_ptr<const SettingTables> built = BuildSettingTables(saturation);
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = built;
    return built;
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<const SettingTables> last_;  // guarded by mutex_
};

SettingTableCache &Cache() {
  static SettingTableCache cache;
  return cache;
}

}  // namespace

namespace hue_saturation {

HueShift MakeHueShift(int32_t hue) {
  const int64_t angle = static_cast<int64_t>(hue) * 65536 / 360;  // truncates toward zero
  const int32_t a = static_cast<int32_t>(static_cast<uint64_t>(angle) & 0xFFFF);
  const int32_t s = (a * 6) >> 8;
  int32_t f = s % 512;
  if (f >= 256) f -= 512;
  const int32_t k = ((s + 256) >> 9) % 3;
  int32_t shift = f + 510 * k;
  if (shift < 0) shift += 1530;
  if (shift > 1529) shift -= 1530;
  return {shift / 255, shift % 255};
}

}  // namespace hue_saturation

namespace {

template <typename Sample>
int Run(const Frame &f, const HueSaturationParams &p) {
  constexpr size_t kSize = sizeof(Sample);
  // Inside the setting range the scaled chroma stays between 0 and 2d; the
  // limit keeps every table index in range whatever the record holds.
  const int32_t saturation = std::clamp<int32_t>(p.saturation, -255, 255);
  const std::shared_ptr<const SettingTables> setting = Cache().Get(saturation);
  const Conversion convert{Fixed(), *setting, hue_saturation::MakeHueShift(p.hue)};
  const int shift = sizeof(Sample) == 1 ? 0 : kernel_rows::LimitBits(p.bits) - 8;

  // 16-bit samples above the significant range are taken as full scale.
  auto in = [shift](const uint8_t *q) { return std::min<int32_t>(Load<Sample>(q) >> shift, 255); };
  auto out = [shift](uint8_t *q, int32_t v) { Store<Sample>(q, static_cast<Sample>((v & 0xFF) << shift)); };

  const CpuPath path = ActiveCpuPath();
  for (size_t y = 0; y < f.height; ++y) {
    uint8_t *d = f.DstRow(y);
    const uint8_t *s = f.SrcRow(y);
    const hue_saturation::Row row{d, s, f.width, f.dstBpp, f.srcBpp, shift};
    size_t done = 0;
    if (path == CpuPath::kAvx512)
      done = hue_saturation::ConvertRowAvx512(convert, row);
    else if (path == CpuPath::kAvx2)
      done = hue_saturation::ConvertRowAvx2(convert, row);
    d += done * f.dstBpp;
    s += done * f.srcBpp;
    for (size_t x = done; x < f.width; ++x, d += f.dstBpp, s += f.srcBpp) {
      const int32_t rgb = convert(in(s), in(s + kSize), in(s + 2 * kSize));
      out(d, rgb);
      out(d + kSize, rgb >> 8);
      out(d + 2 * kSize, rgb >> 16);
    }
  }
  return 1;
}

}  // namespace

int HueSaturationColor8(const FrameView &dst, const ConstFrameView &src, const HueSaturationParams &p) {
  return kernel_rows::Checked<3, 3, Run<uint8_t>>(dst, src, p);
}

int HueSaturationColor16(const FrameView &dst, const ConstFrameView &src, const HueSaturationParams &p) {
  return kernel_rows::Checked<6, 6, Run<uint16_t>>(dst, src, p);
}

}  // namespace quorel
