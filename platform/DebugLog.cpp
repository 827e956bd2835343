#include "platform/DebugLog.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/ErrorCodes.h"

namespace quorel {
namespace {

constexpr const char *kCategoryNames[kLogCategoryCount] = {
    "api", "errors", "settings", "table", "device", "transfer", "image", "output", "dialogs", "sim", "gui",
};

// Levels of all categories packed four bits each; bit 63 says the
// configuration has been read. One relaxed load answers LogEnabled, because a
// stale answer only drops or adds a diagnostic line.
constexpr uint64_t kConfiguredBit = uint64_t{1} << 63;
std::atomic<uint64_t> g_levels{0};

int LevelOf(uint64_t levels, int category) {
  return static_cast<int>((levels >> (4 * category)) & 0xFu);
}

uint64_t WithLevel(uint64_t levels, int category, int level) {
  const uint64_t mask = uint64_t{0xF} << (4 * category);
  return (levels & ~mask) | (static_cast<uint64_t>(level) << (4 * category));
}

// The output descriptor, and the configuration change itself, are guarded by
// this mutex; lines are formatted outside it.
std::mutex g_outputMutex;
int g_outputFd = STDERR_FILENO;  // guarded by g_outputMutex
bool g_ownsFd = false;           // guarded by g_outputMutex

void WriteAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void WriteLine(const char *line, size_t size) {
  std::lock_guard<std::mutex> lock(g_outputMutex);
  WriteAll(g_outputFd, line, size);
}

// What a selection held that is not a category with a level.
struct SelectionProblems {
  std::string unknown;    // names that are no category, comma-separated
  std::string malformed;  // items whose level is not a number, comma-separated
};

void Append(std::string &list, std::string_view item) {
  list.append(list.empty() ? "" : ",").append(item);
}

// Parses the QUOREL_DEBUG syntax; what it cannot use lands in `problems`.
uint64_t ParseSelection(std::string_view selection, SelectionProblems &problems) {
  uint64_t levels = 0;
  while (!selection.empty()) {
    const size_t comma = selection.find(',');
    std::string_view item = selection.substr(0, comma);
    selection = comma == std::string_view::npos ? std::string_view{} : selection.substr(comma + 1);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (item.empty()) continue;

    int level = 1;
    std::string_view name = item;
    const size_t colon = item.find(':');
    if (colon != std::string_view::npos) {
      name = item.substr(0, colon);
      const std::string_view digits = item.substr(colon + 1);
      bool valid = !digits.empty();
      long value = 0;
      for (const char c : digits) {
        if (c < '0' || c > '9') {
          valid = false;
          break;
        }
        if (value < kLogMaxLevel) value = value * 10 + (c - '0');
      }
      if (!valid) {
        Append(problems.malformed, item);
        continue;
      }
      level = value > kLogMaxLevel ? kLogMaxLevel : static_cast<int>(value);
    }

    if (name == "all") {
      for (int c = 0; c < kLogCategoryCount; ++c) levels = WithLevel(levels, c, level);
      continue;
    }
    bool found = false;
    for (int c = 0; c < kLogCategoryCount; ++c) {
      if (name == kCategoryNames[c]) {
        levels = WithLevel(levels, c, level);
        found = true;
        break;
      }
    }
    if (!found) Append(problems.unknown, name);
  }
  return levels;
}

// Says on stderr, once per process for each distinct complaint, what a
// selection held that was ignored: a typo in QUOREL_DEBUG should not leave
// someone waiting for lines that never come.
void WarnAboutSelection(const SelectionProblems &problems) {
  static std::mutex warnedMutex;
  static std::string warned;  // complaints already made, one per line; guarded by warnedMutex
  std::string lines[2];
  if (!problems.unknown.empty()) {
    lines[0] = "quorel: QUOREL_DEBUG: unknown category \"" + problems.unknown + "\" ignored; categories are";
    for (const char *name : kCategoryNames) lines[0].append(" ").append(name);
    lines[0] += ", or all\n";
  }
  if (!problems.malformed.empty()) {
    lines[1] = "quorel: QUOREL_DEBUG: malformed entry \"" + problems.malformed +
               "\" ignored; write CATEGORY or CATEGORY:LEVEL with LEVEL 0 to 9\n";
  }
  std::string text;
  std::lock_guard<std::mutex> lock(warnedMutex);
  for (const std::string &line : lines) {
    if (line.empty() || warned.find(line) != std::string::npos) continue;
    warned += line;
    text += line;
  }
  WriteAll(STDERR_FILENO, text.data(), text.size());
}

void ApplyConfiguration(const char *selection, const char *file) {
  SelectionProblems problems;
  const uint64_t levels = (selection == nullptr) ? 0 : ParseSelection(selection, problems);
  {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    if (g_ownsFd) close(g_outputFd);
    g_outputFd = STDERR_FILENO;
    g_ownsFd = false;
    if (levels != 0 && file != nullptr && file[0] != '\0') {
      // O_NONBLOCK: a FIFO with no reader fails at once (ENXIO) instead of
      // holding up the first caller for ever; the log then goes to stderr.
      // One with a reader (or a terminal, or /dev/stderr) is a fine log, and
      // is written blocking like any other.
      int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
      if (fd >= 0 && fcntl(fd, F_SETFL, O_APPEND) != 0) {
        close(fd);
        fd = -1;
      }
      if (fd >= 0) {
        g_outputFd = fd;
        g_ownsFd = true;
      }
    }
    g_levels.store(levels | kConfiguredBit, std::memory_order_release);
  }
  WarnAboutSelection(problems);
}

std::once_flag g_environmentOnce;

uint64_t CurrentLevels() {
  uint64_t levels = g_levels.load(std::memory_order_relaxed);
  if ((levels & kConfiguredBit) == 0) {
    std::call_once(g_environmentOnce, [] {
      // A LogConfigure call may have come first; it then wins.
      if ((g_levels.load(std::memory_order_acquire) & kConfiguredBit) == 0) {
        ApplyConfiguration(std::getenv("QUOREL_DEBUG"), std::getenv("QUOREL_DEBUG_FILE"));
      }
    });
    levels = g_levels.load(std::memory_order_acquire);
  }
  return levels;
}

}  // namespace

const char *LogCategoryName(LogCategory category) {
  const int c = static_cast<int>(category);
  return (c >= 0 && c < kLogCategoryCount) ? kCategoryNames[c] : "?";
}

bool LogEnabled(LogCategory category, int level) {
  const int c = static_cast<int>(category);
  if (c < 0 || c >= kLogCategoryCount || level < 1) return false;
  return LevelOf(CurrentLevels(), c) >= level;
}

void LogPrint(LogCategory category, int level, const char *fmt, ...) {
  if (!LogEnabled(category, level) || fmt == nullptr) return;

  char line[2048];
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  int used =
      std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d.%03ld [tid %ld] %s:%d ", utc.tm_year + 1900,
                    utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, now.tv_nsec / 1000000L,
                    static_cast<long>(syscall(SYS_gettid)), LogCategoryName(category), level);
  if (used < 0) return;
  size_t length = static_cast<size_t>(used);

  va_list args;
  va_start(args, fmt);
  // The analyzer loses va_start through std::vsnprintf.
  used = std::vsnprintf(line + length, sizeof line - length, fmt, args);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(args);
  if (used < 0) return;
  // Over-long text is cut; keep room for the newline.
  length += static_cast<size_t>(used);
  if (length > sizeof line - 2) length = sizeof line - 2;
  while (length > 0 && line[length - 1] == '\n') --length;
  line[length++] = '\n';
  WriteLine(line, length);
}

void LogRecordedError(int code, const char *operation) {
  if (!LogEnabled(LogCategory::kErrors, 1)) return;
  LogPrint(LogCategory::kErrors, 1, "%s recorded error %d %s (%s)", operation != nullptr ? operation : "(unknown)",
           code, ErrorCodeName(code), ErrorCodeMeaning(code));
}

void LogConfigure(const char *selection, const char *file) {
  // Make sure a pending first read of the environment cannot overwrite us.
  std::call_once(g_environmentOnce, [] {});
  ApplyConfiguration(selection, file);
}

void LogReloadFromEnvironment() {
  LogConfigure(std::getenv("QUOREL_DEBUG"), std::getenv("QUOREL_DEBUG_FILE"));
}

}  // namespace quorel
