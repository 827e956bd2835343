#include "CliSupport.h"

#include <cctype>
#include <charconv>

namespace quorel::cli {

void UsageFail(const std::string &command, const std::string &message) {
  throw CliError(kExitUsage, message, command);
}

std::optional<int64_t> ParseInteger(std::string_view text, int64_t min, int64_t max) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  // from_chars accepts neither a sign nor a prefix here, so "0x-5" and "--5" fail.
  if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text.front()))) return std::nullopt;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (magnitude > (uint64_t{1} << 62)) return std::nullopt;
  int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value < min || value > max) return std::nullopt;
  return value;
}

int64_t RequireInteger(const std::string &command, std::string_view what, std::string_view text, int64_t min,
                       int64_t max) {
  auto value = ParseInteger(text, min, max);
  if (!value) {
    UsageFail(command, std::string(what) + " must be an integer from " + std::to_string(min) + " to " +
                           std::to_string(max) + ", not '" + std::string(text) + "'");
  }
  return *value;
}

std::string NormaliseName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_' || c == '.') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

bool Verbose(const Invocation &inv) {
  return !inv.global.quiet;
}

}  // namespace quorel::cli
