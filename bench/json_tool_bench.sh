#!/usr/bin/env bash
# qctool import and export of a large JSON document (186,000 small objects,
# about 48 MB), against python3 doing the same job (json.load; json.load
# then json.dump), and against the library's own load of the container file
# import writes (quolan_file_load); also import of one object with 100,000
# keys, where every put searches a large dictionary: wall time and peak
# memory from /usr/bin/time, medians of ROUNDS runs taken in turn, so that
# load coming and going on a shared machine falls on every contender alike.
# Prints a Markdown table.
#
# Usage: bench/json_tool_bench.sh [--rounds N] [--objects N] [--build-dir DIR]
#   --rounds     runs of each job (default 5)
#   --objects    objects in the document (default 186000)
#   --build-dir  an optimised build of one's own instead of the demo preset's
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=5
objects=186000
build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift ;;
    --objects) objects=$2; shift ;;
    --build-dir) build=$2; shift ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "json_tool_bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
scripts/install-deps.sh demo python3 time
if [ -z "$build" ]; then
  cmake --preset demo > /dev/null
  cmake --build --preset demo
  build=build/demo
fi
build=$(realpath "$build")
qctool=$build/tools/qctool
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -Iinclude bench/load_container_file.c -L"$build" -lquolan_containers -lquolan_platform \
   -Wl,-rpath,"$build" -o "$work/load_container_file"

# Records of a user directory: numbers, texts, booleans, a null now and
# then, a short array and a nested object.
python3 - "$objects" > "$work/doc.json" <<'PY'
import json, random, sys
random.seed(7)
json.dump([{"id": i, "name": "user %d" % i, "email": "user%d@example.org" % i,
            "active": i % 3 != 0, "score": round(random.random() * 1000, 3),
            "ratio": random.random(), "tags": ["t%d" % (i % 17), "group-%d" % (i % 101)],
            "address": {"street": "%d Long Road" % (i % 997), "city": "Town %d" % (i % 53),
                        "zip": "%05d" % (i % 99991)},
            "parent": None if i % 5 else i - 1} for i in range(int(sys.argv[1]))], sys.stdout)
PY
# One object of 100,000 members.
python3 -c 'import json, sys; json.dump({"key %d" % i: i for i in range(100000)}, sys.stdout)' > "$work/wide.json"
echo "== document: $objects objects, $(stat -c %s "$work/doc.json") bytes"

measure() {  # job, command...
  local job=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null
  echo "$job $(cat "$work/time")" >> "$work/results"
}
load='import json, sys; json.load(open(sys.argv[1]))'
dump='import json, sys; json.dump(json.load(open(sys.argv[1])), open(sys.argv[2], "w"), indent=2)'
compact='import json, sys; json.dump(json.load(open(sys.argv[1])), open(sys.argv[2], "w"), separators=(",", ":"))'
cd "$work"
for round in $(seq 1 "$rounds"); do
  echo "== round $round of $rounds"
  measure python3-load python3 -c "$load" doc.json
  measure import "$qctool" import doc.json doc.qcf
  measure library-load ./load_container_file doc.qcf
  measure python3-load-dump python3 -c "$dump" doc.json py.json
  measure export "$qctool" export doc.qcf out.json
  measure python3-load-dump-compact python3 -c "$compact" doc.json py-compact.json
  measure export-compact "$qctool" export --compact doc.qcf out-compact.json
  measure python3-load-wide python3 -c "$load" wide.json
  measure import-wide "$qctool" import wide.json wide.qcf
  measure library-load-wide ./load_container_file wide.qcf
done
# Each contender did the whole job: the same JSON value came out.
python3 -c 'import json, sys; a = json.load(open("doc.json")); sys.exit(any(json.load(open(f)) != a for f in sys.argv[1:]))' \
  out.json out-compact.json
"$qctool" export wide.qcf | python3 -c 'import json, sys; sys.exit(json.load(sys.stdin) != json.load(open("wide.json")))'
cmp -s out-compact.json py-compact.json || echo "(export --compact and python3 differ in number spelling only)"

python3 - "$work/results" "$(stat -c %s doc.qcf)" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    job, seconds, kb = line.split()
    runs.setdefault(job, []).append((float(seconds), int(kb)))
med = {job: (statistics.median(s for s, _ in r), statistics.median(k for _, k in r) / 1024) for job, r in runs.items()}
print("\ncontainer file: %.1f MB; the library's own load: %.2f s, %.0f MiB peak\n" % (int(sys.argv[2]) / 1e6, *med["library-load"]))
print("| job | qctool | python3 | time, qctool / python3 | peak memory, qctool / library load |")
print("|---|---:|---:|---:|---:|")
for job, peer, own, title in (("import", "python3-load", "library-load", "import"),
                              ("export", "python3-load-dump", "library-load", "export"),
                              ("export-compact", "python3-load-dump-compact", "library-load", "export --compact"),
                              ("import-wide", "python3-load-wide", "library-load-wide", "import, one object of 100,000 keys")):
    (qs, qm), (ps, pm) = med[job], med[peer]
    print("| %s | %.2f s, %.0f MiB | %.2f s, %.0f MiB | %.2f | %.2f |" % (title, qs, qm, ps, pm, qs / ps, qm / med[own][1]))
PY
