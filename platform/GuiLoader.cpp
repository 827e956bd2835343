#include "platform/GuiLoader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include "platform/DebugLog.h"

namespace quorel {
namespace {

int HostLogEnabled(int level) {
  return LogEnabled(LogCategory::kGui, level) ? 1 : 0;
}

void HostLogLine(int level, const char *text) {
  if (text != nullptr) LogPrint(LogCategory::kGui, level, "%s", text);
}

const QuorelGuiHost kHost = {sizeof(QuorelGuiHost), QUOREL_GUI_INTERFACE_VERSION, HostLogEnabled, HostLogLine};

std::mutex g_mutex;
const QuorelGuiModule *g_loaded = nullptr;   // guarded by g_mutex
const QuorelGuiModule *g_testing = nullptr;  // guarded by g_mutex

// The directory of the object this code was linked into: the core library,
// or the program itself when the core is linked statically.
std::string CoreDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&CoreDirectory), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

// A table is usable when it is of our version and at least as large as the
// entries this core reads.
bool Usable(const QuorelGuiModule *table) {
  return table != nullptr && table->version == QUOREL_GUI_INTERFACE_VERSION &&
         table->size >= offsetof(QuorelGuiModule, dialogTable) && table->createWindow != nullptr &&
         table->destroyWindow != nullptr && table->windowXid != nullptr && table->queryClient != nullptr &&
         table->paint != nullptr;
}

const QuorelGuiModule *LoadLocked() {
  const std::string path = GuiModuleCandidatePath();
  if (path.empty()) {
    LogPrint(LogCategory::kGui, 1, "GUI module: the core library's location is unknown; set QUOREL_GUI_MODULE");
    return nullptr;
  }
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char *why = dlerror();
    LogPrint(LogCategory::kGui, 1, "GUI module %s not loaded: %s", path.c_str(), why != nullptr ? why : "?");
    return nullptr;
  }
  auto entry = reinterpret_cast<QuorelGuiGetModuleFn>(dlsym(handle, QUOREL_GUI_ENTRY_POINT));
  const QuorelGuiModule *table = entry != nullptr ? entry(QUOREL_GUI_INTERFACE_VERSION, &kHost) : nullptr;
  if (!Usable(table)) {
    LogPrint(LogCategory::kGui, 1, "GUI module %s refused: %s", path.c_str(),
             entry == nullptr ? "no entry point " QUOREL_GUI_ENTRY_POINT : "no table of interface version 1");
    dlclose(handle);
    return nullptr;
  }
  // The handle is kept open on purpose: windows and the display connection
  // live in the module until the process ends.
  LogPrint(LogCategory::kGui, 1, "GUI module loaded from %s", path.c_str());
  return table;
}

}  // namespace

std::string GuiModuleCandidatePath() {
  const char *override = std::getenv("QUOREL_GUI_MODULE");
  if (override != nullptr && override[0] != '\0') return override;
  const std::string directory = CoreDirectory();
  return directory.empty() ? std::string{} : directory + QUOREL_GUI_MODULE_FILE;
}

const QuorelGuiModule *LoadGuiModule() {
  try {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_testing != nullptr) return g_testing;
    if (g_loaded == nullptr) g_loaded = LoadLocked();
    return g_loaded;
  } catch (...) {
    return nullptr;
  }
}

void SetGuiModuleForTesting(const QuorelGuiModule *module) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_testing = module;
}

}  // namespace quorel
