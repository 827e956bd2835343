// Per-process isolation for tests: every test process gets its own registry
// file, shared-memory name and scratch folder, so that ctest can run test
// programs side by side.
#pragma once

#include <string>

namespace quorel::test {

// Scratch folder of this test process; removed when the process ends normally.
const std::string &ScratchDir();

// A fresh path inside ScratchDir() (the file is not created).
std::string ScratchPath(const std::string &name);

// Points QUOREL_REGISTRY at a new empty file name in the scratch folder and
// returns it, so a test can start from "no settings at all".
std::string UseFreshRegistry();

// Sets up QUOREL_REGISTRY, QUOREL_SHM_NAME and the scratch folder; called by
// the shared test main before any test runs.
void InitTestEnvironment();

}  // namespace quorel::test
