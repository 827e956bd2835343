// quorel: command-line access to 470KX cameras through the SDK's C API.
//
//   quorel [--sim[=CONFIG]] [--device N] [--quiet] COMMAND [ARGS...]
//
// Global options may stand before or after the command. Exit codes: 0 success,
// 2 usage error, 3 camera error, 4 file or I/O error of the tool.
#include <cstdio>
#include <exception>
#include <string>

#include "CliSupport.h"
#include "Commands.h"

namespace quorel::cli {
namespace {

void PrintOverview(std::FILE *out) {
  std::fprintf(out,
               "usage: quorel [--sim[=CONFIG]] [--device N] [--quiet] COMMAND [ARGS...]\n"
               "\n"
               "Commands:\n");
  for (const Command &c : AllCommands()) {
    std::fprintf(out, "  %-9s %.*s\n", std::string(c.name).c_str(), static_cast<int>(c.summary.size()),
                 c.summary.data());
  }
  std::fprintf(out,
               "\n"
               "Global options:\n"
               "  --sim[=CONFIG]  use the virtual camera, configured by CONFIG (default \"units=0\")\n"
               "  --device N      device number 0..31 (camera unit; settings key Camera_NN)\n"
               "  --quiet, -q     print only results and errors\n"
               "  --help, -h      this text; 'quorel help COMMAND' or 'quorel COMMAND --help' for one command\n"
               "\n"
               "Exit codes: 0 success, 2 usage error, 3 camera error, 4 file or I/O error.\n");
}

void PrintCommandHelp(const Command &c) {
  std::fwrite(c.help.data(), 1, c.help.size(), stdout);
}

// Splits the global options from the command and its arguments. Global
// options are recognised anywhere before a "--".
Invocation ParseCommandLine(int argc, char **argv, bool &wantHelp) {
  Invocation inv;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
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
      if (a == "--help" || a == "-h") {
        wantHelp = true;
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

int Run(int argc, char **argv) {
  bool wantHelp = false;
  Invocation inv = ParseCommandLine(argc, argv, wantHelp);
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
    if (wantHelp) {
      PrintOverview(stdout);
      return kExitOk;
    }
    UsageFail("", "no command given");
  }
  const Command *c = FindCommand(inv.command);
  if (c == nullptr) UsageFail("", "unknown command '" + inv.command + "'");
  if (wantHelp) {
    PrintCommandHelp(*c);
    return kExitOk;
  }
  return c->run(inv);
}

}  // namespace

const Command kCommands[] = {
    {"list", "list the cameras present", kListHelp, RunList},
    {"info", "library version, camera identity, ranges and current settings", kInfoHelp, RunInfo},
    {"snap", "take one frame and save it as BMP, raw, JPEG, PNG or TIFF", kSnapHelp, RunSnap},
    {"record", "record an AVI file of a given duration", kRecordHelp, RunRecord},
    {"stream", "run live preview and count frames and rate", kStreamHelp, RunStream},
    {"reg", "read or write a sensor register", kRegHelp, RunReg},
    {"srom", "read or write a serial-ROM identifier byte", kSromHelp, RunSrom},
    {"io", "read or write the user I/O port", kIoHelp, RunIo},
    {"settings", "show or change the stored camera settings and size presets", kSettingsHelp, RunSettings},
    {"config", "load a configuration file into the camera", kConfigHelp, RunConfig},
    {"dialog", "open the camera, image filter or analog gain settings dialog", kDialogHelp, RunDialog},
};

std::span<const Command> AllCommands() {
  return kCommands;
}

const Command *FindCommand(std::string_view name) {
  for (const Command &c : kCommands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace quorel::cli

int main(int argc, char **argv) {
  using namespace quorel::cli;
  try {
    return Run(argc, argv);
  } catch (const CliError &e) {
    std::fprintf(stderr, "quorel: %s\n", e.what());
    if (e.exitCode() == kExitUsage) {
      if (e.command().empty()) {
        std::fprintf(stderr, "Try 'quorel --help'.\n");
      } else {
        std::fprintf(stderr, "Try 'quorel %s --help'.\n", e.command().c_str());
      }
    }
    return e.exitCode();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quorel: %s\n", e.what());
    return kExitFile;
  }
}
