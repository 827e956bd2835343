// Checks on the files that snap and record write, so that a path that cannot
// be written is reported with the operating system's reason (exit 4) instead
// of as a camera failure.
#pragma once

#include <optional>
#include <string>

namespace quorel::cli {

// The OS error text ("No such file or directory") when `path` cannot be
// created or written, found without leaving a new file behind; nullopt when
// it can be.
std::optional<std::string> WhyNotWritable(const std::string &path);

// Throws CliError with exit 4 ("<command>: cannot write 'PATH': REASON") when
// WhyNotWritable finds a reason.
void RequireWritable(const std::string &command, const std::string &path);

}  // namespace quorel::cli
