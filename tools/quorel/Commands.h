// The table of the tool's commands (Commands.cpp). Each command lives in its
// own file and returns the exit code; failures are thrown as CliError.
#pragma once

#include <span>
#include <string_view>

#include "CliSupport.h"

namespace quorel::cli {

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for "quorel --help"
  std::string_view help;     // the full text of "quorel CMD --help"
  int (*run)(const Invocation &inv);
};

int RunList(const Invocation &inv);
int RunInfo(const Invocation &inv);
int RunSnap(const Invocation &inv);
int RunRecord(const Invocation &inv);
int RunStream(const Invocation &inv);
int RunReg(const Invocation &inv);
int RunSrom(const Invocation &inv);
int RunIo(const Invocation &inv);
int RunSettings(const Invocation &inv);
int RunConfig(const Invocation &inv);
int RunDialog(const Invocation &inv);
int RunBench(const Invocation &inv);
int RunRepair(const Invocation &inv);

extern const char kListHelp[];
extern const char kInfoHelp[];
extern const char kSnapHelp[];
extern const char kRecordHelp[];
extern const char kStreamHelp[];
extern const char kRegHelp[];
extern const char kSromHelp[];
extern const char kIoHelp[];
extern const char kSettingsHelp[];
extern const char kConfigHelp[];
extern const char kDialogHelp[];
extern const char kBenchHelp[];
extern const char kRepairHelp[];

std::span<const Command> AllCommands();
const Command *FindCommand(std::string_view name);

}  // namespace quorel::cli
