#!/usr/bin/env bash
# Renders each man page given with man -l and fails on any warning groff or
# man prints (unknown macros, bad escapes, lines that do not fit).
set -euo pipefail
status=0
for page in "$@"; do
  err=$(MANWIDTH=80 LC_ALL=C.UTF-8 MAN_KEEP_FORMATTING=1 man --warnings=w -E UTF-8 -l "$page" 2>&1 >/dev/null) || {
    echo "$page: man failed"
    status=1
  }
  if [ -n "$err" ]; then
    echo "$page:"
    echo "$err"
    status=1
  fi
  out=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -E UTF-8 -l "$page" 2>/dev/null)
  if [ "$(wc -l <<<"$out")" -lt 10 ]; then
    echo "$page: renders to almost nothing"
    status=1
  fi
done
exit $status
