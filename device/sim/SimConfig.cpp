#include "device/sim/SimConfig.h"

#include <charconv>
#include <limits>

namespace quorel::sim {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole decimal number in [lo, hi]; no sign, no trailing characters.
bool ParseInt(std::string_view s, long lo, long hi, long *out) {
  s = Trim(s);
  if (s.empty()) return false;
  long value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  if (value < lo || value > hi) return false;
  *out = value;
  return true;
}

// Keeps the message to one printable line whatever the input held.
std::string Quote(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, 60)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
  if (s.size() > 60) out += "...";
  return "\"" + out + "\"";
}

bool ParseUnits(std::string_view value, SimConfig *c, std::string *why) {
  std::array<bool, 32> units{};
  bool any = false;
  while (true) {
    size_t comma = value.find(',');
    std::string_view item = value.substr(0, comma);
    long unit = 0;
    if (!ParseInt(item, 0, 31, &unit)) {
      *why = "units: " + Quote(item) + " is not a unit number 0..31";
      return false;
    }
    units[static_cast<size_t>(unit)] = true;
    any = true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  if (!any) {
    *why = "units: no unit given";
    return false;
  }
  c->units = units;
  return true;
}

bool ParseScene(std::string_view value, SimConfig *c, std::string *why) {
  if (value == "chart") {
    c->scene.kind = SceneKind::kChart;
    c->scene.file.clear();
  } else if (value == "counter") {
    c->scene.kind = SceneKind::kCounter;
    c->scene.file.clear();
  } else if (value.starts_with("image:") || value.starts_with("raw:")) {
    bool image = value.starts_with("image:");
    std::string_view file = value.substr(image ? 6 : 4);
    if (file.empty()) {
      *why = std::string("scene: ") + (image ? "image:" : "raw:") + " needs a file name";
      return false;
    }
    c->scene.kind = image ? SceneKind::kImage : SceneKind::kRaw;
    c->scene.file = std::string(file);
  } else {
    *why = "scene: " + Quote(value) + " is not chart, counter, image:FILE or raw:FILE";
    return false;
  }
  return true;
}

bool ApplyItem(std::string_view key, std::string_view value, SimConfig *c, std::string *why) {
  long n = 0;
  if (key == "units") return ParseUnits(value, c, why);
  if (key == "scene") return ParseScene(value, c, why);
  if (key == "fps") {
    if (value == "max") {
      c->fpsMode = FpsMode::kMax;
    } else if (value == "sensor") {
      c->fpsMode = FpsMode::kSensor;
    } else if (ParseInt(value, 1, 1000, &n)) {
      c->fpsMode = FpsMode::kFixed;
      c->fps = static_cast<int>(n);
    } else {
      *why = "fps: " + Quote(value) + " is not max, sensor or 1..1000";
      return false;
    }
    return true;
  }
  if (key == "seed") {
    if (!ParseInt(value, 0, std::numeric_limits<uint32_t>::max(), &n)) {
      *why = "seed: " + Quote(value) + " is not a number 0..4294967295";
      return false;
    }
    c->scene.seed = static_cast<uint32_t>(n);
    return true;
  }
  if (key == "noise") {
    if (!ParseInt(value, 0, 255, &n)) {
      *why = "noise: " + Quote(value) + " is not a number 0..255";
      return false;
    }
    c->scene.noise = static_cast<int>(n);
    return true;
  }
  if (key == "defects") {
    if (!ParseInt(value, 0, 100000, &n)) {
      *why = "defects: " + Quote(value) + " is not a number 0..100000";
      return false;
    }
    c->scene.defects = static_cast<int>(n);
    return true;
  }
  if (key == "trigger") {
    if (!ParseInt(value, 0, 3600000, &n)) {
      *why = "trigger: " + Quote(value) + " is not a period 0..3600000 ms";
      return false;
    }
    c->triggerPeriodMs = static_cast<int>(n);
    return true;
  }
  *why = "unknown key " + Quote(key);
  return false;
}

}  // namespace

bool ParseSimConfig(std::string_view text, SimConfig *config, std::string *error) {
  if (config == nullptr) return false;
  SimConfig parsed;
  std::string why;
  while (!text.empty()) {
    size_t semi = text.find(';');
    std::string_view item = Trim(text.substr(0, semi));
    text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
    if (item.empty()) continue;
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      why = Quote(item) + " is not key=value";
    } else if (ApplyItem(Trim(item.substr(0, eq)), Trim(item.substr(eq + 1)), &parsed, &why)) {
      continue;
    }
    if (error != nullptr) *error = "QUOREL_SIM: " + why;
    return false;
  }
  *config = std::move(parsed);
  return true;
}

}  // namespace quorel::sim
