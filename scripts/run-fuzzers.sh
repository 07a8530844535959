#!/usr/bin/env bash
# Runs every built fuzz target for a bounded number of runs over its seed
# corpus, as many at a time as there are cores (QUOLAN_FUZZ_JOBS to
# change that).  Says when each target starts and ends, and how far it has
# got every 20 seconds.  Usage: run-fuzzers.sh BUILD_DIR RUNS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
runs=${2:-20000}
jobs=${QUOLAN_FUZZ_JOBS:-$(nproc)}
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# Inputs per target, about the same time for each.  One load target serves
# the five loadable classes: four times RUNS.  The operation-sequence target
# runs whole programs of calls per input, each held against the model after
# every step, some four hundred times slower than a single Load.  The JSON
# reader's inputs each go through two parsers, and its differential check
# finds a fault in few of them.
runs_of() {
  case $1 in
    load) echo $((runs * 4)) ;;
    operations) echo $((runs / 650)) ;;
    json_reader) echo $((runs / 5)) ;;
    *) echo "$runs" ;;
  esac
}

fuzz() {  # target name
  local name=$1 n work start ticker status=0
  n=$(runs_of "$name")
  work=$(mktemp -d)
  start=$SECONDS
  echo "-- fuzz_$name: started, $n runs"
  # libFuzzer logs "#<runs> ..." lines as it goes.
  ( while sleep 20; do
      echo "   fuzz_$name: $(grep -o '^#[0-9]*' "$work/log" | tail -n 1 | tr -d '#') of $n runs after $((SECONDS - start)) s"
    done ) &
  ticker=$!
  "$build/fuzz/fuzz_$name" -runs="$n" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$work" "fuzz/corpus/$name" > "$work/log" 2>&1 || status=1
  kill "$ticker"
  wait "$ticker" 2> /dev/null || true
  if [ $status = 0 ]; then
    echo "-- fuzz_$name: done, $n runs in $((SECONDS - start)) s"
  else
    tail -n 60 "$work/log"
    echo "-- fuzz_$name: FAILED after $((SECONDS - start)) s"
    touch "$failed/$name"
  fi
  rm -rf "$work"
}

failed=$(mktemp -d)
trap 'rm -rf "$failed"' EXIT
# The targets are those fuzz/ defines, so a stale binary in the build
# directory is not run.
for src in fuzz/*_fuzz.cpp; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz "$(basename "$src" _fuzz.cpp)" &
done
wait
[ -z "$(ls "$failed")" ]
