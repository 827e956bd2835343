#!/usr/bin/env bash
# Runs every fuzz target (or those named after the time) over its seed corpus
# and then for SECONDS more on new inputs:
#   fuzz/run.sh SECONDS [TARGET...]
# Targets run side by side, one per CPU (QUOREL_FUZZ_JOBS sets how many): each
# is one process on one core, so the wall time is the sum over the CPUs.
# New inputs go to a work folder (build-fuzz/work/TARGET), not into the
# checked-in corpus; a crash leaves its input there and fails the run. Each
# target's executions are printed (stat::number_of_executed_units).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${1:?usage: fuzz/run.sh SECONDS [TARGET...]}"
shift
dir="$root/${QUOREL_FUZZ_BUILD:-build-fuzz}"
jobs="${QUOREL_FUZZ_JOBS:-$(nproc)}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi

# One target; its exit status is left in work/TARGET/status for the summary.
run_target() {
  local t="$1" work="$dir/work/$1" rc=0
  mkdir -p "$work/new" "$root/fuzz/corpus/$t"
  rm -f "$work/status"
  "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/new" "$root/fuzz/corpus/$t" >"$work/log.txt" 2>&1 || rc=$?
  echo "$rc" >"$work/status"
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "== $t: corpus, then ${seconds} s"
  run_target "$t" &
  running=$((running + 1))
done
wait

status=0
for t in "${targets[@]}"; do
  work="$dir/work/$t"
  if [ "$(cat "$work/status" 2>/dev/null || echo missing)" != "0" ]; then
    echo "!! $t failed; its log is $work/log.txt, the input that failed is $work/crash-* (or leak-*, timeout-*)"
    tail -n 40 "$work/log.txt"
    status=1
  fi
  echo "-- $t"
  grep -E "stat::number_of_executed_units|stat::new_units_added" "$work/log.txt" | sed "s/^/   /" || true
done
exit $status
