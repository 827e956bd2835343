// A sensor register file and controller ports as the host leaves them, for
// tests of the virtual camera's frame side. SetWindow performs the host's
// window programming: read-mode masks, output size, line and frame length,
// and the transfer size on ports 0-3.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

#include "device/sim/SimFrameGenerator.h"
#include "device/sim/SimFrameLayout.h"
#include "device/sim/SimSensorView.h"

namespace quorel::test {

class FakeSensorView : public sim::SimSensorView {
 public:
  FakeSensorView() {
    using namespace sim;
    regs_[kRegExposure] = kNominalExposure;
    for (uint16_t r : {kRegGainGreen1, kRegGainBlue, kRegGainRed, kRegGainGreen2, kRegGainGlobal}) {
      regs_[r] = 0x1080 | kNominalGain;
    }
    regs_[kRegClockMultiplier] = 32;
    regs_[kRegReadMode] = 0x0041;
  }
  uint16_t Register(uint16_t address) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = regs_.find(address);
    return it == regs_.end() ? 0 : it->second;
  }
  uint8_t Port(int port) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return port >= 0 && port < 16 ? ports_[port] : 0;
  }

  void Set(uint16_t address, uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    regs_[address] = value;
  }
  void SetPort(int port, uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    ports_[port] = value;
  }
  void SetDepth16(bool on) { SetPort(sim::kPortSampleDepth, static_cast<uint8_t>(0x84 | (on ? 1 : 0))); }
  void SetMirror(bool h, bool v) {
    const uint16_t rm = Register(sim::kRegReadMode) & 0x3FFF;
    Set(sim::kRegReadMode,
        static_cast<uint16_t>(rm | (h ? sim::kReadModeMirrorH : 0) | (v ? sim::kReadModeMirrorV : 0)));
  }

  void SetWindow(int x, int y, int width, int height, int mode) {
    using namespace sim;
    int d = 1;
    uint16_t rm = Register(kRegReadMode);
    int lmin = 1780;
    auto apply = [&](uint16_t mask, uint16_t bits) { rm = static_cast<uint16_t>((rm & mask) | bits); };
    switch (mode) {
      case 0:
        apply(0xF241, 0x0041);
        break;
      case 1:
        d = 2;
        apply(0xF2C3, 0x00C3);
        break;
      case 2:
        d = 4;
        apply(0xF3C7, 0x01C7);
        break;
      case 17:
        d = 2;
        apply(0xF6C3, 0x04C3);
        lmin = 2560;
        break;
      case 18:
        d = 4;
        apply(0xFFC7, 0x0DC7);
        lmin = 2560;
        break;
      default:
        break;
    }
    const int ow = SimOutputSize(width, d), oh = SimOutputSize(height, d);
    Set(kRegReadMode, rm);
    Set(kRegColumnStart, static_cast<uint16_t>(x + 8));
    Set(kRegColumnEnd, static_cast<uint16_t>(x + width + 16));
    Set(kRegRowStart, static_cast<uint16_t>(y + 8));
    Set(kRegRowEnd, static_cast<uint16_t>(y + height + 16));
    Set(kRegOutputWidth, static_cast<uint16_t>(ow));
    Set(kRegOutputHeight, static_cast<uint16_t>(oh));
    Set(kRegLineLength, static_cast<uint16_t>(2 * std::max(ow + 160, lmin)));
    Set(kRegFrameLength, static_cast<uint16_t>(oh + 345));
    size_t samples = static_cast<size_t>(height / d) * static_cast<size_t>(width / d);
    if (samples % 1024 != 0) samples += 1024 - samples % 1024;
    for (int i = 0; i < 4; ++i) SetPort(i, static_cast<uint8_t>(samples >> (8 * i)));
  }

 private:
  mutable std::mutex mutex_;
  std::map<uint16_t, uint16_t> regs_;  // guarded by mutex_
  uint8_t ports_[16] = {};             // guarded by mutex_
};

}  // namespace quorel::test
