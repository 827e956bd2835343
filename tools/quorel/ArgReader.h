// Reading a command's own arguments: options with values, flags and
// positional arguments, with "--" ending the options.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CliSupport.h"

namespace quorel::cli {

// Walks a command's arguments. Options take their value as "--name=V" or as
// the next argument; "--" ends the options.
class ArgReader {
 public:
  explicit ArgReader(const Invocation &inv) : command_(inv.command), args_(inv.args) {}

  bool Done() const {
    SkipTerminator();
    return pos_ >= args_.size();
  }
  // True when the current argument is an option (and options have not ended).
  bool AtOption() const;
  // When the current argument is the option `name`, consumes it (and its value)
  // and returns the value.
  std::optional<std::string> TakeValue(std::string_view name);
  // The same, storing the value in `value`: lets a chain of options share one
  // variable instead of a fresh one per branch.
  bool TakeValue(std::string_view name, std::string &value);
  // When the current argument is the flag `name`, consumes it.
  bool TakeFlag(std::string_view name);
  // The current argument as a positional one, consumed.
  std::string TakePositional();
  // Usage error for the current (unrecognised) option.
  [[noreturn]] void RejectOption() const;

 private:
  // Consumes a "--" that ends the options; the reader's position is not part
  // of its observable value, hence mutable.
  void SkipTerminator() const;

  std::string command_;
  const std::vector<std::string> &args_;
  mutable size_t pos_ = 0;
  mutable bool optionsEnded_ = false;
};

// The positional arguments, after checking that no option is
// present. Used by commands without options of their own.
std::vector<std::string> PositionalOnly(const Invocation &inv);

}  // namespace quorel::cli
