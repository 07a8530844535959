#!/usr/bin/env bash
# A longer fuzzing campaign than the test command's bounded runs: every
# target for SECONDS (default 600), two at a time, each growing its own
# working corpus from the seeds.  Prints executions and any finding.
# Usage: scripts/fuzz-long.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
scripts/install-deps.sh test
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j"$(nproc)" > /dev/null
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
out=build/fuzz/long
mkdir -p "$out"
run() {
  local name=$1
  mkdir -p "$out/$name"
  if build/fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/$name-" \
       "$out/$name" "fuzz/corpus/$name" > "$out/$name.log" 2>&1; then
    echo "fuzz_$name: clean, $(grep -o 'number_of_executed_units: [0-9]*' "$out/$name.log" | tail -1 | cut -d' ' -f2) executions in ${seconds}s"
  else
    echo "fuzz_$name: FINDING, see $out/$name.log"; return 1
  fi
}
status=0
targets=$(cd fuzz && ls *_fuzz.cpp | sed 's/_fuzz\.cpp$//')  # not stale binaries
set -- $targets
while [ $# -gt 0 ]; do
  run "$1" & first=$!
  if [ $# -gt 1 ]; then run "$2" & second=$!; wait $second || status=1; shift; fi
  wait $first || status=1
  shift
done
exit $status
