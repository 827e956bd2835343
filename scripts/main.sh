#!/usr/bin/env bash
# Sets up, builds and runs the main job against the virtual camera.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUOREL_BUILD_TESTS=OFF -DQUOREL_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target camera_info

# No camera is attached: the virtual camera stands in for it.
export QUOREL_DRIVER=sim
export QUOREL_REGISTRY="${QUOREL_REGISTRY:-$PWD/build/main-job-registry.reg}"
./build/examples/camera_info
