// The virtual-camera backend: device paths of the 470KX model lead to a
// process-wide software model of the camera, one SimCamera per unit, shared
// by every handle opened on that unit.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "device/DriverChannel.h"
#include "device/UnitSuffix.h"
#include "device/sim/SimCamera.h"
#include "device/sim/SimConfig.h"

namespace quorel {

class SimDriverBackend : public DriverBackend {
 public:
  // The process-wide model. Its first creation configures it from QUOREL_SIM;
  // a configuration that does not parse is reported on stderr and leaves no
  // unit present.
  static std::shared_ptr<SimDriverBackend> Instance();

  SimDriverBackend();
  // Opens "/dev/QrelKX470PLU-<suffix>" of a present unit.
  DeviceHandle Open(const std::string &path) override;

  // Replaces the configuration and powers up a fresh camera per unit (handles
  // open on the old ones keep talking to them). False, with the reason in
  // *error, when text does not parse; nothing changes then.
  bool Configure(std::string_view text, std::string *error);
  // The model of a unit; null outside 0..31.
  std::shared_ptr<sim::SimCamera> Unit(int unit) const;
  sim::SimConfig Config() const;

 private:
  void Rebuild(const sim::SimConfig &config);  // mutex_ held

  mutable std::mutex mutex_;
  sim::SimConfig config_;                                           // guarded by mutex_
  std::array<std::shared_ptr<sim::SimCamera>, kMaxUnits> cameras_;  // guarded by mutex_
};

}  // namespace quorel
