// The quorel tool's argument reader: a command's options with values, flags,
// "--" and positional arguments, and the integer and name parsing behind
// them. The input is the argument list, split at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ArgReader.h"
#include "CliSupport.h"

using quorel::cli::ArgReader;
using quorel::cli::CliError;
using quorel::cli::Invocation;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Invocation inv;
  inv.command = "fuzz";
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      inv.args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  inv.args.push_back(current);

  try {
    ArgReader r(inv);
    size_t rounds = 0;
    while (!r.Done()) {
      if (++rounds > inv.args.size() + 1) std::abort();  // every step must consume
      if (auto v = r.TakeValue("--duration")) {
        quorel::cli::RequireInteger(inv.command, "--duration", *v, 1, 3600000);
      } else if (auto w = r.TakeValue("--format")) {
        quorel::cli::NormaliseName(*w);
      } else if (r.TakeFlag("--raw")) {
      } else if (r.AtOption()) {
        r.RejectOption();
      } else {
        const std::string p = r.TakePositional();
        if (auto n = quorel::cli::ParseInteger(p, INT64_MIN / 2, INT64_MAX / 2)) {
          if (*n < INT64_MIN / 2 || *n > INT64_MAX / 2) std::abort();
        }
      }
    }
  } catch (const CliError &e) {
    if (e.exitCode() != quorel::cli::kExitUsage) std::abort();
  }
  try {
    quorel::cli::PositionalOnly(inv);
  } catch (const CliError &) {
  }
  return 0;
}
