// quorel: command-line access to 470KX cameras through the SDK's C API.
//
//   quorel [--sim[=CONFIG]] [--device N] [--quiet] [--debug=CATEGORIES] COMMAND [ARGS...]
//
// Global options may stand before or after the command. Exit codes: 0 success,
// 2 usage error, 3 camera error, 4 file or I/O error of the tool, 130 and 143
// when SIGINT or SIGTERM ended a recording or stream (the file is finished).
#include <string>
#include <vector>

#include "CommandLine.h"

int main(int argc, char **argv) {
  return quorel::cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc));
}
