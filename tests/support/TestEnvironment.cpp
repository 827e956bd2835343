#include "support/TestEnvironment.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace quorel::test {
namespace {

std::string g_scratch;
std::string g_shmName;
std::atomic<int> g_counter{0};

struct Cleanup {
  ~Cleanup() {
    if (!g_shmName.empty()) shm_unlink(g_shmName.c_str());
    if (!g_scratch.empty() && std::getenv("QUOREL_KEEP_SCRATCH") == nullptr) {
      std::error_code ec;
      std::filesystem::remove_all(g_scratch, ec);
    }
  }
} g_cleanup;

}  // namespace

const std::string &ScratchDir() {
  return g_scratch;
}

std::string ScratchPath(const std::string &name) {
  return g_scratch + "/" + std::to_string(g_counter.fetch_add(1)) + "_" + name;
}

std::string UseFreshRegistry() {
  std::string path = ScratchPath("registry.reg");
  setenv("QUOREL_REGISTRY", path.c_str(), 1);
  return path;
}

void InitTestEnvironment() {
  std::string base = std::filesystem::temp_directory_path().string();
  char tmpl[4096];
  std::snprintf(tmpl, sizeof tmpl, "%s/quorel-test-XXXXXX", base.c_str());
  if (mkdtemp(tmpl) != nullptr) g_scratch = tmpl;
  g_shmName = "/quorel_test_" + std::to_string(getpid());
  setenv("QUOREL_SHM_NAME", g_shmName.c_str(), 1);
  UseFreshRegistry();
  // The virtual camera is the only camera tests ever talk to.
  if (std::getenv("QUOREL_DRIVER") == nullptr) setenv("QUOREL_DRIVER", "sim", 1);
}

}  // namespace quorel::test
