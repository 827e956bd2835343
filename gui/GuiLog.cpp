#include "gui/GuiLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace quorel::gui {
namespace {

// Written once while the core loads the module, before any window exists.
QuorelGuiHost g_host{};
std::atomic<bool> g_hostSet{false};

}  // namespace

void SetLogHost(const QuorelGuiHost *host) {
  if (host == nullptr || host->size < sizeof(QuorelGuiHost) || host->logEnabled == nullptr ||
      host->logLine == nullptr) {
    return;
  }
  if (g_hostSet.load(std::memory_order_acquire)) return;
  std::memcpy(&g_host, host, sizeof g_host);
  g_hostSet.store(true, std::memory_order_release);
}

bool GuiLogEnabled(int level) {
  return g_hostSet.load(std::memory_order_acquire) && g_host.logEnabled(level) != 0;
}

void GuiLog(int level, const char *fmt, ...) {
  if (!GuiLogEnabled(level)) return;
  char line[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  g_host.logLine(level, line);
}

}  // namespace quorel::gui
