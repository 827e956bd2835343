// The tool's command line: global options, the command table lookup, help,
// and the translation of errors into messages and exit codes. main() is a
// thin shell around RunCommandLine, so that tests can run commands in their
// own process.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CliSupport.h"

namespace quorel::cli {

// Runs one command line (the arguments after the program name) as the quorel
// program does: normal output on stdout, "quorel: ..." messages on stderr, and
// the exit code returned. A given camera is used instead of opening one (the
// --sim option is then ignored; --device still applies).
int RunCommandLine(const std::vector<std::string> &args, std::shared_ptr<CameraConnection> camera = nullptr);

// The debug-log categories of QUOREL_DEBUG, in the library's order.
const std::vector<std::string> &DebugCategories();

}  // namespace quorel::cli
