#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorel {

namespace {

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

void SetWhy(std::string *why, const char *text) {
  if (why != nullptr) *why = text;
}

}  // namespace

bool ReadRegularFile(const char *path, size_t limit, std::string *out, std::string *why) {
  if (path == nullptr || path[0] == '\0' || out == nullptr) {
    SetWhy(why, "no file name");
    return false;
  }
  FdCloser file{::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
  if (file.fd < 0) {
    SetWhy(why, std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) {
    SetWhy(why, std::strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    SetWhy(why, "not a regular file");
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > limit) {
    SetWhy(why, "file too large");
    return false;
  }
  out->clear();
  out->reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetWhy(why, std::strerror(errno));
      return false;
    }
    if (n == 0) return true;
    // The file may grow while it is read; the limit holds for what is read.
    if (out->size() + static_cast<size_t>(n) > limit) {
      SetWhy(why, "file too large");
      return false;
    }
    out->append(chunk, static_cast<size_t>(n));
  }
}

int OpenRegularFileForWriting(const char *path) {
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return -1;
  }
  // Checked before opening, so that no device is opened for writing at all
  // (opening some has effects of its own); checked again on the descriptor
  // for a path that changed in between.
  struct stat st {};
  if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  // Truncated only now that it is known to be a regular file; writes then
  // block as usual (a regular file never returns EAGAIN, but a full pipe
  // behind a swapped path would).
  if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, 0) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

std::FILE *OpenRegularFileStream(const char *path) {
  const int fd = OpenRegularFileForWriting(path);
  if (fd < 0) return nullptr;
  std::FILE *file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
  }
  return file;
}

}  // namespace quorel
