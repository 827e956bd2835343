#!/usr/bin/env bash
# Sets up, builds and runs every test once where it finds the most: the
# normal build (warnings are errors, benchmarks included) runs the tests that
# a sanitizer build cannot (the Python package, the installed tree, the
# GStreamer registry scan); the whole suite runs under AddressSanitizer +
# UBSan; the concurrency tests again under ThreadSanitizer; every fuzz target
# briefly over its corpus (clang, libFuzzer).
# QUOREL_TEST_QUICK=1 builds normally and runs the whole suite there only.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh
jobs="$(nproc)"

# Each stage's wall time, so that a slow stage shows in the log.
stage_start=$SECONDS
stage_done() {
  if [ -n "${stage_name:-}" ]; then echo "-- ${stage_name}: $((SECONDS - stage_start)) s (${SECONDS} s in all)"; fi
}
stage() {
  stage_done
  stage_name="$1"
  stage_start=$SECONDS
  echo "== $1"
}
trap stage_done EXIT

# Four builds of the same sources (normal, two sanitizers, fuzz): a compiler
# cache makes every run after the first on a machine mostly a link step.
# Paths relative to the checkout, so clones in other folders share entries.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi

stage "formatting (.clang-format)"
./scripts/format.sh

stage "normal build (warnings are errors)"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOREL_WERROR=ON >/dev/null
cmake --build build-test -j"$jobs"
if [ "${QUOREL_TEST_QUICK:-0}" = "1" ]; then
  ctest --test-dir build-test --output-on-failure -j"$jobs"
  exit 0
fi
ctest --test-dir build-test --output-on-failure -j"$jobs" -L uninstrumented

stage "AddressSanitizer + UBSan: whole suite"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUOREL_WERROR=ON -DQUOREL_SANITIZE=address \
  -DQUOREL_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

stage "ThreadSanitizer: concurrency tests"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUOREL_WERROR=ON -DQUOREL_SANITIZE=thread \
  -DQUOREL_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
# The concurrency test programs, and the soak program (its 60-second run is
# labelled concurrency in sanitizer builds).
tsan_targets="$(cd tests && ls test_*concurrency*.cpp 2>/dev/null | sed 's/\.cpp$//' | tr '\n' ' ') quorel-soak"
if [ -n "$tsan_targets" ]; then
  # shellcheck disable=SC2086
  cmake --build build-tsan -j"$jobs" --target $tsan_targets
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan -L concurrency --output-on-failure -j"$jobs"
fi

stage "Fuzz targets: each over its seed corpus, then ${QUOREL_FUZZ_SECONDS:-20} s of new inputs"
./fuzz/build.sh build-fuzz
QUOREL_FUZZ_BUILD=build-fuzz ./fuzz/run.sh "${QUOREL_FUZZ_SECONDS:-20}"
