#!/usr/bin/env bash
# Builds the benchmark suite (preset "bench", optimised) and runs it against
# its peers, then prints one Markdown table of medians and ratios.
#
# Every benchmark (one contender at one size: "W1_Append/quolan/1000") runs
# in a process of its own, so no contender inherits another's heap, caches
# or allocator state, and the contenders of one workload and size run one
# right after the other, so each ratio compares runs seconds apart on a
# machine whose speed wanders over minutes.  Each is repeated and the table
# takes medians.  A full run takes a few minutes per round on two cores.
#
# Usage: scripts/run-bench.sh [--quick] [--repetitions N] [--min-time SECONDS]
#                             [--filter REGEX] [--out DIR] [--build-dir DIR]
#                             [--instructions] [--rounds K]
#   --quick         smoke run: one repetition, tiny minimum time
#   --repetitions   repetitions per benchmark (default 5)
#   --rounds        run everything K times over, round by round (default 1);
#                   the table compares contenders within each round and shows
#                   the median of those ratios, so load that comes and goes on
#                   a shared machine falls on both sides of a ratio alike
#   --min-time      minimum measuring time per repetition (default 0.1 s)
#   --filter        only workloads and contenders ("W5_StringKey/ghash")
#                   whose name matches REGEX (bash =~)
#   --out           where the JSON results and table.md go (default <build dir>/results)
#   --build-dir     an optimised build of its own instead of the bench preset's build/bench
#   --instructions  also count instructions per operation with callgrind
#                   (bench/count_instructions.py) into instructions.md
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=5
min_time=0.1
filter=""
out=""
build_dir=""
instructions=0
rounds=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) repetitions=1; min_time=0.001 ;;
    --repetitions) repetitions=$2; shift ;;
    --min-time) min_time=$2; shift ;;
    --filter) filter=$2; shift ;;
    --out) out=$2; shift ;;
    --build-dir) build_dir=$2; shift ;;
    --instructions) instructions=1 ;;
    --rounds) rounds=$2; shift ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) echo "run-bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

deps=(libbenchmark-dev libglib2.0-dev libcjson-dev libjson-c-dev libmsgpack-dev)
[ "$instructions" = 1 ] && deps+=(valgrind)
scripts/install-deps.sh demo "${deps[@]}"
# A broken table script would waste the whole run: check it first.
python3 bench/bench_table_test.py -q

# The machines are shared: build with at most two jobs unless told otherwise.
if [ -z "$build_dir" ]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j"${QUOLAN_BENCH_JOBS:-2}"
  build_dir=build/bench
else
  # The bench preset's settings, in a directory of the caller's choosing.
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DQUOLAN_BUILD_TESTS=OFF -DQUOLAN_BUILD_BENCH=ON >/dev/null
  cmake --build "$build_dir" --target quolan_bench -j"${QUOLAN_BENCH_JOBS:-2}"
fi
bench=$build_dir/bench/quolan_bench
[ -n "$out" ] || out=$build_dir/results

rm -rf "$out"
mkdir -p "$out"
# The benchmarks in registration order, grouped by workload and size: each
# group's contenders run back to back.
mapfile -t groups < <("$bench" --benchmark_list_tests | awk -F/ '
  { key = $1 "/" $3; if (!(key in members)) order[++n] = key; members[key] = members[key] " " $2 }
  END { for (i = 1; i <= n; ++i) print order[i] members[order[i]] }')

aggregates=()
[ "$repetitions" -gt 1 ] && aggregates=(--benchmark_display_aggregates_only=true)
for round in $(seq 1 "$rounds"); do
  for group in "${groups[@]}"; do
    read -r key contenders <<<"$group"
    workload=${key%/*} size=${key#*/}
    # Every other round in the opposite order, so no contender always goes first.
    (( round % 2 == 0 )) && contenders=$(tr ' ' '\n' <<<"$contenders" | tac | tr '\n' ' ')
    for contender in $contenders; do
      family="$workload/$contender"
      if [ -n "$filter" ] && ! [[ $family =~ $filter ]]; then continue; fi
      echo "== $family/$size (round $round of $rounds)"
      "$bench" --benchmark_filter="^${family}/${size}\$" \
               --benchmark_repetitions="$repetitions" \
               --benchmark_min_time="$min_time" \
               "${aggregates[@]}" \
               --benchmark_out="$out/${family//\//.}.$size.r$round.json" --benchmark_out_format=json
    done
  done
done

echo
python3 scripts/bench_table.py "$out"/*.json | tee "$out/table.md"

if [ "$instructions" = 1 ]; then
  echo
  python3 bench/count_instructions.py "$bench" --filter "$filter" | tee "$out/instructions.md"
fi
