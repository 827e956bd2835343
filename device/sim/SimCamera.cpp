#include "device/sim/SimCamera.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device/DriverChannel.h"
#include "device/PacketLayer.h"
#include "device/sim/SimFrameLayout.h"

namespace quorel::sim {

namespace {

constexpr size_t kPacket = 64;
constexpr size_t kMaxQueuedReplies = 16;
constexpr size_t kLargeTransferBytes = 3072000;
// The first reply after a command is a status packet that the host throws
// away; it carries this marker so that a host reading the wrong reply sees
// nonsense rather than a plausible value.
constexpr uint8_t kStatusMarker = 0xA5;

void FillDefaultSrom(std::vector<uint8_t> *srom, int unit) {
  srom->assign(SimCamera::kSromSize, 0xFF);
  // Identifier block: model tag, a serial number per unit, firmware version.
  const char id[] = "QrelKX470PLU";
  std::memcpy(srom->data() + SimCamera::kSromIdBase, id, sizeof(id) - 1);
  char serial[16];
  std::snprintf(serial, sizeof(serial), "%06d", 470000 + unit);
  std::memcpy(srom->data() + SimCamera::kSromIdBase + 0x10, serial, 6);
  (*srom)[SimCamera::kSromIdBase + 0x20] = 1;  // firmware major
  (*srom)[SimCamera::kSromIdBase + 0x21] = 2;  // firmware minor
  // Factory clock choice: 1 selects clock 0 on the host.
  (*srom)[SimCamera::kSromClockByte] = 1;
}

uint32_t LittleEndian32(const uint8_t *p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

SimFrameSourceOptions FrameOptions(const SimConfig &config, int unit) {
  SimFrameSourceOptions options;
  options.scene = config.scene;
  options.scene.unit = unit;
  switch (config.fpsMode) {
    case FpsMode::kMax:
      options.pacing.kind = SimPacingKind::kMax;
      break;
    case FpsMode::kSensor:
      options.pacing.kind = SimPacingKind::kSensor;
      break;
    case FpsMode::kFixed:
      options.pacing.kind = SimPacingKind::kFixed;
      options.pacing.fps = config.fps;
      break;
  }
  options.triggerPeriodMs = static_cast<uint32_t>(config.triggerPeriodMs);
  return options;
}

}  // namespace

SimCamera::SimCamera(int unit, const SimConfig &config)
    : unit_(unit),
      config_(config),
      present_(unit >= 0 && unit < 32 && config.units[static_cast<size_t>(unit)]),
      frames_(std::make_unique<SimFrameSource>(FrameOptions(config, unit))) {
  FillDefaultSrom(&srom_, unit);
  frames_->SetPresent(present_);
}

SimCamera::~SimCamera() = default;

uint16_t SimCamera::Register(uint16_t address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_.Read(address);
}

uint8_t SimCamera::Port(int port) const {
  if (port < 0 || static_cast<size_t>(port) >= kPortCount) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  return ports_[static_cast<size_t>(port)];
}

bool SimCamera::Present() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return present_;
}

void SimCamera::SetPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (present && !present_) {
    // Plugging in powers the camera up afresh.
    registers_.Reset();
    ports_.fill(0);
    replies_.clear();
    transferSamples_ = 0;
    depthCommand16_ = false;
    capturesPending_ = 0;
  }
  present_ = present;
  frames_->SetPresent(present);
}

bool SimCamera::InjectFault(const char *fault) {
  return frames_->InjectFault(fault);
}

void SimCamera::Trigger() {
  frames_->Trigger();
}

std::vector<RegisterWrite> SimCamera::RegisterWriteLog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_.Log();
}

void SimCamera::ClearRegisterWriteLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  registers_.ClearLog();
}

uint8_t SimCamera::SromByte(size_t address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return address < srom_.size() ? srom_[address] : 0;
}

int SimCamera::TimeoutMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeoutMs_;
}

uint32_t SimCamera::TransferSamples() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transferSamples_;
}

bool SimCamera::Request(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength,
                        size_t *transferred) {
  if (transferred != nullptr) *transferred = 0;
  if (code == IOCTL_SET_TIMEOUT) {
    // The block is {1, ms, 36 zero bytes}; its outcome is never examined by
    // the host, but a malformed block is still refused.
    if (in == nullptr || inLength != QUOREL_TIMEOUT_BLOCK_SIZE) return false;
    const auto *block = static_cast<const uint8_t *>(in);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_ || LittleEndian32(block) != 1) return false;
    timeoutMs_ = static_cast<int>(LittleEndian32(block + 4) & 0x7FFFFFFF);
    return true;
  }
  if (in == nullptr || inLength < 4 || (data == nullptr && dataLength > 0)) return false;
  uint32_t pipe = LittleEndian32(static_cast<const uint8_t *>(in));
  if (pipe == kPipeData) {
    if (code != IOCTL_PIPE_DIRECT_IN && code != IOCTL_PIPE_DIRECT_IN_LARGE) return false;
    return HandleFrame(code, data, dataLength, transferred);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!present_) return false;
  if (pipe == kPipeCommand) {
    // The streaming loop sends its capture command with the "out" request.
    if (code != IOCTL_PIPE_DIRECT_IN && code != IOCTL_PIPE_DIRECT_OUT) return false;
    if (!HandleCommand(static_cast<const uint8_t *>(data), dataLength)) return false;
    if (transferred != nullptr) *transferred = dataLength;
    return true;
  }
  if (pipe == kPipeReply) {
    if (code != IOCTL_PIPE_DIRECT_OUT) return false;
    return HandleReply(static_cast<uint8_t *>(data), dataLength, transferred);
  }
  return false;
}

void SimCamera::QueueAnswer(const uint8_t *answer, size_t count) {
  std::array<uint8_t, kPacket> status{};
  status[0] = kStatusMarker;
  status[1] = kStatusMarker;
  std::array<uint8_t, kPacket> reply{};
  std::memcpy(reply.data(), answer, std::min(count, kPacket));
  // Replies the host never collected are stale once a new question comes.
  replies_.clear();
  replies_.push_back(status);
  replies_.push_back(reply);
}

bool SimCamera::HandleCommand(const uint8_t *p, size_t length) {
  // The camera only understands whole 64-byte packets.
  if (p == nullptr || length != kPacket) return false;
  auto be16 = [&](size_t i) { return static_cast<uint16_t>(p[i] << 8 | p[i + 1]); };
  switch (p[0]) {
    case CMD_PREPARE:
      capturesPending_ = 0;
      return true;
    case CMD_CAPTURE:
      capturesPending_ = std::min(capturesPending_ + 1, 2);
      return true;
    case CMD_WRITE_REGISTER:
      if (frames_->TakeRegisterFault()) return false;
      registers_.Write(be16(1), be16(3));
      return true;
    case CMD_INIT:
      registers_.Reset();
      ports_.fill(0);
      replies_.clear();
      return true;
    case CMD_TRANSFER_SIZE:
      transferSamples_ = LittleEndian32(p + 1);
      return true;
    case CMD_SAMPLE_DEPTH:
      depthCommand16_ = p[1] != 0;
      return true;
    case CMD_READ_REGISTER: {
      if (frames_->TakeRegisterFault()) return false;
      uint16_t value = registers_.Read(be16(1));
      uint8_t answer[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
      QueueAnswer(answer, sizeof(answer));
      return true;
    }
    case CMD_WRITE_PORT:
      if (p[1] >= kPortCount) return false;
      ports_[p[1]] = p[2];
      return true;
    case CMD_READ_PORT: {
      if (p[1] >= kPortCount) return false;
      uint8_t answer[1] = {ports_[p[1]]};
      QueueAnswer(answer, sizeof(answer));
      return true;
    }
    case CMD_SROM_WRITE: {
      if (p[1] != 0x51 || p[2] != 0x03) return false;
      size_t address = size_t{p[3]} << 8 | p[4];
      if (address >= srom_.size()) return false;
      srom_[address] = p[5];
      return true;
    }
    case CMD_SROM_READ: {
      if (p[1] != 0x51 || p[2] != 0x02 || p[3] != 0x01) return false;
      size_t address = be16(4);
      // Addresses past the ROM wrap, as an 8 KiB part decodes 13 bits.
      uint8_t answer[1] = {srom_[address % srom_.size()]};
      QueueAnswer(answer, sizeof(answer));
      return true;
    }
    default:
      return false;
  }
}

bool SimCamera::HandleReply(uint8_t *data, size_t length, size_t *transferred) {
  // No answer waiting: the request runs into the driver's time-out.
  if (replies_.empty() || data == nullptr) return false;
  // A buffer smaller than the packet overflows, as on the bus.
  if (length < kPacket) return false;
  size_t n = kPacket;
  std::memcpy(data, replies_.front().data(), n);
  replies_.pop_front();
  if (transferred != nullptr) *transferred = n;
  return true;
}

bool SimCamera::HandleFrame(uint32_t code, void *data, size_t length, size_t *transferred) {
  uint32_t timeoutMs = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The camera sends a frame only for a capture command.
    if (!present_ || capturesPending_ == 0) return false;
    --capturesPending_;
    timeoutMs = static_cast<uint32_t>(timeoutMs_);
  }
  // The driver moves big frames only with the large request and small ones
  // only with the normal one. (The view reads take mutex_ themselves.)
  const size_t frameBytes = ProgrammedTransferBytes(*this);
  if ((code == IOCTL_PIPE_DIRECT_IN_LARGE) != (frameBytes >= kLargeTransferBytes)) return false;
  // A buffer smaller than the frame overflows, as on the bus.
  if (length < frameBytes) return false;
  size_t moved = 0;
  if (!frames_->ReadFrame(*this, static_cast<uint8_t *>(data), length, timeoutMs, &moved)) return false;
  if (transferred != nullptr) *transferred = moved;
  return true;
}

}  // namespace quorel::sim
