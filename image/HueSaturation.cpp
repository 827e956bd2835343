#include "image/HueSaturation.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;
using kernel_rows::Load;
using kernel_rows::Store;

// Gray levels in three byte lanes (red high, blue low) and the reciprocals
// 0xFF0000 / d that spare a division per pixel.
struct FixedTables {
  std::array<int32_t, 256> gray3{};
  std::array<int32_t, 256> reciprocal{};  // entry 0 unused
};

const FixedTables &Fixed() {
  static const FixedTables tables = [] {
    FixedTables t;
    for (int32_t k = 0; k < 256; ++k) t.gray3[k] = k * 0x010101;
    for (int32_t d = 1; d < 256; ++d) t.reciprocal[d] = 0xFF0000 / d;
    return t;
  }();
  return tables;
}

// Tables for one saturation: adjusted lightness sum (the identity for
// lightness 0), the chroma limit that keeps a pixel in range, and the scaled
// chroma. Never changed once built.
struct SettingTables {
  int32_t saturation = 0;
  std::array<int32_t, 512> lightness{};
  std::array<int32_t, 512> limit{};
  std::array<int32_t, 256> chroma{};
};

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

// Channel masks and per-step increments of the hue ramp by sextant, on the
// packed value (red high, blue low); repeated so that indexes up to 11 hold.
constexpr std::array<int32_t, 12> kMask = {0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF,
                                           0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF};
constexpr std::array<int32_t, 12> kStep = {-1, 256, -65536, 1, -256, 65536, -1, 256, -65536, 1, -256, 65536};

// The hue rotation as whole sextants and a remainder on the 1530-step circle.
struct HueShift {
  int32_t sextants = 0;  // 0 .. 5
  int32_t rest = 0;      // 0 .. 254
};

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

// Everything one call needs, resolved once.
struct Conversion {
  const FixedTables &fixed;
  const SettingTables &setting;
  HueShift shift;

  // Returns red << 16 | green << 8 | blue for 8-bit samples. Written with
  // selects rather than branches: on camera pictures the comparisons go
  // either way from pixel to pixel.
  int32_t operator()(int32_t b, int32_t g, int32_t r) const {
    // Ties prefer red over green over blue.
    const bool redOverGreen = r >= g;
    const int32_t larger = redOverGreen ? r : g;
    const int32_t smaller = redOverGreen ? g : r;
    const bool blueMax = b > larger;
    const int32_t max = blueMax ? b : larger;
    const int32_t min = std::min(b, smaller);
    int32_t sextant = blueMax ? 5 : (redOverGreen ? 1 : 3);
    int32_t n = blueMax ? r - g : (redOverGreen ? g - b : b - r);
    const int32_t d = max - min;
    const bool below = n < 0;
    sextant -= below ? 1 : 0;
    n += below ? d : 0;

    const int32_t l2 = max + min;
    const int32_t lt = setting.lightness[l2];
    const int32_t c = std::min(setting.limit[l2], setting.chroma[d]);
    const int32_t low = (lt - c) >> 1;
    // A gray pixel (d = 0) has c = 0 and so w = 0: the ramp term adds 0, and
    // needs no test (the reciprocal of 0 is stored as 0).
    int32_t v = ((n * fixed.reciprocal[d] + 0x8000) >> 16) + shift.rest;
    const bool wrap = v > 254;
    const int32_t idx = sextant + shift.sextants + (wrap ? 1 : 0);
    v -= wrap ? 255 : 0;
    const int32_t w = ((lt + c) >> 1) - low;
    return fixed.gray3[low] + (fixed.gray3[w] & kMask[idx]) + ((w * v + 128) >> 8) * kStep[idx];
  }
};

template <typename Sample>
int Run(const Frame &f, const HueSaturationParams &p) {
  constexpr size_t kSize = sizeof(Sample);
  // Inside the setting range the scaled chroma stays between 0 and 2d; the
  // limit keeps every table index in range whatever the record holds.
  const int32_t saturation = std::clamp<int32_t>(p.saturation, -255, 255);
  const std::shared_ptr<const SettingTables> setting = Cache().Get(saturation);
  const Conversion convert{Fixed(), *setting, MakeHueShift(p.hue)};
  const int shift = sizeof(Sample) == 1 ? 0 : kernel_rows::LimitBits(p.bits) - 8;

  // 16-bit samples above the significant range are taken as full scale.
  auto in = [shift](const uint8_t *q) { return std::min<int32_t>(Load<Sample>(q) >> shift, 255); };
  auto out = [shift](uint8_t *q, int32_t v) { Store<Sample>(q, static_cast<Sample>((v & 0xFF) << shift)); };

  for (size_t y = 0; y < f.height; ++y) {
    uint8_t *d = f.DstRow(y);
    const uint8_t *s = f.SrcRow(y);
    for (size_t x = 0; x < f.width; ++x, d += f.dstBpp, s += f.srcBpp) {
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
