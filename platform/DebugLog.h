// Diagnostic log, silent unless asked for.
//
// QUOREL_DEBUG chooses categories and levels as a comma-separated list of
// CATEGORY[:LEVEL] items:
//   QUOREL_DEBUG=device:2,transfer:3   device at level 2, transfer at level 3
//   QUOREL_DEBUG=all                   every category at level 1
//   QUOREL_DEBUG=all:2,image:0         every category at 2, except image (off)
//   QUOREL_DEBUG=errors                a category without a level means level 1
// Items apply left to right, so later ones override earlier ones; "all" alone
// is every category at level 1. Levels run from 0 (off) to 9 (larger values
// are cut to 9): 1 outcomes and failures (recorded error codes, faults,
// stalls, dropped and short frames, failed copies, unit claims), 2 each
// request, 3 and above fine detail (every export with its arguments and
// result). An unknown category or an item whose level is not a number is
// ignored with a warning on stderr, once per process for each such item.
//
// Lines go to stderr, or appended to the file named by QUOREL_DEBUG_FILE
// (stderr when it cannot be opened), each as
//   2026-12-08 04:05:06.789 [tid 1234] device:2 text
// with a UTC time stamp. Each line is written with a single write(2), so lines
// of different threads and processes never interleave.
//
// The environment is read on first use. LogEnabled costs one relaxed atomic
// load when the log is off. All functions are thread-safe.
#pragma once

namespace quorel {

enum class LogCategory {
  kApi,
  kErrors,
  kSettings,
  kTable,
  kDevice,
  kTransfer,
  kImage,
  kOutput,
  kDialogs,
  kSim,
  kGui,
};

inline constexpr int kLogCategoryCount = 11;
inline constexpr int kLogMaxLevel = 9;

// The name used in QUOREL_DEBUG and in log lines ("device").
const char *LogCategoryName(LogCategory category);

bool LogEnabled(LogCategory category, int level);

// Writes one line when the category is enabled at `level`. A trailing newline
// in the text is not needed (and not doubled).
void LogPrint(LogCategory category, int level, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

// Logs, in the "errors" category at level 1, that `operation` (an export or
// internal operation name; NULL allowed) recorded error `code`.
void LogRecordedError(int code, const char *operation);

// Replaces the configuration with `selection` (QUOREL_DEBUG syntax; NULL or empty
// turns the log off) writing to `file` (NULL: stderr). For tests and tools.
void LogConfigure(const char *selection, const char *file);

// Reads QUOREL_DEBUG and QUOREL_DEBUG_FILE again.
void LogReloadFromEnvironment();

}  // namespace quorel
