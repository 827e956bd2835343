// quorel-soak: the long-running stress program, on the public API and the
// virtual camera only.
//
//   quorel-soak [--seconds N] [--units K] [--threads T] [--report S] [--warmup S] [--stall S]
//     streams every colour mode in turn on K units (default 2) with faults
//     injected at random while T threads (default 8) call the other exports
//     on the same and on released handles; prints frames, errors by code,
//     resident memory, descriptors and threads every S seconds (default 10)
//     and at the end. Exit 0 clean, 1 no frames or descriptors left open,
//     2 set-up failed, 3 a call stalled for the --stall time (default 120 s).
//
//   quorel-soak --scale [--processes P] [--units K] [--frames F] [--seconds N]
//     K units (default 8) streaming at once in this process, or P processes of
//     8 units each sharing the cross-process table (P = 4: all 32 units),
//     until every unit has delivered F frames (default 20) checked to be
//     whole and its own; N seconds (default 120) is the deadline.
//
// Without QUOREL_REGISTRY the soak keeps the settings it scrambles in a file
// of its own, never in the user's.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ScaleRun.h"
#include "SoakRun.h"

namespace {

bool Has(int argc, char **argv, const char *name) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return true;
  }
  return false;
}

int Arg(int argc, char **argv, const char *name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  }
  return fallback;
}

}  // namespace

int main(int argc, char **argv) {
  if (Has(argc, argv, "--help")) {
    std::printf(
        "usage: quorel-soak [--seconds N] [--units K] [--threads T] [--report S] [--warmup S] [--stall S]\n"
        "       quorel-soak --scale [--processes P] [--units K] [--frames F] [--seconds N]\n");
    return 0;
  }
  if (Has(argc, argv, "--scale")) {
    soak::ScaleOptions o;
    o.processes = std::clamp(Arg(argc, argv, "--processes", 1), 1, 4);
    o.units = std::clamp(Arg(argc, argv, "--units", 8), 1, 8);
    o.firstUnit = std::clamp(Arg(argc, argv, "--first-unit", 0), 0, 31 - o.units + 1);
    o.frames = std::max(1, Arg(argc, argv, "--frames", 20));
    o.seconds = std::max(1, Arg(argc, argv, "--seconds", 120));
    o.readyFd = Arg(argc, argv, "--ready-fd", -1);
    o.holdFd = Arg(argc, argv, "--hold-fd", -1);
    return soak::RunScale(o);
  }
  std::string registry;
  if (std::getenv("QUOREL_REGISTRY") == nullptr) {
    registry = "/tmp/quorel-soak-" + std::to_string(getpid()) + ".reg";
    setenv("QUOREL_REGISTRY", registry.c_str(), 1);
  }
  soak::SoakOptions o;
  o.seconds = std::max(1, Arg(argc, argv, "--seconds", o.seconds));
  o.units = std::clamp(Arg(argc, argv, "--units", o.units), 1, 8);
  o.threads = std::max(1, Arg(argc, argv, "--threads", o.threads));
  o.reportEvery = std::max(1, Arg(argc, argv, "--report", o.reportEvery));
  o.warmupSeconds = std::max(0, Arg(argc, argv, "--warmup", o.warmupSeconds));
  o.stallSeconds = std::max(5, Arg(argc, argv, "--stall", o.stallSeconds));
  const int status = soak::RunSoak(o);
  if (!registry.empty()) {
    std::remove(registry.c_str());
    std::remove((registry + ".lock").c_str());
  }
  return status;
}
