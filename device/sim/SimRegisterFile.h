// The virtual sensor's 16-bit register file: reset values, writes, the
// read-only mirror-state register, and a log of every write in order (so that
// tests can check the host's programming sequence). Not thread-safe: the
// owning SimCamera guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace quorel::sim {

struct RegisterWrite {
  uint16_t address;
  uint16_t value;
  bool operator==(const RegisterWrite &) const = default;
};

class SimRegisterFile {
 public:
  // Entries kept in the write log; older ones are dropped.
  static constexpr size_t kLogCapacity = 65536;

  SimRegisterFile() { Reset(); }

  // Power-up state; clears the log.
  void Reset();
  // The value as read by the host. 0x0100 reports the mirror bits of the
  // readout mode register (bit 0 horizontal, bit 1 vertical).
  uint16_t Read(uint16_t address) const;
  // Stores a write (writes to read-only 0x0100 are logged and ignored).
  void Write(uint16_t address, uint16_t value);

  std::vector<RegisterWrite> Log() const { return {log_.begin(), log_.end()}; }
  void ClearLog() { log_.clear(); }

 private:
  std::unordered_map<uint16_t, uint16_t> values_;
  std::deque<RegisterWrite> log_;
};

}  // namespace quorel::sim
