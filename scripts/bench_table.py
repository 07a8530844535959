#!/usr/bin/env python3
"""Turns the JSON files of a benchmark run into one Markdown table.

Benchmarks are named "<workload>/<contender>/<N>" (bench/bench_support.h).
For every workload and N, each peer gets one row beside the library
("quolan"): the median of each side over its repetitions, and the ratio of
median CPU times per iteration, quolan / peer, so below 1 means the
library was faster.  When the run has rounds (files named *.r<K>.json, as
run-bench.sh writes them), the two sides of a round ran back to back, so
the ratio is taken within each round and the table shows the median of
those: a round in which the machine ran slow then counts once, for both
sides, instead of pulling one side's median.  Rates are shown the way the workload reports them:
ns per element or operation when it counts items, MB/s when it counts
bytes.  Rows that carry a target say whether the run met it; the memory row
of the append workload checks the library's unused tail of storage.

Usage: bench_table.py [--strict] RESULT.json...
  --strict  exit with status 1 when a target is missed or a run failed
"""
import argparse
import json
import re
import statistics
import sys
from dataclasses import dataclass, field

LIBRARY = "quolan"

# (workload, peer, only at this N or None, largest allowed quolan/peer time
# ratio, what the target says).  Throughput targets are time ratios too:
# "1.4x the throughput" is "at most 1/1.4 of the time".
TARGETS = [
    ("W1_Append", "vector", None, 3.0, "at most 3x"),
    ("W1_Append", "garray", None, 1.0, "faster"),
    ("W2_RandomGet", "vector", None, 1.5, "at most 1.5x"),
    ("W3_Walk", "cjson", None, 1.0, "faster"),
    ("W4_OwnedStrings", "vector", None, 1.3, "at most 1.3x"),
    ("W5_StringKey", "linear", 16, 1.5, "at most 1.5x"),
    ("W5_StringKey", "cjson", None, 1.0, "faster"),
    ("W5_StringKey", "ghash", None, 1.0, "faster"),
    ("W5_StringKey", "unordered_map", None, 1.5, "at most 1.5x"),
    ("W6_IntSet", "linear", None, 2.0, "at most 2x"),
    ("W6_IntSet", "ghash", None, 1.0, "faster"),
    ("W6_IntSet", "unordered_set", None, 1.5, "at most 1.5x"),
    ("W7_SaveLoadInt", "msgpack", None, 1 / 1.4, "1.4x its throughput"),
    ("W7_SaveLoadString", "msgpack", None, 1.0, "its throughput"),
    ("W8_CopyEqual", "cjson", None, 0.2, "5x faster"),
    ("W8_CopyEqual", "jsonc", None, 0.2, "5x faster"),
]
# "Faster" must be strictly faster; every other bound may be met exactly.
STRICT_TEXTS = {"faster"}

MEMORY_WORKLOAD = "W1_Append"
MAX_SLACK_ELEMENTS = 32  # less than one growth step of unused storage

PEER_ORDER = ["floor", "vector", "garray", "linear", "cjson", "jsonc", "msgpack", "memcpy",
              "ghash", "unordered_map", "unordered_set"]

NS_PER_UNIT = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


@dataclass
class Run:
    """Every repetition of one benchmark."""
    times_ns: list = field(default_factory=list)   # CPU time per iteration
    rounds: dict = field(default_factory=dict)     # round -> its CPU times
    items_per_second: list = field(default_factory=list)
    bytes_per_second: list = field(default_factory=list)
    counters: dict = field(default_factory=dict)   # name -> list of values
    error: str = ""

    def median_time(self):
        return statistics.median(self.times_ns) if self.times_ns and not self.error else None

    def round_medians(self):
        return {} if self.error else {k: statistics.median(v) for k, v in self.rounds.items()}

    def describe(self):
        if self.error:
            return "error"
        if self.bytes_per_second:
            return f"{statistics.median(self.bytes_per_second) / 1e6:.1f} MB/s"
        if self.items_per_second:
            return f"{1e9 / statistics.median(self.items_per_second):.2f} ns/op"
        return format_time(self.median_time())


@dataclass
class Row:
    workload: str
    n: int
    peer: str
    library: str
    other: str
    ratio: str
    target: str = ""
    met: object = None  # True, False, or None when no target applies


def format_time(ns):
    if ns is None:
        return "error"
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.2f} {unit}"
    return f"{ns:.1f} ns"


def load_runs(documents, rounds=None):
    """Maps (workload, contender, N) to its Run, from Google Benchmark JSON
    documents, the round of each in `rounds` (default: all in round 0);
    aggregates are recomputed here, so any repetition count works."""
    runs = {}
    for document, round_number in zip(documents, rounds or [0] * len(documents)):
        for b in document.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration":
                continue
            parts = b["name"].split("/")
            if len(parts) < 3:
                continue
            key = (parts[0], parts[1], int(parts[2]))
            run = runs.setdefault(key, Run())
            if b.get("error_occurred"):
                run.error = b.get("error_message", "failed")
                continue
            time_ns = b["cpu_time"] * NS_PER_UNIT[b.get("time_unit", "ns")]
            run.times_ns.append(time_ns)
            run.rounds.setdefault(round_number, []).append(time_ns)
            if "items_per_second" in b:
                run.items_per_second.append(b["items_per_second"])
            if "bytes_per_second" in b:
                run.bytes_per_second.append(b["bytes_per_second"])
            for name in ("bytes_per_element", "slack_elements"):
                if name in b:
                    run.counters.setdefault(name, []).append(b[name])
    return runs


def target_for(workload, peer, n):
    for t_workload, t_peer, t_n, bound, text in TARGETS:
        if t_workload == workload and t_peer == peer and t_n in (None, n):
            return bound, text
    return None


def time_ratio(mine, theirs):
    """quolan / peer: the median of the rounds' ratios when both ran in two
    or more of the same rounds, else the ratio of the two medians."""
    q_rounds, p_rounds = mine.round_medians(), theirs.round_medians()
    shared = [k for k in q_rounds if k in p_rounds and p_rounds[k]]
    if len(shared) >= 2:
        return statistics.median(q_rounds[k] / p_rounds[k] for k in shared)
    q, p = mine.median_time(), theirs.median_time()
    return q / p if q is not None and p else None


def peer_row(workload, n, peer, mine, theirs):
    ratio = time_ratio(mine, theirs) if mine else None
    row = Row(workload, n, peer, mine.describe() if mine else "missing", theirs.describe(),
              f"{ratio:.2f}" if ratio is not None else "n/a")
    target = target_for(workload, peer, n)
    if target:
        bound, text = target
        row.target = f"{text} (≤ {bound:.2f})" if text not in STRICT_TEXTS else f"{text} (< 1)"
        if ratio is None:
            row.met = False
        else:
            row.met = ratio < bound if text in STRICT_TEXTS else ratio <= bound
    return row


def memory_row(workload, n, mine):
    slack = mine.counters.get("slack_elements") if mine else None
    if not slack:
        return None
    per_element = statistics.median(mine.counters["bytes_per_element"])
    worst = max(slack)
    return Row(workload, n, "memory", f"{per_element:.2f} B/element", "",
               f"{worst:.0f} elements unused", f"< {MAX_SLACK_ELEMENTS} elements unused",
               worst < MAX_SLACK_ELEMENTS)


def peer_rank(peer):
    return (PEER_ORDER.index(peer), peer) if peer in PEER_ORDER else (len(PEER_ORDER), peer)


def build_rows(runs):
    rows = []
    for workload, n in sorted({(w, n) for w, _, n in runs}):
        mine = runs.get((workload, LIBRARY, n))
        peers = sorted({c for w, c, m in runs if w == workload and m == n and c != LIBRARY},
                       key=peer_rank)
        for peer in peers:
            rows.append(peer_row(workload, n, peer, mine, runs[(workload, peer, n)]))
        if workload == MEMORY_WORKLOAD:
            row = memory_row(workload, n, mine)
            if row:
                rows.append(row)
    return rows


def render(rows):
    lines = ["| workload | N | peer | quolan | peer | quolan/peer (time) | target | met |",
             "|---|---:|---|---:|---:|---:|---|---|"]
    for r in rows:
        met = "" if r.met is None else ("yes" if r.met else "**NO**")
        lines.append(f"| {r.workload} | {r.n} | {r.peer} | {r.library} | {r.other} | "
                     f"{r.ratio} | {r.target} | {met} |")
    checked = [r for r in rows if r.met is not None]
    lines.append("")
    lines.append(f"Targets met: {sum(r.met for r in checked)} of {len(checked)}.")
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--strict", action="store_true")
    parser.add_argument("results", nargs="+")
    args = parser.parse_args(argv)
    documents, rounds = [], []
    for path in args.results:
        with open(path, encoding="utf-8") as f:
            documents.append(json.load(f))
        found = re.search(r"\.r(\d+)\.json$", path)
        rounds.append(int(found.group(1)) if found else 0)
    runs = load_runs(documents, rounds)
    rows = build_rows(runs)
    print(render(rows))
    failed = any(r.met is False for r in rows) or any(r.error for r in runs.values())
    return 1 if args.strict and failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
