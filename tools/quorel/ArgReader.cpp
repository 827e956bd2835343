#include "ArgReader.h"

#include <cstdint>
#include <utility>

namespace quorel::cli {

void ArgReader::SkipTerminator() const {
  if (!optionsEnded_ && pos_ < args_.size() && args_[pos_] == "--") {
    optionsEnded_ = true;
    ++pos_;
  }
}

bool ArgReader::AtOption() const {
  if (Done() || optionsEnded_) return false;
  const std::string &a = args_[pos_];
  return a.size() > 1 && a[0] == '-' && !ParseInteger(a, INT64_MIN / 2, INT64_MAX / 2);
}

std::optional<std::string> ArgReader::TakeValue(std::string_view name) {
  if (!AtOption()) return std::nullopt;
  const std::string &a = args_[pos_];
  if (a == name) {
    if (pos_ + 1 >= args_.size()) UsageFail(command_, "option " + std::string(name) + " needs a value");
    pos_ += 2;
    return args_[pos_ - 1];
  }
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    ++pos_;
    return a.substr(name.size() + 1);
  }
  return std::nullopt;
}

bool ArgReader::TakeValue(std::string_view name, std::string &value) {
  std::optional<std::string> taken = TakeValue(name);
  if (!taken) return false;
  value = std::move(*taken);
  return true;
}

bool ArgReader::TakeFlag(std::string_view name) {
  if (!AtOption() || args_[pos_] != name) return false;
  ++pos_;
  return true;
}

std::string ArgReader::TakePositional() {
  if (Done()) return {};
  return args_[pos_++];
}

void ArgReader::RejectOption() const {
  UsageFail(command_, "unknown option '" + args_[pos_] + "' for " + command_);
}

std::vector<std::string> PositionalOnly(const Invocation &inv) {
  ArgReader reader(inv);
  std::vector<std::string> out;
  while (!reader.Done()) {
    if (reader.AtOption()) reader.RejectOption();
    out.push_back(reader.TakePositional());
  }
  return out;
}

}  // namespace quorel::cli
