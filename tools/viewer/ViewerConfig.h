// The viewer's remembered state, kept in $XDG_CONFIG_HOME/quorel/viewer.ini
// (~/.config/quorel/viewer.ini when XDG_CONFIG_HOME is unset or not absolute):
//
//   [window]
//   width=1100
//   height=760
//   [camera]
//   unit=0
//   [view]
//   channel=gray      (blue, green, red, gray)
//   scale=linear      (linear, log)
//   zoom=fit          (fit, 100)
//
// Reading never fails: a missing file, an unreadable line or a value out of
// range leaves that setting at its default. Writing replaces the file
// atomically, so a crash never leaves half a file.
#pragma once

#include <string>

#include "Histogram.h"

namespace quorel::viewer {

struct ViewerConfig {
  static constexpr int kMinSize = 320;
  static constexpr int kMaxSize = 16384;

  int width = 1100;
  int height = 760;
  int unit = 0;  // 0..31
  HistogramChannel channel = HistogramChannel::kGray;
  HistogramScale scale = HistogramScale::kLinear;
  bool fit = true;
};

// The file's path from the given environment values (either may be null);
// empty when neither gives an absolute directory.
std::string ViewerConfigPath(const char *xdgConfigHome, const char *home);
// The same from the process environment.
std::string ViewerConfigPath();

// Parses the text of a viewer.ini.
ViewerConfig ParseViewerConfig(const std::string &text);
// The text that ParseViewerConfig reads back as `config`.
std::string FormatViewerConfig(const ViewerConfig &config);

// Reads the file at path; defaults when it is missing or unreadable.
ViewerConfig LoadViewerConfig(const std::string &path);
// Creates the directory when needed and replaces the file atomically.
// Returns false (the old file untouched) on any failure, with errno set.
bool SaveViewerConfig(const std::string &path, const ViewerConfig &config);

}  // namespace quorel::viewer
