#!/usr/bin/env bash
# Runs every fuzz target (or those named after the time) over its seed corpus
# and then for SECONDS more on new inputs:
#   fuzz/run.sh SECONDS [TARGET...]
# New inputs go to a work folder (build-fuzz/work/TARGET), not into the
# checked-in corpus; a crash leaves its input there and fails the run. Each
# target's executions are printed (stat::number_of_executed_units).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${1:?usage: fuzz/run.sh SECONDS [TARGET...]}"
shift
dir="$root/${QUOREL_FUZZ_BUILD:-build-fuzz}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi
status=0
for t in "${targets[@]}"; do
  work="$dir/work/$t"
  mkdir -p "$work/new" "$root/fuzz/corpus/$t"
  echo "== $t: corpus, then ${seconds} s"
  if ! "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$work/" "$work/new" "$root/fuzz/corpus/$t" >"$work/log.txt" 2>&1; then
    echo "!! $t failed; its log is $work/log.txt, the input that failed is $work/crash-* (or leak-*, timeout-*)"
    tail -n 40 "$work/log.txt"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::new_units_added" "$work/log.txt" | sed "s/^/   /" || true
done
exit $status
