#!/usr/bin/env bash
# Runs clang-tidy (the repository's .clang-tidy) on C++ sources: those changed
# against a base revision (default main), or the files given. Uses the
# compile commands of a build tree configured with
# -DCMAKE_EXPORT_COMPILE_COMMANDS=ON (default build/, or $QUOREL_TIDY_BUILD).
# Usage: scripts/tidy.sh [--base <rev>] [file.cpp ...]
set -euo pipefail
cd "$(dirname "$0")/.."

base=main
if [ "${1:-}" = "--base" ]; then
  base="$2"
  shift 2
fi
build="${QUOREL_TIDY_BUILD:-build}"
if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git diff --name-only --diff-filter=ACMR "$base" -- '*.cpp' '*.cc' '*.c' | sort -u)
  # Headers are checked through the sources that include them (HeaderFilterRegex).
fi
# Only files the build compiles have compile commands.
checked=()
for f in "${files[@]}"; do
  if grep -q "\"file\": \".*/$f\"" "$build/compile_commands.json"; then checked+=("$f"); fi
done
if [ ${#checked[@]} -eq 0 ]; then
  echo "tidy: nothing to check"
  exit 0
fi
clang-tidy -p "$build" --quiet "${checked[@]}"
echo "tidy: ${#checked[@]} files clean"
