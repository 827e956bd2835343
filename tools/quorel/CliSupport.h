// Shared pieces of the quorel command-line tool: exit codes, the error that
// carries one of them up to main, number parsing and option reading.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorel::cli {

class CameraConnection;

// Exit codes of the tool; scripts rely on these numbers.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 2,   // bad command line
  kExitCamera = 3,  // the camera library reported a failure
  kExitFile = 4,    // the tool's own file or I/O operation failed
  // 128 + the signal that ended record or stream early (after finishing the file)
  kExitSigInt = 130,
  kExitSigTerm = 143,
};

// Thrown by commands and caught in main, which prints "quorel: <message>" and
// exits with the code. For usage errors main adds a pointer to the help.
class CliError : public std::runtime_error {
 public:
  CliError(int exitCode, const std::string &message, std::string command = {})
      : std::runtime_error(message), exitCode_(exitCode), command_(std::move(command)) {}
  int exitCode() const { return exitCode_; }
  const std::string &command() const { return command_; }

 private:
  int exitCode_;
  std::string command_;
};

[[noreturn]] void UsageFail(const std::string &command, const std::string &message);

// Options that apply to every command.
struct GlobalOptions {
  bool sim = false;
  std::string simConfig = "units=0";
  std::optional<int> device;  // device number (camera unit / settings key)
  bool quiet = false;
  std::optional<std::string> debug;  // --debug=CATEGORIES, as QUOREL_DEBUG
};

// What a command receives: the global options and its own arguments.
struct Invocation {
  std::string command;
  GlobalOptions global;
  std::vector<std::string> args;
  // An open camera to use instead of opening one (see CameraSession.h).
  std::shared_ptr<CameraConnection> camera;
};

// Whole-string integer in decimal or with a 0x prefix, optionally negative;
// nullopt for anything else or a value outside [min, max].
std::optional<int64_t> ParseInteger(std::string_view text, int64_t min, int64_t max);

// ParseInteger, or a usage error naming `what` and the accepted range.
int64_t RequireInteger(const std::string &command, std::string_view what, std::string_view text, int64_t min,
                       int64_t max);

// Lower-case copy without '-', '_' and '.', for forgiving name matching.
std::string NormaliseName(std::string_view name);

// Normal output, suppressed by --quiet.
bool Verbose(const Invocation &inv);

}  // namespace quorel::cli
