#!/usr/bin/env bash
# Checks that every C and C++ source in the repository is formatted with the
# repository's .clang-format. With --fix, formats them instead.
# Usage: scripts/format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "format: the files above differ from .clang-format; run scripts/format.sh --fix" >&2
  exit 1
fi
echo "format: ${#files[@]} files ok"
