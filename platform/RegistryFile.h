// HKEY_CURRENT_USER as a text file shared by every process of the user.
//
// Where: $QUOREL_REGISTRY, else $XDG_CONFIG_HOME/quorel/registry.reg, else
// ~/.config/quorel/registry.reg (the folder is created when needed).
//
// Nothing is cached: each snapshot or transaction reads the file anew.
// Coordination between processes uses flock on a lock file next to the
// settings file ("<file>.lock"), never on the settings file itself, because the
// file is replaced by rename on every write and a lock on the old inode would
// guard nothing. Readers hold the lock shared while they read; a transaction
// holds it exclusively from its read until its commit, and the commit writes a
// temporary file in the same folder, fsyncs it and renames it over the old one,
// so readers see either the old or the new file, never half of one.
//
// A path that exists but is no regular file (a directory, FIFO, device) is
// refused with one line on stderr and left untouched: reads see an empty
// store, commits fail. An existing file the user may not write is not
// replaced; a symbolic link is written through to its target.
//
// A file that does not parse (or is too big to be a settings file) is never
// overwritten: it is renamed aside to "<file>.corrupt-<timestamp>", one
// warning line goes to stderr, and the store starts empty. When it cannot be
// moved aside, reads see an empty store and commits fail.
//
// Paths given to the classes below are relative to HKEY_CURRENT_USER, e.g.
// "Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00"; they compare
// case-insensitively.
//
// Thread context: any thread. Each object belongs to one thread at a time;
// threads of one process are serialised by the same lock file, since each
// object opens its own descriptor for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RegistryDocument.h"

namespace quorel {

// Where the settings file lives, following the environment as it is now.
std::string RegistryFilePath();

// A settings file larger than this is not one we wrote; it is treated as corrupt.
constexpr size_t kRegistryFileMaxBytes = 32u << 20;

// Read-only view of the file as it was when the snapshot was taken.
class RegistrySnapshot {
 public:
  // Reads the file under a shared lock. A missing file is an empty store.
  RegistrySnapshot();

  bool KeyExists(std::string_view path) const;
  // The value as the signed 32-bit integer the store keeps; nullopt when the key
  // or the value is missing or the value is not a DWORD.
  std::optional<int32_t> QueryDword(std::string_view path, std::string_view name) const;

  const RegistryDocument &Document() const { return doc_; }

 private:
  RegistryDocument doc_;
};

// One read-modify-write of the file: the constructor takes the exclusive lock
// and reads the file, the operations change the copy in memory, Commit() writes
// it back. Destroying the object without Commit() discards the changes. The
// lock is held for the object's whole life, so keep transactions short.
class RegistryTransaction {
 public:
  RegistryTransaction();
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction &) = delete;
  RegistryTransaction &operator=(const RegistryTransaction &) = delete;

  // False when the lock could not be taken or the file could not be read or
  // moved aside; every other call then fails too.
  bool Ok() const { return ok_; }

  bool KeyExists(std::string_view path) const;
  // Creates the key with every missing parent; true when it exists afterwards.
  bool CreateKey(std::string_view path);
  std::optional<int32_t> QueryDword(std::string_view path, std::string_view name) const;
  // The key must exist (create it first), as with an open key handle.
  bool SetDword(std::string_view path, std::string_view name, int32_t value);

  // Writes the file when anything changed. True when the file now holds the
  // changes (or nothing needed writing); false leaves the old file in place.
  bool Commit();

 private:
  std::string path_;
  int lockFd_ = -1;
  bool ok_ = false;
  bool dirty_ = false;
  bool committed_ = false;
  RegistryDocument doc_;
};

}  // namespace quorel
