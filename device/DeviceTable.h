// The cross-process device table: a named POSIX shared-memory object that
// tells every camera object on the machine which units are streaming, so that
// a second user of the same unit is refused.
//
// Object: "/VELMOR_USBCAMERA" (QUOREL_SHM_NAME overrides it, with a leading
// '/' added when missing), 0x4C0000 bytes, mapped whole, mode 0666 (one table
// for every user of the machine; an old per-user table that this user may not
// open is replaced by "<name>.<uid>" for this user). It is an
// array of 32,768 entries of 152 bytes; unit n (0..31) owns entry 12928 + n at
// byte offset 0x1DFC00 + 152 n. Entry layout, little-endian:
//   0   8  owner window   non-zero while the unit is claimed
//   8   8  owner module   who claimed it (see below)
//   16  8  hold word      while non-zero, release leaves the entry alone
//   24 128 owner library  "QuorelSdk_470KX_PLU.dll" while claimed, else empty
// Every other byte is left as it is, except that the process that creates the
// object zero-fills its first 0x8000 bytes.
//
// Owner module: bits 0..31 hold the owning process id, bits 32..63 the low 32
// bits of that process's start time in clock ticks since boot (field 22 of
// /proc/<pid>/stat), or 0 when it could not be read. Shared memory outlives
// its processes, so a claim whose process has ended, is a zombie, or whose pid
// now belongs to a process with another start time counts as free.
//
// A claim with a NULL window stores a non-zero token unique to this
// DeviceTable object instead, so headless applications are exclusive too;
// releasing with a NULL window matches that token.
//
// No lock guards the table: the 8-byte fields are read and written as single
// atomic accesses, so concurrent use from threads and processes is well
// defined, though two claims of the same unit race as plain stores would.
// Thread context: Open and Close must not run concurrently with any other
// member on the same object; the other members may run from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "QuorelSdk_470KX_PLU.h"

namespace quorel {

class DeviceTable {
 public:
  static constexpr size_t kObjectSize = 0x4C0000;
  static constexpr size_t kClearedPrefix = 0x8000;
  static constexpr size_t kEntrySize = 152;
  static constexpr size_t kFirstEntryOffset = 0x1DFC00;  // entry 12928
  static constexpr int kUnitCount = 32;
  static constexpr size_t kOwnerLibrarySize = 128;
  static constexpr const char *kDefaultName = "/VELMOR_USBCAMERA";
  static constexpr const char *kOwnerLibrary = "QuorelSdk_470KX_PLU.dll";
  static constexpr unsigned kObjectMode = 0666;

  DeviceTable();
  ~DeviceTable();
  DeviceTable(const DeviceTable &) = delete;
  DeviceTable &operator=(const DeviceTable &) = delete;

  // Opens the object, creating it first if it does not exist, and maps it.
  // True when a view exists. An existing object smaller than kObjectSize
  // (another program's object under the same name) is not mapped: false.
  bool Open();
  // Unmaps the view; the object itself stays for other processes.
  void Close();
  bool HasView() const { return view_ != nullptr; }
  // True when the last Open created the object rather than opening it.
  bool WasCreated() const { return created_; }

  // True when a view exists and the unit's entry is claimed by a live owner.
  // False for units outside 0..31.
  bool IsUnitInUse(int unit) const;

  // Claims the unit for `window` and this process without testing the entry
  // first. 1 on success; 0 without a view or for units outside 0..31.
  int ClaimUnit(int unit, HWND window);

  // Frees the entry when it was claimed with `window` by this process and its
  // hold word is 0; otherwise leaves it unchanged. 1 when a view exists and
  // the unit is in range (whether or not the entry matched), else 0.
  int ReleaseUnit(int unit, HWND window);

  // The object's name: QUOREL_SHM_NAME, else kDefaultName.
  static std::string ObjectName();
  // Byte offset of the unit's entry inside the object (unit in 0..31).
  static size_t EntryOffset(int unit) { return kFirstEntryOffset + kEntrySize * static_cast<size_t>(unit); }
  // The owner-module value of the calling process.
  static uint64_t CurrentOwnerModule();
  static uint64_t PackOwnerModule(uint32_t pid, uint64_t startTicks);
  // False when the packed owner no longer runs (see the file comment).
  static bool OwnerModuleAlive(uint64_t ownerModule);

 private:
  // Open for one object name; false with errno from the failing step.
  bool OpenNamed(const std::string &name);
  uint64_t WindowValue(HWND window) const;
  unsigned char *Entry(int unit) const { return view_ + EntryOffset(unit); }

  unsigned char *view_ = nullptr;  // the whole object, or null
  bool created_ = false;
  const uint64_t headlessToken_;  // stands for a NULL window in claims
};

}  // namespace quorel
