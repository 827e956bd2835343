#!/usr/bin/env bash
# Builds the libFuzzer targets with Debian's clang into build-fuzz/ (or $1):
# ASan + UBSan, coverage instrumentation, only the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-fuzz}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOREL_FUZZ=ON \
  -DQUOREL_BUILD_TESTS=OFF -DQUOREL_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//' | tr '\n' ' ')
# shellcheck disable=SC2086
cmake --build "$dir" -j"$(nproc)" --target $targets
