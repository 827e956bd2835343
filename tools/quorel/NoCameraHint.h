// What to tell a user whose machine shows no camera.
#pragma once

#include "CliSupport.h"

namespace quorel::cli {

// Prints to stderr that no camera was found, and where to look: the device
// nodes and their udev rule, or --sim for the virtual camera.
void PrintNoCameraHint(const Invocation &inv);

}  // namespace quorel::cli
