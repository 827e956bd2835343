#include "OutputPath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "CliSupport.h"

namespace quorel::cli {

std::optional<std::string> WhyNotWritable(const std::string &path) {
  if (path.empty()) return std::string(std::strerror(ENOENT));
  // O_EXCL tells a file made here (removed again) from one that was there.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    close(fd);
    unlink(path.c_str());
    return std::nullopt;
  }
  if (errno != EEXIST) return std::string(std::strerror(errno));
  fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return std::string(std::strerror(errno));
  close(fd);
  return std::nullopt;
}

void RequireWritable(const std::string &command, const std::string &path) {
  if (auto reason = WhyNotWritable(path)) {
    throw CliError(kExitFile, command + ": cannot write '" + path + "': " + *reason);
  }
}

}  // namespace quorel::cli
