#!/usr/bin/env bash
# Builds the benchmark suite (preset "bench", optimised) and runs it against
# its peers, then prints one Markdown table of medians and ratios.
#
# Every benchmark family ("W1_Append/quolan", "W1_Append/vector", ...) runs
# in a process of its own, so no contender inherits another's heap, caches
# or allocator state; each is repeated and the table takes medians.  A full
# run takes a few minutes on two cores.
#
# Usage: scripts/run-bench.sh [--quick] [--repetitions N] [--min-time SECONDS]
#                             [--filter REGEX] [--out DIR]
#   --quick        smoke run: one repetition, tiny minimum time
#   --repetitions  repetitions per benchmark (default 5)
#   --min-time     minimum measuring time per repetition (default 0.1 s)
#   --filter       only families whose name matches REGEX (bash =~)
#   --out          where the JSON results and table.md go (default build/bench/results)
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=5
min_time=0.1
filter=""
out=build/bench/results
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) repetitions=1; min_time=0.001 ;;
    --repetitions) repetitions=$2; shift ;;
    --min-time) min_time=$2; shift ;;
    --filter) filter=$2; shift ;;
    --out) out=$2; shift ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "run-bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

scripts/install-deps.sh libbenchmark-dev libglib2.0-dev libcjson-dev libjson-c-dev libmsgpack-dev
# A broken table script would waste the whole run: check it first.
python3 bench/bench_table_test.py -q

# The machines are shared: build with at most two jobs unless told otherwise.
cmake --preset bench >/dev/null
cmake --build --preset bench -j"${QUOLAN_BENCH_JOBS:-2}"
bench=build/bench/bench/quolan_bench

rm -rf "$out"
mkdir -p "$out"
# Families in registration order: the names without their size argument.
mapfile -t families < <("$bench" --benchmark_list_tests | sed -E 's#/[0-9]+$##' | awk '!seen[$0]++')

aggregates=()
[ "$repetitions" -gt 1 ] && aggregates=(--benchmark_display_aggregates_only=true)
for family in "${families[@]}"; do
  if [ -n "$filter" ] && ! [[ $family =~ $filter ]]; then continue; fi
  echo "== $family"
  "$bench" --benchmark_filter="^${family}/[0-9]+\$" \
           --benchmark_repetitions="$repetitions" \
           --benchmark_min_time="$min_time" \
           "${aggregates[@]}" \
           --benchmark_out="$out/${family//\//.}.json" --benchmark_out_format=json
done

echo
python3 scripts/bench_table.py "$out"/*.json | tee "$out/table.md"
