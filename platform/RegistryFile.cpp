#include "platform/RegistryFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

namespace quorel {
namespace {

constexpr std::string_view kHivePrefix = "HKEY_CURRENT_USER\\";

std::string FullPath(std::string_view path) {
  std::string full(kHivePrefix);
  full.append(path);
  return full;
}

// A descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string ParentDir(const std::string &path) {
  std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? std::string(".") : parent;
}

// A directory, FIFO, device or socket at the settings path: refused before
// even the lock file is made beside it.
bool ExistsButNotRegular(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

void ReportNotRegular(const std::string &path) {
  std::fprintf(stderr, "quorel: settings file %s is not a regular file; left untouched, settings not kept\n",
               path.c_str());
}

int OpenLockFile(const std::string &path) {
  std::error_code ec;
  std::filesystem::create_directories(ParentDir(path), ec);
  const std::string lockPath = path + ".lock";
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    // The reason worth telling is why the lock could not be made (a
    // read-only folder), not why there was none to open read-only.
    const int createErrno = errno;
    fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) errno = createErrno;
  }
  return fd;
}

bool Flock(int fd, int op) {
  while (::flock(fd, op) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// kNotFile: the path names a directory, FIFO, device or socket. That is the
// user's object, not a damaged settings file: it is refused and never moved.
enum class ReadStatus { kOk, kMissing, kCorrupt, kNotFile, kError };

struct ReadResult {
  ReadStatus status = ReadStatus::kError;
  RegistryDocument doc;
  std::string why;  // for kCorrupt and kError
};

ReadResult ReadDocument(const std::string &path) {
  ReadResult result;
  struct stat st {};
  // Looked at before opening: opening a device node can have effects.
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    result.status = ReadStatus::kNotFile;
    result.why = "not a regular file";
    return result;
  }
  // O_NONBLOCK so that a FIFO put in the file's place cannot hang us.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno == ENOENT) {
      result.status = ReadStatus::kMissing;
    } else {
      result.why = std::strerror(errno);
    }
    return result;
  }
  if (::fstat(fd.get(), &st) != 0) {
    result.why = std::strerror(errno);
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.status = ReadStatus::kNotFile;
    result.why = "not a regular file";
    return result;
  }
  result.status = ReadStatus::kCorrupt;
  if (static_cast<uint64_t>(st.st_size) > kRegistryFileMaxBytes) {
    result.why = "file too large";
    return result;
  }
  std::string text;
  char chunk[65536];
  while (true) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.status = ReadStatus::kError;
      result.why = std::strerror(errno);
      return result;
    }
    if (n == 0) break;
    // The file may grow after fstat; the limit holds for what is really read.
    if (text.size() + static_cast<size_t>(n) > kRegistryFileMaxBytes) {
      result.why = "file too large";
      return result;
    }
    text.append(chunk, static_cast<size_t>(n));
  }
  RegistryDocument::ParseError error;
  auto doc = RegistryDocument::Parse(text, &error);
  if (!doc) {
    result.why = error.line != 0 ? "line " + std::to_string(error.line) + ": " + error.reason : error.reason;
    return result;
  }
  result.status = ReadStatus::kOk;
  result.doc = std::move(*doc);
  return result;
}

// Renames the unreadable file aside without replacing anything already there.
bool MoveAside(const std::string &path, const std::string &why) {
  char stamp[32];
  std::time_t now = std::time(nullptr);
  struct tm tmNow {};
  localtime_r(&now, &tmNow);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tmNow);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string target = path + ".corrupt-" + stamp;
    if (attempt > 0) target += "-" + std::to_string(attempt);
    int rc = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // File systems without RENAME_NOREPLACE: check first (we hold the exclusive lock).
      struct stat st {};
      if (::lstat(target.c_str(), &st) == 0) continue;
      rc = ::rename(path.c_str(), target.c_str());
    }
    if (rc == 0) {
      std::fprintf(stderr, "quorel: settings file %s is unreadable (%s); kept as %s, starting with empty settings\n",
                   path.c_str(), why.c_str(), target.c_str());
      return true;
    }
    if (errno != EEXIST) break;
  }
  std::fprintf(stderr, "quorel: settings file %s is unreadable (%s) and could not be moved aside: %s\n", path.c_str(),
               why.c_str(), std::strerror(errno));
  return false;
}

bool WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file a chain of symbolic links ends at, even when that file does not
// exist yet (a dangling link is written through, not replaced). A path that
// is no link is its own target.
std::string FollowLinks(const std::string &path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return current;
    target.resize(static_cast<size_t>(n));
    if (target.empty()) return current;
    if (target[0] == '/') {
      current = std::move(target);
    } else {
      std::string joined = ParentDir(current);
      joined += '/';
      joined += target;
      current = std::move(joined);
    }
  }
  return current;  // a loop: the writes below fail on it with ELOOP
}

// Replaces the file in one step: a temporary file in the same folder,
// fsync, rename over, fsync of the folder, so that a crash at any point
// leaves either the old or the new file. A symbolic link (a settings file
// kept with other dotfiles) is followed, so the link itself survives. An
// existing file that the user may not write (no write permission, or marked
// read-only even for root) is not replaced. 0 or the errno of the failure.
int WriteAtomically(const std::string &path, const std::string &text) {
  const std::string target = FollowLinks(path);
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (::access(target.c_str(), W_OK) != 0) return errno;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return errno;
  }

  std::string tmpl = target + ".tmp-XXXXXX";
  Fd fd(::mkostemp(tmpl.data(), O_CLOEXEC));
  if (fd.get() < 0) return errno;
  int error = 0;
  if (::fchmod(fd.get(), mode) != 0 || !WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0) error = errno;
  if (::close(fd.release()) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(tmpl.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(tmpl.c_str());
    return error;
  }
  // Make the rename itself durable.
  Fd dir(::open(ParentDir(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return 0;
}

}  // namespace

std::string RegistryFilePath() {
  const char *explicitPath = std::getenv("QUOREL_REGISTRY");
  if (explicitPath != nullptr && explicitPath[0] != '\0') return explicitPath;
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  // The XDG rules ignore relative paths.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/quorel/registry.reg";
  std::string home;
  if (const char *env = std::getenv("HOME"); env != nullptr && env[0] != '\0') {
    home = env;
  } else {
    struct passwd pw {};
    struct passwd *found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr && found->pw_dir != nullptr)
      home = found->pw_dir;
  }
  if (home.empty()) home = ".";
  return home + "/.config/quorel/registry.reg";
}

RegistrySnapshot::RegistrySnapshot() {
  const std::string path = RegistryFilePath();
  if (ExistsButNotRegular(path)) {
    ReportNotRegular(path);
    return;
  }
  Fd lock(OpenLockFile(path));
  // Reading without the lock is still safe (files are replaced whole), so a
  // folder where the lock file cannot be made only loses the coordination.
  if (lock.get() >= 0) Flock(lock.get(), LOCK_SH);
  ReadResult result = ReadDocument(path);
  if (result.status == ReadStatus::kCorrupt && lock.get() >= 0) {
    // Moving the file aside is a write: upgrade, then look again, because
    // another process may have dealt with it in between.
    Flock(lock.get(), LOCK_EX);
    result = ReadDocument(path);
    if (result.status == ReadStatus::kCorrupt) MoveAside(path, result.why);
  } else if (result.status == ReadStatus::kNotFile) {
    ReportNotRegular(path);
  } else if (result.status == ReadStatus::kError) {
    std::fprintf(stderr, "quorel: cannot read settings file %s: %s\n", path.c_str(), result.why.c_str());
  }
  if (result.status == ReadStatus::kOk) doc_ = std::move(result.doc);
}

bool RegistrySnapshot::KeyExists(std::string_view path) const {
  return doc_.KeyExists(FullPath(path));
}

std::optional<int32_t> RegistrySnapshot::QueryDword(std::string_view path, std::string_view name) const {
  auto value = doc_.QueryDword(FullPath(path), name);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

RegistryTransaction::RegistryTransaction() : path_(RegistryFilePath()) {
  if (ExistsButNotRegular(path_)) {
    ReportNotRegular(path_);
    return;
  }
  lockFd_ = OpenLockFile(path_);
  if (lockFd_ < 0 || !Flock(lockFd_, LOCK_EX)) {
    std::fprintf(stderr, "quorel: cannot lock settings file %s.lock: %s\n", path_.c_str(), std::strerror(errno));
    return;
  }
  ReadResult result = ReadDocument(path_);
  switch (result.status) {
    case ReadStatus::kOk:
      doc_ = std::move(result.doc);
      ok_ = true;
      break;
    case ReadStatus::kMissing:
      ok_ = true;
      break;
    case ReadStatus::kCorrupt:
      ok_ = MoveAside(path_, result.why);
      break;
    case ReadStatus::kNotFile:
      ReportNotRegular(path_);
      break;
    case ReadStatus::kError:
      std::fprintf(stderr, "quorel: cannot read settings file %s: %s\n", path_.c_str(), result.why.c_str());
      break;
  }
}

RegistryTransaction::~RegistryTransaction() {
  if (lockFd_ >= 0) {
    ::flock(lockFd_, LOCK_UN);
    ::close(lockFd_);
  }
}

bool RegistryTransaction::KeyExists(std::string_view path) const {
  return ok_ && doc_.KeyExists(FullPath(path));
}

bool RegistryTransaction::CreateKey(std::string_view path) {
  if (!ok_) return false;
  const std::string full = FullPath(path);
  if (doc_.KeyExists(full)) return true;
  if (!doc_.CreateKey(full)) return false;
  dirty_ = true;
  return true;
}

std::optional<int32_t> RegistryTransaction::QueryDword(std::string_view path, std::string_view name) const {
  if (!ok_) return std::nullopt;
  auto value = doc_.QueryDword(FullPath(path), name);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

bool RegistryTransaction::SetDword(std::string_view path, std::string_view name, int32_t value) {
  if (!ok_) return false;
  const std::string full = FullPath(path);
  if (!doc_.KeyExists(full)) return false;
  // A key implied by a child section has no section of its own yet.
  if (!doc_.SetDword(full, name, static_cast<uint32_t>(value))) {
    if (!doc_.CreateKey(full) || !doc_.SetDword(full, name, static_cast<uint32_t>(value))) return false;
  }
  dirty_ = true;
  return true;
}

bool RegistryTransaction::Commit() {
  if (!ok_ || committed_) return false;
  committed_ = true;
  if (!dirty_) return true;
  if (const int error = WriteAtomically(path_, doc_.Serialize()); error != 0) {
    std::fprintf(stderr, "quorel: cannot write settings file %s: %s\n", path_.c_str(), std::strerror(error));
    return false;
  }
  return true;
}

}  // namespace quorel
