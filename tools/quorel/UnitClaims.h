// Which process holds a unit, read from the cross-process device table that
// the library keeps in shared memory (its layout is a documented external
// interface: "/VELMOR_USBCAMERA", or $QUOREL_SHM_NAME; unit n's 152-byte entry
// at byte 0x1DFC00 + 152 n; a non-zero owner window at offset 0 marks a claim;
// the owner module at offset 8 holds the owner's process id in its low 32
// bits and the low 32 bits of its start time, in clock ticks since boot, in
// its high ones). The table is only read, never created or changed.
#pragma once

#include <sys/types.h>
#include <optional>

namespace quorel::cli {

// The id of the live process that holds `unit` (0..31), or nullopt when the
// unit is free, its owner has ended, or the table does not exist.
std::optional<pid_t> UnitHolder(int unit);

}  // namespace quorel::cli
