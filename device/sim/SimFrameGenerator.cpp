#include "device/sim/SimFrameGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "device/sim/SimFrameLayout.h"
#include "platform/SafeFile.h"

namespace quorel::sim {
namespace {

// A raw scene holds at most the whole sensor at 16 bits; reading stops there,
// so that /dev/zero or an endless pipe cannot fill the memory.
constexpr size_t kMaxRawSceneBytes = size_t{kSensorWidth} * kSensorHeight * 2;

// Fraction of full scale a white surface reaches at nominal exposure and gain.
constexpr float kWhiteLevel = 0.55f;
// Prepared frames with noise: used in turn so that noise changes from frame
// to frame without being drawn anew for every frame.
constexpr size_t kNoisyVariants = 3;

// Site kinds of the Bayer filter, in the order of Setting::gains.
enum Site { kRed = 0, kGreen1 = 1, kGreen2 = 2, kBlue = 3, kGlobal = 4 };
constexpr uint16_t kGainRegisters[5] = {kRegGainRed, kRegGainGreen1, kRegGainGreen2, kRegGainBlue, kRegGainGlobal};

// The colour of memory site (x, y). Unmirrored frames start G R / B G; each
// mirror flips one phase.
inline Site SiteAt(int x, int y, bool mirrorH, bool mirrorV) {
  const int mode = 3 ^ (mirrorV ? 1 : 0) ^ (mirrorH ? 2 : 0);
  const int a = (y + (mode & 1)) & 1;
  const int b = (x + ((mode >> 1) & 1)) & 1;
  if (a == 1) return b == 0 ? kRed : kGreen1;
  return b == 0 ? kGreen2 : kBlue;
}

// splitmix64: small, fast and good enough for noise and defect positions.
struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Roughly normal with unit standard deviation (sum of four uniforms).
  float Normal() {
    const uint64_t r = Next();
    float sum = 0;
    for (int i = 0; i < 4; ++i) sum += static_cast<float>((r >> (16 * i)) & 0xFFFF);
    return (sum / 65535.0f - 2.0f) * 1.7320508f;
  }
};

// The synthetic chart, in reflectances 0 to 1 over the whole sensor: a red
// marker in the top-left corner, six by four colour patches, and a grey
// ramp dark on the left, bright on the right. No two patches share a
// colour, so any flip, transposition or red/blue swap changes the picture.
constexpr uint8_t kPatches[24][3] = {{115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
                                     {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
                                     {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
                                     {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
                                     {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52}};

void ChartAt(int px, int py, float rgb[3]) {
  const float u = (static_cast<float>(px) + 0.5f) / kSensorWidth;
  const float v = (static_cast<float>(py) + 0.5f) / kSensorHeight;
  rgb[0] = rgb[1] = rgb[2] = 0.18f;
  if (u < 0.05f && v < 0.05f) {
    rgb[0] = 0.95f;
    rgb[1] = rgb[2] = 0.05f;
    return;
  }
  if (u >= 0.06f && u < 0.94f && v >= 0.06f && v < 0.70f) {
    const float cu = (u - 0.06f) / 0.88f * 6.0f;
    const float cv = (v - 0.06f) / 0.64f * 4.0f;
    const int col = std::min(static_cast<int>(cu), 5);
    const int row = std::min(static_cast<int>(cv), 3);
    const float fu = cu - static_cast<float>(col), fv = cv - static_cast<float>(row);
    if (fu > 0.1f && fu < 0.9f && fv > 0.1f && fv < 0.9f) {
      for (int c = 0; c < 3; ++c) rgb[c] = kPatches[row * 6 + col][c] / 255.0f;
    }
    return;
  }
  if (u >= 0.06f && u < 0.94f && v >= 0.76f && v < 0.92f) {
    rgb[0] = rgb[1] = rgb[2] = (u - 0.06f) / 0.88f;
  }
}

}  // namespace

bool SimFrameGenerator::SameWindow(const SimFrameLayout &a, const SimFrameLayout &b) {
  return a.valid == b.valid && a.windowX == b.windowX && a.windowY == b.windowY && a.windowWidth == b.windowWidth &&
         a.windowHeight == b.windowHeight && a.divisor == b.divisor && a.binning == b.binning &&
         a.mirrorH == b.mirrorH && a.mirrorV == b.mirrorV && a.lineTotal == b.lineTotal && a.lineStart == b.lineStart &&
         a.imageWidth == b.imageWidth && a.frameLines == b.frameLines && a.imageTop == b.imageTop &&
         a.imageHeight == b.imageHeight;
}

bool SimFrameGenerator::Setting::operator==(const Setting &o) const {
  return SameWindow(layout, o.layout) && depth16 == o.depth16 && bytes == o.bytes && exposure == o.exposure &&
         std::equal(std::begin(gains), std::end(gains), std::begin(o.gains));
}

SimFrameGenerator::SimFrameGenerator(SimSceneSettings scene) : scene_(std::move(scene)) {}

uint16_t SimFrameGenerator::CounterSample(uint32_t frame, int x, int y, bool depth16, int unit) {
  if (y == 0 && x < 4) return static_cast<uint16_t>((frame >> (8 * x)) & 0xFF);
  const uint32_t step = 7u + 2u * static_cast<uint32_t>(unit);
  const uint32_t v = static_cast<uint32_t>(x) * step + static_cast<uint32_t>(y) * 29u + frame * 13u;
  return static_cast<uint16_t>(v & (depth16 ? 0xFFFu : 0xFFu));
}

size_t SimFrameGenerator::RawSceneBytes(const SimFrameLayout &layout, bool depth16) {
  return static_cast<size_t>(layout.imageWidth) * static_cast<size_t>(layout.imageHeight) * (depth16 ? 2 : 1);
}

SimFrameGenerator::Setting SimFrameGenerator::ReadSetting(const SimSensorView &view, size_t bytes) const {
  Setting s;
  s.layout = DeriveFrameLayout(view);
  s.depth16 = Programmed16Bit(view);
  s.bytes = bytes;
  // Counter and raw scenes ignore exposure and gains; leaving them out of
  // the setting keeps their frames independent of them.
  if (scene_.kind == SceneKind::kChart || scene_.kind == SceneKind::kImage) {
    s.exposure = view.Register(kRegExposure);
    for (int i = 0; i < 5; ++i) s.gains[i] = view.Register(kGainRegisters[i]) & 0x7F;
  }
  return s;
}

bool SimFrameGenerator::LoadSource(std::string *error) {
  if (!sourceLoaded_) {
    sourceLoaded_ = true;
    if (scene_.kind == SceneKind::kImage) {
      if (!LoadSimPicture(scene_.file, &picture_, &sourceError_)) picture_ = SimPicture{};
    } else if (scene_.kind == SceneKind::kRaw) {
      std::string bytes, why;
      if (!ReadRegularFile(scene_.file.c_str(), kMaxRawSceneBytes, &bytes, &why)) {
        sourceError_ = "cannot read raw scene file \"" + scene_.file + "\": " + why;
      } else {
        rawFile_.assign(bytes.begin(), bytes.end());
      }
    }
  }
  if (!sourceError_.empty()) {
    if (error) *error = sourceError_;
    return false;
  }
  return true;
}

// What each delivered sample's site sees of the scene (reflectance 0 to 1
// in its filter colour), over the packed window, row by row. Depends on the
// window only, so that exposure and gain changes re-use it.
void SimFrameGenerator::RenderScene(const Setting &s, std::vector<float> *reflectance) const {
  const SimFrameLayout &l = s.layout;
  const size_t width = static_cast<size_t>(l.imageWidth);
  reflectance->assign(width * static_cast<size_t>(l.imageHeight), 0.0f);
  // Sensor position of each delivered column and row: the centre of the
  // group of sensor pixels it stands for.
  std::vector<int> px(width);
  for (int x = 0; x < l.imageWidth; ++x) {
    const int col = l.mirrorH ? l.imageWidth - 1 - x : x;
    px[static_cast<size_t>(x)] = l.windowX + col * l.divisor + l.divisor / 2;
  }
  float rgb[3];
  for (int y = 0; y < l.imageHeight; ++y) {
    const int row = l.mirrorV ? l.imageHeight - 1 - y : y;
    const int py = l.windowY + row * l.divisor + l.divisor / 2;
    float *out = reflectance->data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < l.imageWidth; ++x) {
      if (scene_.kind == SceneKind::kImage) {
        const size_t ix =
            static_cast<size_t>(px[static_cast<size_t>(x)]) * static_cast<size_t>(picture_.width) / kSensorWidth;
        const size_t iy = static_cast<size_t>(py) * static_cast<size_t>(picture_.height) / kSensorHeight;
        const uint16_t *p = picture_.rgb.data() + (iy * static_cast<size_t>(picture_.width) + ix) * 3;
        for (int c = 0; c < 3; ++c) rgb[c] = p[c] / 65535.0f;
      } else {
        ChartAt(px[static_cast<size_t>(x)], py, rgb);
      }
      const Site site = SiteAt(x, y, l.mirrorH, l.mirrorV);
      out[x] = site == kRed ? rgb[0] : site == kBlue ? rgb[2] : rgb[1];
    }
  }
}

// Turns reflectances into one prepared frame: exposure and gains, noise
// (seeded by `variant`), clipping, stuck pixels, then the host's row layout
// at the sample depth.
void SimFrameGenerator::StoreLevels(const Setting &s, const std::vector<float> &reflectance, uint32_t variant,
                                    std::vector<uint8_t> *frame) const {
  const SimFrameLayout &l = s.layout;
  const float full = s.depth16 ? 4095.0f : 255.0f;
  const float sigma = static_cast<float>(scene_.noise) * (s.depth16 ? 16.0f : 1.0f);
  const float exposure = static_cast<float>(std::max<uint16_t>(s.exposure, 1)) / kNominalExposure;
  float scale[4];
  for (int i = 0; i < 4; ++i) {
    scale[i] = full * kWhiteLevel * exposure * (static_cast<float>(s.gains[kGlobal]) / kNominalGain) *
               (static_cast<float>(s.gains[i]) / kNominalGain);
  }
  Rng noise{scene_.seed * 0x100000001B3ull + variant + 1};
  std::vector<uint16_t> samples(reflectance.size());
  for (int y = 0; y < l.imageHeight; ++y) {
    const size_t rowStart = static_cast<size_t>(y) * static_cast<size_t>(l.imageWidth);
    // A row holds two kinds of site, alternating.
    const float rowScale[2] = {scale[SiteAt(0, y, l.mirrorH, l.mirrorV)], scale[SiteAt(1, y, l.mirrorH, l.mirrorV)]};
    for (int x = 0; x < l.imageWidth; ++x) {
      const size_t i = rowStart + static_cast<size_t>(x);
      float v = reflectance[i] * rowScale[x & 1];
      if (sigma > 0) v += sigma * noise.Normal();
      samples[i] = static_cast<uint16_t>(std::lround(std::clamp(v, 0.0f, full)));
    }
  }
  // Stuck pixels sit at fixed places on the sensor; those inside the window
  // show at the delivered pixel that covers them. Even ones are hot, odd
  // ones dead.
  Rng where{scene_.seed};
  for (int i = 0; i < scene_.defects; ++i) {
    const int sx = static_cast<int>(where.Next() % kSensorWidth);
    const int sy = static_cast<int>(where.Next() % kSensorHeight);
    const int cx = (sx - l.windowX) / l.divisor, cy = (sy - l.windowY) / l.divisor;
    if (sx < l.windowX || sy < l.windowY || cx >= l.imageWidth || cy >= l.imageHeight) continue;
    const int x = l.mirrorH ? l.imageWidth - 1 - cx : cx;
    const int y = l.mirrorV ? l.imageHeight - 1 - cy : cy;
    samples[static_cast<size_t>(y) * static_cast<size_t>(l.imageWidth) + static_cast<size_t>(x)] =
        (i % 2 == 0) ? static_cast<uint16_t>(full) : 0;
  }

  frame->assign(s.bytes, 0);
  const size_t bps = s.depth16 ? 2 : 1;
  for (int y = 0; y < l.imageHeight; ++y) {
    const size_t offset =
        (static_cast<size_t>(l.imageTop + y) * static_cast<size_t>(l.lineTotal) + static_cast<size_t>(l.lineStart)) *
        bps;
    if (offset >= s.bytes) break;
    const size_t count = std::min(static_cast<size_t>(l.imageWidth), (s.bytes - offset) / bps);
    const uint16_t *src = samples.data() + static_cast<size_t>(y) * static_cast<size_t>(l.imageWidth);
    uint8_t *dst = frame->data() + offset;
    for (size_t x = 0; x < count; ++x) {
      if (bps == 2) {
        dst[2 * x] = static_cast<uint8_t>(src[x] & 0xFF);
        dst[2 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      } else {
        dst[x] = static_cast<uint8_t>(src[x]);
      }
    }
  }
}

bool SimFrameGenerator::Prepare(const Setting &s, std::string *error) {
  prepared_ = false;
  frames_.clear();
  if (scene_.kind == SceneKind::kImage && !LoadSource(error)) return false;
  if (!reflectanceReady_ || !SameWindow(s.layout, reflectanceLayout_)) {
    RenderScene(s, &reflectance_);
    reflectanceLayout_ = s.layout;
    reflectanceReady_ = true;
  }
  const size_t variants = scene_.noise > 0 ? kNoisyVariants : 1;
  frames_.resize(variants);
  for (size_t i = 0; i < variants; ++i) StoreLevels(s, reflectance_, static_cast<uint32_t>(i), &frames_[i]);
  setting_ = s;
  prepared_ = true;
  return true;
}

void SimFrameGenerator::RenderCounter(const Setting &s, uint32_t frame, uint8_t *dst) const {
  const SimFrameLayout &l = s.layout;
  const size_t bps = s.depth16 ? 2 : 1;
  const uint32_t mask = s.depth16 ? 0xFFFu : 0xFFu;
  const uint32_t step = 7u + 2u * static_cast<uint32_t>(scene_.unit);
  for (int y = 0; y < l.imageHeight; ++y) {
    const size_t offset =
        (static_cast<size_t>(l.imageTop + y) * static_cast<size_t>(l.lineTotal) + static_cast<size_t>(l.lineStart)) *
        bps;
    if (offset >= s.bytes) break;
    const size_t count = std::min(static_cast<size_t>(l.imageWidth), (s.bytes - offset) / bps);
    uint8_t *row = dst + offset;
    // Written inline rather than through CounterSample so that the loop
    // vectorises; the test compares the two.
    const uint32_t base = static_cast<uint32_t>(y) * 29u + frame * 13u;
    if (bps == 2) {
      for (size_t x = 0; x < count; ++x) {
        const uint32_t v = (static_cast<uint32_t>(x) * step + base) & mask;
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
    } else {
      for (size_t x = 0; x < count; ++x) row[x] = static_cast<uint8_t>(static_cast<uint32_t>(x) * step + base);
    }
    if (y == 0) {
      for (size_t x = 0; x < std::min<size_t>(count, 4); ++x) {
        row[x * bps] = static_cast<uint8_t>(frame >> (8 * x));
        if (bps == 2) row[x * bps + 1] = 0;
      }
    }
  }
}

bool SimFrameGenerator::Render(const SimSensorView &view, uint32_t frame, uint8_t *dst, size_t bytes,
                               std::string *error) {
  if (dst == nullptr || bytes == 0) return bytes == 0;
  const Setting s = ReadSetting(view, bytes);
  const SimFrameLayout &l = s.layout;
  if (!l.valid) {
    // A sensor with no sensible window still sends its bytes.
    std::memset(dst, 0, bytes);
    return true;
  }
  const size_t bps = s.depth16 ? 2 : 1;
  const bool packed = l.lineStart == 0 && l.imageTop == 0 && l.lineTotal == l.imageWidth;
  const size_t imageBytes = std::min(RawSceneBytes(l, s.depth16), bytes);

  switch (scene_.kind) {
    case SceneKind::kCounter:
      if (!packed) std::memset(dst, 0, bytes);
      RenderCounter(s, frame, dst);
      if (packed) std::memset(dst + imageBytes, 0, bytes - imageBytes);
      return true;
    case SceneKind::kRaw: {
      if (!LoadSource(error)) return false;
      const size_t need = RawSceneBytes(l, s.depth16);
      if (rawFile_.size() != need) {
        if (error) {
          *error = "raw scene file \"" + scene_.file + "\" holds " + std::to_string(rawFile_.size()) +
                   " bytes, but the delivered window of " + std::to_string(l.imageWidth) + " x " +
                   std::to_string(l.imageHeight) + " samples at " + (s.depth16 ? "16" : "8") + "-bit depth needs " +
                   std::to_string(need) + " bytes";
        }
        return false;
      }
      if (packed) {
        std::memcpy(dst, rawFile_.data(), imageBytes);
        std::memset(dst + imageBytes, 0, bytes - imageBytes);
        return true;
      }
      std::memset(dst, 0, bytes);
      const size_t rowBytes = static_cast<size_t>(l.imageWidth) * bps;
      for (int y = 0; y < l.imageHeight; ++y) {
        const size_t offset = (static_cast<size_t>(l.imageTop + y) * static_cast<size_t>(l.lineTotal) +
                               static_cast<size_t>(l.lineStart)) *
                              bps;
        if (offset >= bytes) break;
        std::memcpy(dst + offset, rawFile_.data() + static_cast<size_t>(y) * rowBytes,
                    std::min(rowBytes, bytes - offset));
      }
      return true;
    }
    case SceneKind::kChart:
    case SceneKind::kImage:
      break;
  }
  if (!prepared_ || !(s == setting_)) {
    if (!Prepare(s, error)) return false;
  }
  std::memcpy(dst, frames_[frame % frames_.size()].data(), bytes);
  return true;
}

}  // namespace quorel::sim
