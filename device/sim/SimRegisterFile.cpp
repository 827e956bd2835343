#include "device/sim/SimRegisterFile.h"

namespace quorel::sim {

namespace {
constexpr uint16_t kMirrorState = 0x0100;
constexpr uint16_t kReadMode = 0x3040;

// Power-up values: the full window at the default clock, exposure and gains,
// so that a frame read before any programming is already sensible.
constexpr RegisterWrite kResetValues[] = {
    {0x0300, 4},      {0x0304, 4},      {0x0306, 32},     {0x0308, 8},      {0x0104, 0},      {0x0202, 0x01B5},
    {0x0340, 2961},   {0x0342, 7296},   {0x0344, 8},      {0x0346, 8},      {0x0348, 3504},   {0x034A, 2632},
    {0x034C, 3488},   {0x034E, 2616},   {0x0400, 0},      {0x0404, 16},     {0x3010, 256},    {0x3012, 1970},
    {0x3014, 1386},   {0x3018, 0},      {0x301A, 0x0018}, {0x3040, 0x0041}, {0x3044, 0x0400}, {0x3056, 0x10A0},
    {0x3058, 0x10A0}, {0x305A, 0x10A0}, {0x305C, 0x10A0}, {0x305E, 0x10A0},
};
}  // namespace

void SimRegisterFile::Reset() {
  values_.clear();
  for (const auto &r : kResetValues) values_[r.address] = r.value;
  log_.clear();
}

uint16_t SimRegisterFile::Read(uint16_t address) const {
  if (address == kMirrorState) {
    uint16_t mode = Read(kReadMode);
    return static_cast<uint16_t>(((mode >> 14) & 1) | (((mode >> 15) & 1) << 1));
  }
  auto it = values_.find(address);
  return it == values_.end() ? 0 : it->second;
}

void SimRegisterFile::Write(uint16_t address, uint16_t value) {
  if (log_.size() >= kLogCapacity) log_.pop_front();
  log_.push_back({address, value});
  if (address != kMirrorState) values_[address] = value;
}

}  // namespace quorel::sim
