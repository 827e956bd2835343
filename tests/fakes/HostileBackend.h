// A hostile camera for fault tests: every open, register read, port read,
// serial-ROM read, command, frame read and time-out request goes to the
// virtual camera unless a scripted rule makes it fail, come back short,
// come back as garbage, or block past its time-out (then fail, as a driver
// whose time-out expired does).
//
// Rules pick a request kind and a fault, from the nth such request on, for
// a number of requests or for ever. Install with SetDriverBackendOverride;
// any thread may issue requests and change the rules.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/DriverChannel.h"
#include "device/PacketLayer.h"
#include "device/SimDriverBackend.h"

namespace quorel::test {

class HostileBackend : public DriverBackend, public std::enable_shared_from_this<HostileBackend> {
 public:
  enum class Kind { kOpen, kRegisterRead, kPortRead, kSromRead, kCommand, kFrameRead, kTimeout, kCount };
  enum class Fault { kFail, kShort, kGarbage, kBlock, kCount };

  struct Rule {
    Kind kind;
    Fault fault;
    int from = 0;    // the first affected request of this kind, counted from when the rule is set
    int count = -1;  // affected requests; -1 for ever
  };

  static const char *KindName(Kind k) {
    static const char *names[] = {"open",    "register read", "port read", "serial-ROM read",
                                  "command", "frame read",    "time-out"};
    return names[static_cast<int>(k)];
  }
  static const char *FaultName(Fault f) {
    static const char *names[] = {"fail", "short", "garbage", "block"};
    return names[static_cast<int>(f)];
  }

  // How long a blocking fault holds the request before failing it.
  explicit HostileBackend(std::chrono::milliseconds block = std::chrono::milliseconds(50)) : block_(block) {}

  void SetRules(std::vector<Rule> rules) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_ = std::move(rules);
    for (int &n : seen_) n = 0;
    for (int &n : hits_) n = 0;
  }
  void Clear() { SetRules({}); }
  // Requests of this kind that a rule affected since the rules were set.
  int Hits(Kind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hits_[static_cast<int>(kind)];
  }

  DeviceHandle Open(const std::string &path) override {
    if (const std::optional<Fault> f = Next(Kind::kOpen)) {
      if (*f == Fault::kBlock) std::this_thread::sleep_for(block_);
      return nullptr;  // an open cannot come back short: every fault is a failure
    }
    DeviceHandle inner = SimDriverBackend::Instance()->Open(path);
    if (!inner) return nullptr;
    return std::make_unique<Device>(shared_from_this(), std::move(inner));
  }

 private:
  class Device : public DriverDevice {
   public:
    Device(std::shared_ptr<HostileBackend> owner, DeviceHandle inner)
        : owner_(std::move(owner)), inner_(std::move(inner)) {}
    bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t length, size_t *moved) override {
      const Kind kind = Classify(code, in, inLength, data, length);
      const std::optional<Fault> fault = owner_->Next(kind);
      if (!fault) return inner_->Request(code, in, inLength, data, length, moved);
      if (moved != nullptr) *moved = 0;
      switch (*fault) {
        case Fault::kFail:
          return false;
        case Fault::kBlock:
          std::this_thread::sleep_for(owner_->block_);
          return false;
        case Fault::kShort: {
          const bool ok = inner_->Request(code, in, inLength, data, length, moved);
          if (moved != nullptr && *moved > 0) *moved /= 2;
          return ok;
        }
        default: {
          const bool ok = inner_->Request(code, in, inLength, data, length, moved);
          if (data != nullptr && kind != Kind::kCommand && kind != Kind::kTimeout) {
            auto *bytes = static_cast<uint8_t *>(data);
            for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(0xA5 ^ (i * 37));
          }
          return ok;
        }
      }
    }

   private:
    Kind Classify(uint32_t code, const void *in, size_t inLength, const void *data, size_t length) {
      if (code == IOCTL_SET_TIMEOUT) return Kind::kTimeout;
      uint32_t pipe = 0;
      if (in != nullptr && inLength >= 4) std::memcpy(&pipe, in, 4);
      if (pipe == kPipeData) return Kind::kFrameRead;
      if (pipe == kPipeReply) {
        if (lastCommand_ == CMD_READ_PORT) return Kind::kPortRead;
        if (lastCommand_ == CMD_SROM_READ) return Kind::kSromRead;
        return Kind::kRegisterRead;
      }
      if (data != nullptr && length > 0) lastCommand_ = *static_cast<const uint8_t *>(data);
      return Kind::kCommand;
    }

    std::shared_ptr<HostileBackend> owner_;
    DeviceHandle inner_;
    uint8_t lastCommand_ = 0;
  };

  // The fault for the next request of this kind, if any.
  std::optional<Fault> Next(Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int n = seen_[static_cast<int>(kind)]++;
    for (const Rule &r : rules_) {
      if (r.kind == kind && n >= r.from && (r.count < 0 || n < r.from + r.count)) {
        ++hits_[static_cast<int>(kind)];
        return r.fault;
      }
    }
    return std::nullopt;
  }

  const std::chrono::milliseconds block_;
  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  int seen_[static_cast<int>(Kind::kCount)] = {};
  int hits_[static_cast<int>(Kind::kCount)] = {};
};

}  // namespace quorel::test
