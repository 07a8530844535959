#!/usr/bin/env bash
# Runs every built fuzz target for a bounded number of runs over its seed
# corpus.  Usage: run-fuzzers.sh BUILD_DIR RUNS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
runs=${2:-20000}
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
# The targets are those fuzz/ defines, so a stale binary in the build
# directory is not run.
for src in fuzz/*_fuzz.cpp; do
  name=$(basename "$src" _fuzz.cpp)
  target=$build/fuzz/fuzz_$name
  n=$runs
  # One load target serves the five loadable classes: four fifths of RUNS
  # inputs for each (the model test now exercises every class broadly).
  # The operation-sequence target runs whole programs of calls per input,
  # each held against the model after every step, some four hundred times
  # slower than a single Load: fewer inputs, about the same time.
  [ "$name" = load ] && n=$((runs * 4))
  [ "$name" = operations ] && n=$((runs / 650))
  work=$(mktemp -d)
  echo "-- fuzz_$name: $n runs"
  if ! "$target" -runs="$n" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 "$work" "fuzz/corpus/$name" > "$work/log" 2>&1; then
    tail -n 60 "$work/log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work/log" | tail -n 2
  fi
  rm -rf "$work"
done
exit $status
