#!/usr/bin/env python3
"""Instructions per operation of every benchmark, counted with callgrind.

Timing on shared machines is noisy; instruction counts are not.  Each
benchmark runs twice under `valgrind --tool=callgrind` with a fixed number
of iterations (QUOLAN_BENCH_ITERATIONS, read by bench_support.cpp), once
with 1 and once with 3; the difference is the work of exactly two
iterations, fixtures and start-up cancelling out.  Divided by the
operations one iteration does (2n for the keyed workloads W5 and W6, N
for every other) it gives instructions per operation, the same figure on
every run of the same build.

Usage: count_instructions.py BENCH_BINARY [--filter REGEX] [--profile N]
  --filter   only benchmarks whose name matches REGEX (default: all)
  --profile  also list the N functions that spend the most instructions
             per operation (the same difference, function by function)
Prints a Markdown table: benchmark, instructions per operation.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

PER_ITERATION = {"W5_StringKey": 2, "W5s_ScatteredKeys": 2, "W6_IntSet": 2}  # operations per element of N


def total_instructions(binary, name, iterations, out_file):
    env = dict(os.environ, QUOLAN_BENCH_ITERATIONS=str(iterations))
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}",
                    binary, f"--benchmark_filter=^{re.escape(name)}(/|$)",
                    "--benchmark_repetitions=1"],
                   env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out_file, encoding="utf-8") as f:
        for line in f:
            if line.startswith("summary:") or line.startswith("totals:"):
                return int(line.split()[1])
    raise RuntimeError(f"no instruction total in {out_file}")


def per_function(out_file):
    """Self instructions of every function in a callgrind output file."""
    text = subprocess.run(["callgrind_annotate", "--inclusive=no", "--threshold=100", out_file],
                          check=True, capture_output=True, text=True).stdout
    counts = {}
    for line in text.splitlines():
        m = re.match(r"\s*([\d,]+) \([ \d.]+%\)\s+(.*)$", line)
        if m and "PROGRAM TOTALS" not in line:
            name = re.sub(r" \[[^]]*\]$", "", m.group(2))
            counts[name] = counts.get(name, 0) + int(m.group(1).replace(",", ""))
    return counts


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binary")
    parser.add_argument("--filter", default="")
    parser.add_argument("--profile", type=int, default=0)
    args = parser.parse_args(argv)
    listed = subprocess.run([args.binary, "--benchmark_list_tests"], check=True,
                            capture_output=True, text=True).stdout.split()
    names = [n for n in listed if re.search(args.filter, n)]
    print("| benchmark | instructions per operation |")
    print("|---|---:|")
    with tempfile.TemporaryDirectory() as scratch:
        for name in names:
            workload, _, size = name.split("/")
            ops = PER_ITERATION.get(workload, 1) * int(size)
            one, three = os.path.join(scratch, "one.out"), os.path.join(scratch, "three.out")
            once = total_instructions(args.binary, name, 1, one)
            thrice = total_instructions(args.binary, name, 3, three)
            print(f"| {name} | {(thrice - once) / (2 * ops):.1f} |", flush=True)
            if args.profile:
                before, after = per_function(one), per_function(three)
                spent = {f: (after.get(f, 0) - before.get(f, 0)) / (2 * ops) for f in after}
                for f, per_op in sorted(spent.items(), key=lambda x: -x[1])[:args.profile]:
                    print(f"|   {f[:110]} | {per_op:.1f} |", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
