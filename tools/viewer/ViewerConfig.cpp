#include "ViewerConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>

namespace quorel::viewer {
namespace {

std::string Trim(const std::string &s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool ParseInt(const std::string &s, int lo, int hi, int &out) {
  int v = 0;
  const char *end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, v);
  if (ec != std::errc() || p != end || v < lo || v > hi) return false;
  out = v;
  return true;
}

const char *ChannelName(HistogramChannel c) {
  switch (c) {
    case HistogramChannel::kBlue:
      return "blue";
    case HistogramChannel::kGreen:
      return "green";
    case HistogramChannel::kRed:
      return "red";
    case HistogramChannel::kGray:
      break;
  }
  return "gray";
}

void Apply(ViewerConfig &c, const std::string &section, const std::string &key, const std::string &value) {
  if (section == "window") {
    if (key == "width") ParseInt(value, ViewerConfig::kMinSize, ViewerConfig::kMaxSize, c.width);
    if (key == "height") ParseInt(value, ViewerConfig::kMinSize, ViewerConfig::kMaxSize, c.height);
  } else if (section == "camera") {
    if (key == "unit") ParseInt(value, 0, 31, c.unit);
  } else if (section == "view") {
    if (key == "channel") {
      for (HistogramChannel ch :
           {HistogramChannel::kBlue, HistogramChannel::kGreen, HistogramChannel::kRed, HistogramChannel::kGray}) {
        if (value == ChannelName(ch)) c.channel = ch;
      }
    } else if (key == "scale") {
      if (value == "linear") c.scale = HistogramScale::kLinear;
      if (value == "log") c.scale = HistogramScale::kLog;
    } else if (key == "zoom") {
      if (value == "fit") c.fit = true;
      if (value == "100") c.fit = false;
    }
  }
}

bool WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool MakeDirectories(const std::string &dir) {
  if (dir.empty()) return true;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string ViewerConfigPath(const char *xdgConfigHome, const char *home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/quorel/viewer.ini";
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config/quorel/viewer.ini";
  return {};
}

std::string ViewerConfigPath() {
  return ViewerConfigPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

ViewerConfig ParseViewerConfig(const std::string &text) {
  ViewerConfig config;
  std::istringstream in(text);
  std::string line;
  std::string section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[') {
      section = line.back() == ']' ? Trim(line.substr(1, line.size() - 2)) : std::string();
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    Apply(config, section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
  }
  return config;
}

std::string FormatViewerConfig(const ViewerConfig &c) {
  std::ostringstream out;
  out << "[window]\nwidth=" << c.width << "\nheight=" << c.height << "\n[camera]\nunit=" << c.unit
      << "\n[view]\nchannel=" << ChannelName(c.channel)
      << "\nscale=" << (c.scale == HistogramScale::kLog ? "log" : "linear") << "\nzoom=" << (c.fit ? "fit" : "100")
      << "\n";
  return out.str();
}

ViewerConfig LoadViewerConfig(const std::string &path) {
  std::ifstream in(path);
  if (!in) return ViewerConfig{};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseViewerConfig(text.str());
}

bool SaveViewerConfig(const std::string &path, const ViewerConfig &config) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && !MakeDirectories(path.substr(0, slash))) return false;
  const std::string temp = path + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, FormatViewerConfig(config)) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  if (::close(fd) != 0 || !written) {
    ::unlink(temp.c_str());
    errno = written ? errno : savedErrno;
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int renameErrno = errno;
    ::unlink(temp.c_str());
    errno = renameErrno;
    return false;
  }
  return true;
}

}  // namespace quorel::viewer
