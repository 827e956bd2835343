#include "CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "CameraSession.h"
#include "Commands.h"
#include "QuorelSdk_470KX_PLU.h"

#ifndef QUOREL_TOOL_VERSION
#define QUOREL_TOOL_VERSION "unknown"
#endif

namespace quorel::cli {
namespace {

void PrintOverview(std::FILE *out) {
  std::fprintf(out,
               "usage: quorel [--sim[=CONFIG]] [--device N] [--quiet] [--debug=CATEGORIES] COMMAND [ARGS...]\n"
               "       quorel --version | --help | help COMMAND\n"
               "\n"
               "Commands:\n");
  for (const Command &c : AllCommands()) {
    std::fprintf(out, "  %-9s %.*s\n", std::string(c.name).c_str(), static_cast<int>(c.summary.size()),
                 c.summary.data());
  }
  std::fprintf(out, "  %-9s %s\n", "help", "this overview, or 'help COMMAND' for one command");
  std::fprintf(out,
               "\n"
               "Global options:\n"
               "  --sim[=CONFIG]  use the virtual camera, configured by CONFIG (default \"units=0\")\n"
               "  --device N      device number 0..31 (camera unit; settings key Camera_NN)\n"
               "  --quiet, -q     print only results and errors\n"
               "  --debug=CATS    library debug log, as QUOREL_DEBUG (e.g. device:2,transfer:3 or all);\n"
               "                  --debug=help lists the categories and levels\n"
               "  --version       the tool's and the library's versions\n"
               "  --help, -h      this text; 'quorel help COMMAND' or 'quorel COMMAND --help' for one command\n"
               "\n"
               "Exit codes: 0 success, 2 usage error, 3 camera error, 4 file or I/O error,\n"
               "130/143 a recording or stream ended by SIGINT/SIGTERM (its file is finished).\n");
}

void PrintDebugHelp() {
  std::printf(
      "QUOREL_DEBUG and --debug take a comma-separated list of CATEGORY[:LEVEL]:\n"
      "  --debug=device:2,transfer:3   device at level 2, transfer at level 3\n"
      "  --debug=all                   every category at level 1\n"
      "  --debug=all:2,image:0         every category at 2, except image (off)\n"
      "A category without a level means level 1; later items override earlier ones.\n"
      "Levels: 0 off, 1 outcomes and failures, 2 each request, 3..9 finer detail.\n"
      "The log goes to stderr, or to the file named by QUOREL_DEBUG_FILE.\n"
      "\n"
      "Categories:\n");
  for (const std::string &c : DebugCategories()) std::printf("  %s\n", c.c_str());
}

void PrintVersion() {
  const int version = Quorel_GetDllVersion();
  std::printf("quorel %s\nlibrary version %d (0x%08X)\n", QUOREL_TOOL_VERSION, version, static_cast<unsigned>(version));
}

void PrintCommandHelp(const Command &c) {
  std::fwrite(c.help.data(), 1, c.help.size(), stdout);
}

enum class Action { kRun, kHelp, kVersion };

// Splits the global options from the command and its arguments. Global
// options are recognised anywhere before a "--".
Invocation ParseCommandLine(const std::vector<std::string> &argv, Action &action) {
  Invocation inv;
  bool optionsEnded = false;
  const size_t argc = argv.size();
  for (size_t i = 0; i < argc; ++i) {
    const std::string &a = argv[i];
    if (!optionsEnded) {
      if (a == "--") {
        optionsEnded = true;
        inv.args.push_back(a);
        continue;
      }
      if (a == "--sim") {
        inv.global.sim = true;
        continue;
      }
      if (a.rfind("--sim=", 0) == 0) {
        inv.global.sim = true;
        inv.global.simConfig = a.substr(6);
        continue;
      }
      if (a == "--quiet" || a == "-q") {
        inv.global.quiet = true;
        continue;
      }
      if (a == "--device" || a.rfind("--device=", 0) == 0) {
        std::string value;
        if (a == "--device") {
          if (i + 1 >= argc) UsageFail(inv.command, "option --device needs a value");
          value = argv[++i];
        } else {
          value = a.substr(9);
        }
        inv.global.device = static_cast<int>(RequireInteger(inv.command, "--device", value, 0, 31));
        continue;
      }
      if (a == "--debug" || a.rfind("--debug=", 0) == 0) {
        if (a == "--debug") {
          if (i + 1 >= argc) UsageFail(inv.command, "option --debug needs a value");
          inv.global.debug = argv[++i];
        } else {
          inv.global.debug = a.substr(8);
        }
        continue;
      }
      if (a == "--help" || a == "-h") {
        if (action == Action::kRun) action = Action::kHelp;
        continue;
      }
      if (a == "--version") {
        action = Action::kVersion;
        continue;
      }
    }
    if (inv.command.empty() && !optionsEnded) {
      if (a.size() > 1 && a[0] == '-') UsageFail("", "unknown option '" + a + "'");
      inv.command = a;
      continue;
    }
    inv.args.push_back(a);
  }
  return inv;
}

int Run(const std::vector<std::string> &args, std::shared_ptr<CameraConnection> camera) {
  Action action = Action::kRun;
  Invocation inv = ParseCommandLine(args, action);
  inv.camera = std::move(camera);
  if (inv.global.debug) {
    if (*inv.global.debug == "help") {
      PrintDebugHelp();
      return kExitOk;
    }
    // The library reads the variable once, at its first log call, which
    // comes after this in a process of its own.
    setenv("QUOREL_DEBUG", inv.global.debug->c_str(), 1);
  }
  if (action == Action::kVersion) {
    PrintVersion();
    return kExitOk;
  }
  if (inv.command == "help") {
    if (inv.args.empty()) {
      PrintOverview(stdout);
      return kExitOk;
    }
    const Command *c = FindCommand(inv.args[0]);
    if (c == nullptr) UsageFail("", "unknown command '" + inv.args[0] + "'");
    PrintCommandHelp(*c);
    return kExitOk;
  }
  if (inv.command.empty()) {
    if (action == Action::kHelp) {
      PrintOverview(stdout);
      return kExitOk;
    }
    UsageFail("", "no command given");
  }
  const Command *c = FindCommand(inv.command);
  if (c == nullptr) UsageFail("", "unknown command '" + inv.command + "'");
  if (action == Action::kHelp) {
    PrintCommandHelp(*c);
    return kExitOk;
  }
  return c->run(inv);
}

}  // namespace

const std::vector<std::string> &DebugCategories() {
  static const std::vector<std::string> kCategories = {"api",   "errors", "settings", "table", "device", "transfer",
                                                       "image", "output", "dialogs",  "sim",   "gui"};
  return kCategories;
}

int RunCommandLine(const std::vector<std::string> &args, std::shared_ptr<CameraConnection> camera) {
  int code = kExitFile;
  try {
    code = Run(args, std::move(camera));
  } catch (const CliError &e) {
    std::fprintf(stderr, "quorel: %s\n", e.what());
    if (e.exitCode() == kExitUsage) {
      if (e.command().empty()) {
        std::fprintf(stderr, "Try 'quorel --help'.\n");
      } else {
        std::fprintf(stderr, "Try 'quorel %s --help'.\n", e.command().c_str());
      }
    }
    code = e.exitCode();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quorel: %s\n", e.what());
  }
  std::fflush(stdout);
  std::fflush(stderr);
  return code;
}

}  // namespace quorel::cli
