#include "device/SimDriverBackend.h"

#include <cstdio>
#include <cstdlib>

namespace quorel {

namespace {

constexpr std::string_view kPathPrefix = "/dev/QrelKX470PLU-";

class SimDevice : public DriverDevice {
 public:
  explicit SimDevice(std::shared_ptr<sim::SimCamera> camera) : camera_(std::move(camera)) {}
  bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength,
               size_t *transferred) override {
    return camera_->Request(code, in, inLength, data, dataLength, transferred);
  }

 private:
  std::shared_ptr<sim::SimCamera> camera_;
};

}  // namespace

std::shared_ptr<SimDriverBackend> SimDriverBackend::Instance() {
  static const std::shared_ptr<SimDriverBackend> instance = [] {
    auto backend = std::make_shared<SimDriverBackend>();
    const char *text = std::getenv("QUOREL_SIM");
    if (text != nullptr) {
      std::string error;
      if (!backend->Configure(text, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        sim::SimConfig none;
        none.units.fill(false);
        std::lock_guard<std::mutex> lock(backend->mutex_);
        backend->Rebuild(none);
      }
    }
    return backend;
  }();
  return instance;
}

SimDriverBackend::SimDriverBackend() {
  std::lock_guard<std::mutex> lock(mutex_);
  Rebuild(sim::SimConfig{});
}

void SimDriverBackend::Rebuild(const sim::SimConfig &config) {
  config_ = config;
  for (int i = 0; i < kMaxUnits; ++i) cameras_[static_cast<size_t>(i)] = std::make_shared<sim::SimCamera>(i, config);
}

bool SimDriverBackend::Configure(std::string_view text, std::string *error) {
  sim::SimConfig config;
  if (!sim::ParseSimConfig(text, &config, error)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  Rebuild(config);
  return true;
}

std::shared_ptr<sim::SimCamera> SimDriverBackend::Unit(int unit) const {
  if (unit < 0 || unit >= kMaxUnits) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  return cameras_[static_cast<size_t>(unit)];
}

sim::SimConfig SimDriverBackend::Config() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

DeviceHandle SimDriverBackend::Open(const std::string &path) {
  std::string_view p(path);
  if (!p.starts_with(kPathPrefix)) return nullptr;
  std::string suffix(p.substr(kPathPrefix.size()));
  int unit = UnitFromSuffix(suffix.c_str());
  auto camera = Unit(unit);
  if (!camera || !camera->Present()) return nullptr;
  return std::make_unique<SimDevice>(std::move(camera));
}

}  // namespace quorel
