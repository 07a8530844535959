#!/usr/bin/env python3
"""Checks of scripts/bench_table.py on small hand-made results: the table
must pair the right runs, take medians, read throughput targets the right
way round and never count a failed run as a pass.  Run directly; the
benchmark runner runs it before measuring anything."""
import importlib.util
import pathlib
import unittest

_path = pathlib.Path(__file__).resolve().parent.parent / "scripts" / "bench_table.py"
_spec = importlib.util.spec_from_file_location("bench_table", _path)
bench_table = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bench_table)


def entry(name, cpu, unit="ns", **extra):
    return dict(name=name, run_type="iteration", cpu_time=cpu, time_unit=unit, **extra)


def rows_of(*entries):
    runs = bench_table.load_runs([{"benchmarks": list(entries)}])
    return {(r.workload, r.n, r.peer): r for r in bench_table.build_rows(runs)}


class TableTest(unittest.TestCase):
    def test_ratio_uses_medians_across_units_and_ignores_aggregates(self):
        rows = rows_of(
            entry("W1_Append/quolan/1000", 2.0, "us"), entry("W1_Append/quolan/1000", 9.0, "us"),
            entry("W1_Append/quolan/1000", 2.4, "us"),
            dict(entry("W1_Append/quolan/1000_median", 99.0, "us"), run_type="aggregate"),
            entry("W1_Append/vector/1000", 1000.0), entry("W1_Append/vector/1000", 800.0),
            entry("W1_Append/vector/1000", 900.0))
        row = rows[("W1_Append", 1000, "vector")]
        self.assertEqual(row.ratio, "2.67")  # 2400 ns / 900 ns
        self.assertTrue(row.met)

    def test_rounds_are_compared_within_themselves(self):
        # The library ran slow in rounds 2 and 3, the peer in round 2 only:
        # the medians alone (180 / 120) would call it 1.5x the peer.
        times = {"quolan": [100.0, 180.0, 190.0], "cjson": [110.0, 200.0, 120.0]}
        documents = [{"benchmarks": [entry(f"W3_Walk/{c}/1000", t[k])]} for k in range(3) for c, t in times.items()]
        runs = bench_table.load_runs(documents, [1, 1, 2, 2, 3, 3])
        row = bench_table.build_rows(runs)[0]
        self.assertEqual(row.ratio, "0.91")  # the rounds' ratios: 0.91, 0.90, 1.58
        self.assertTrue(row.met)

    def test_throughput_target_wants_the_library_faster_by_the_factor(self):
        def met(library_ns):
            rows = rows_of(entry("W7_SaveLoadInt/quolan/1000000", library_ns),
                           entry("W7_SaveLoadInt/msgpack/1000000", 1000.0))
            return rows[("W7_SaveLoadInt", 1000000, "msgpack")].met
        self.assertTrue(met(700.0))    # 1.43x the throughput
        self.assertFalse(met(800.0))   # only 1.25x
        self.assertFalse(met(1500.0))  # slower

    def test_faster_target_is_strict_and_applies_only_where_stated(self):
        rows = rows_of(entry("W5_StringKey/quolan/16", 100.0), entry("W5_StringKey/cjson/16", 100.0),
                       entry("W5_StringKey/linear/16", 70.0),
                       entry("W5_StringKey/quolan/256", 100.0), entry("W5_StringKey/linear/256", 10.0))
        self.assertFalse(rows[("W5_StringKey", 16, "cjson")].met)  # equal is not faster
        self.assertTrue(rows[("W5_StringKey", 16, "linear")].met)
        self.assertIsNone(rows[("W5_StringKey", 256, "linear")].met)

    def test_failed_run_is_shown_as_error_and_misses_its_target(self):
        rows = rows_of(dict(entry("W3_Walk/quolan/1000", 1.0), error_occurred=True,
                            error_message="the walk missed elements"),
                       entry("W3_Walk/cjson/1000", 5.0))
        row = rows[("W3_Walk", 1000, "cjson")]
        self.assertEqual(row.library, "error")
        self.assertFalse(row.met)

    def test_memory_row_checks_the_unused_tail(self):
        def memory(slack):
            rows = rows_of(entry("W1_Append/quolan/1000", 1.0, bytes_per_element=16.0,
                                 slack_elements=slack),
                           entry("W1_Append/vector/1000", 1.0))
            return rows[("W1_Append", 1000, "memory")].met
        self.assertTrue(memory(31))
        self.assertFalse(memory(32))


if __name__ == "__main__":
    unittest.main()
