#include "Commands.h"

namespace quorel::cli {
namespace {

// One line per command, in the order "quorel --help" lists them. A new
// command adds its line here and its Run function and help text to
// Commands.h.
const Command kCommands[] = {
    {"list", "list the cameras present", kListHelp, RunList},
    {"info", "library version, camera identity, ranges and current settings", kInfoHelp, RunInfo},
    {"snap", "take frames and save them as BMP, raw, JPEG, PNG or TIFF", kSnapHelp, RunSnap},
    {"record", "record an AVI file of a given duration", kRecordHelp, RunRecord},
    {"stream", "run live preview and report frames, rate, drops and errors", kStreamHelp, RunStream},
    {"bench", "sustained frame rate and time per frame for each colour mode", kBenchHelp, RunBench},
    {"reg", "read or write a sensor register", kRegHelp, RunReg},
    {"srom", "read or write a serial-ROM identifier byte", kSromHelp, RunSrom},
    {"io", "read or write the user I/O port", kIoHelp, RunIo},
    {"settings", "show or change the stored camera settings and size presets", kSettingsHelp, RunSettings},
    {"config", "load a configuration file into the camera", kConfigHelp, RunConfig},
    {"repair", "rebuild an AVI recording whose program ended before finishing it", kRepairHelp, RunRepair},
    {"dialog", "open the camera, image filter or analog gain settings dialog", kDialogHelp, RunDialog},
};

}  // namespace

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
