#include "ViewerScript.h"

#include <sstream>

#include "QuorelSdk_470KX_PLU.h"

namespace quorel::viewer {
namespace {

struct CommandShape {
  const char *name;
  int args;
};

constexpr CommandShape kCommands[] = {
    {"wait-frames", 1}, {"start", 0},      {"stop", 0},     {"snapshot", 0}, {"trigger", 0},   {"fire-trigger", 0},
    {"zoom", 1},        {"mode", 1},       {"exposure", 1}, {"channel", 1},  {"scale", 1},     {"resize", 2},
    {"key", 1},         {"dialog", 2},     {"save", 2},     {"record", 2},   {"unplug", 1},    {"plug", 1},
    {"wait-error", 1},  {"screenshot", 1}, {"report", 1},   {"quit", 0},     {"subsample", 1}, {"refresh", 0},
};

}  // namespace

bool ParseViewerScript(const std::string &text, std::vector<ScriptCommand> &out, std::string *error) {
  out.clear();
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    ScriptCommand cmd;
    cmd.line = number;
    if (!(words >> cmd.name)) continue;
    for (std::string w; words >> w;) cmd.args.push_back(w);
    const CommandShape *shape = nullptr;
    for (const CommandShape &s : kCommands) {
      if (cmd.name == s.name) shape = &s;
    }
    if (shape == nullptr || static_cast<int>(cmd.args.size()) != shape->args) {
      if (error != nullptr) {
        *error = "line " + std::to_string(number) + ": " +
                 (shape == nullptr ? "unknown command '" + cmd.name + "'"
                                   : "'" + cmd.name + "' takes " + std::to_string(shape->args) + " argument(s)");
      }
      out.clear();
      return false;
    }
    out.push_back(std::move(cmd));
  }
  return true;
}

int SaveTypeFromName(const std::string &name) {
  if (name == "bmp") return QUOREL_FILE_BMP;
  if (name == "raw") return QUOREL_FILE_RAW;
  if (name == "jpeg100") return QUOREL_FILE_JPEG_100;
  if (name == "jpeg70") return QUOREL_FILE_JPEG_70;
  if (name == "jpeg20") return QUOREL_FILE_JPEG_20;
  if (name == "png") return QUOREL_FILE_PNG;
  if (name == "tiff") return QUOREL_FILE_TIFF;
  return -1;
}

}  // namespace quorel::viewer
