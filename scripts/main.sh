#!/usr/bin/env bash
# Sets up, builds and runs the main job against the virtual camera: a short
# capture session with the C example, then a session of the command-line tool
# (list, a snapshot in every file format, a short recording).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUOREL_BUILD_TESTS=OFF -DQUOREL_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target capture_demo quorel

# No camera is attached: the virtual camera stands in for it.
export QUOREL_DRIVER=sim
export QUOREL_REGISTRY="${QUOREL_REGISTRY:-$PWD/build/main-job-registry.reg}"
out="$PWD/build/main-job"
mkdir -p "$out"

echo "== capture_demo: callback preview, then a snapshot in each colour mode"
./build/examples/capture_demo 3

quorel=./build/tools/quorel
echo "== quorel list, info and a few sensor registers"
$quorel --sim="units=0,3" list
$quorel info
$quorel reg read 0x3012 read 0x305E read 0x3040
echo "== quorel snap, every file format"
for file in snap.bmp snap.raw snap.jpg snap.png snap.tif; do
  $quorel snap --mode 24 "$out/$file"
done
$quorel snap --mode 48 "$out/snap48.png"
$quorel snap --mode 8 "$out/snap8.tif"
echo "== quorel record, 2 seconds"
$quorel record --duration 2000 "$out/clip.avi"
ls -l "$out"
