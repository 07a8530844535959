#!/usr/bin/env bash
# Mutation check: does the test suite catch real faults?
#
# Applies a fixed list of small deliberate faults (scripts/mutants/faults.txt)
# to the library sources, one at a time, on a snapshot of a revision: a
# temporary git worktree under /tmp with one Debug build.  For each fault it
# rebuilds incrementally, runs the library suites, and reports "caught" (a
# test failed, crashed or timed out) or "missed"; then it puts the file back.
# A fault whose original snippet is not found exactly once "does not apply":
# the sources moved and the list needs a look.  Run by hand, not in CI.
#
#   scripts/mutants.sh [options] [REV]      REV defaults to HEAD
#     --only LIST      run only these faults: numbers and ranges, e.g. 3,7,10-12
#     --list           list the faults (and whether each applies to REV); build nothing
#     --results FILE   where the result table goes (default /tmp/mutants-result.txt)
#     --timeout SECS   limit for one fault's test run (default 300); each test
#                      gets at most a fifth of it
#     --logs DIR       keep each fault's build and test output in DIR
#     --faults FILE    another fault list (default scripts/mutants/faults.txt)
#
# Exit status: 0 when the run completed (whatever the score), 1 when the
# unmutated baseline fails or the setup breaks, 2 for a usage error.
set -euo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(git -C "$script_dir" rev-parse --show-toplevel)
faults_file=$script_dir/mutants/faults.txt
results=/tmp/mutants-result.txt
only=""
list_only=0
fault_timeout=300
logs=""
rev_arg=HEAD

usage() { sed -n '12,22p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2; exit 2; }

while [ $# -gt 0 ]; do
    case $1 in
    --only) only=${2:?--only needs a list}; shift 2 ;;
    --list) list_only=1; shift ;;
    --results) results=${2:?--results needs a file}; shift 2 ;;
    --timeout) fault_timeout=${2:?--timeout needs seconds}; shift 2 ;;
    --logs) logs=${2:?--logs needs a directory}; shift 2 ;;
    --faults) faults_file=${2:?--faults needs a file}; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "mutants.sh: unknown option $1" >&2; usage ;;
    *) rev_arg=$1; shift ;;
    esac
done
[[ $fault_timeout =~ ^[0-9]+$ ]] && [ "$fault_timeout" -ge 10 ] || { echo "mutants.sh: --timeout wants 10 or more seconds" >&2; exit 2; }
[ -f "$faults_file" ] || { echo "mutants.sh: no fault list at $faults_file" >&2; exit 2; }
rev=$(git -C "$repo" rev-parse --verify --quiet "${rev_arg}^{commit}") ||
    { echo "mutants.sh: $rev_arg is not a revision" >&2; exit 2; }
short_rev=$(git -C "$repo" rev-parse --short "$rev")

# The suites that exercise the library, the model test among them.  memcheck, the installed package and
# qctool are left out for time; a fault may add a suite with an "also" line.
base_tests='unit|model_.*|platform|allocation_failures|process_.*|c_.*'
test_timeout=$((fault_timeout / 5))
# The model test runs 30,000 operations per class per fault unless told
# otherwise: enough to reach every operation many times, in seconds.
export QUOLAN_MODEL_STEPS=${QUOLAN_MODEL_STEPS:-30000}

# ---- the fault list, read and applied by one helper --------------------------
read -r -d '' helper <<'PY' || true
import os, subprocess, sys

def parse(path):
    faults, cur = [], None
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if line.startswith("## "):
                head = line[3:].split()
                if len(head) != 2 or not head[0].isdigit():
                    sys.exit(f"{path}:{lineno}: want '## N path'")
                cur = {"n": int(head[0]), "path": head[1], "what": "", "also": [],
                       "old": [], "new": [], "line": lineno}
                faults.append(cur)
            elif cur is None or line == "" or line.startswith("#"):
                continue
            elif line.startswith("what "):
                cur["what"] = line[5:].strip()
            elif line.startswith("also "):
                cur["also"] += line[5:].split()
            elif line[0] == "-":
                cur["old"].append(line[1:])
            elif line[0] == "+":
                cur["new"].append(line[1:])
            else:
                sys.exit(f"{path}:{lineno}: unexpected line: {line}")
    seen = set()
    for fl in faults:
        where = f"{path}:{fl['line']}"
        if fl["n"] in seen: sys.exit(f"{where}: fault {fl['n']} twice")
        if not fl["old"] or not fl["what"]: sys.exit(f"{where}: fault {fl['n']} needs 'what' and '-' lines")
        seen.add(fl["n"])
    return faults

def select(faults, only):
    if not only:
        return faults
    wanted = set()
    for item in only.split(","):
        lo, _, hi = item.strip().partition("-")
        if not lo.isdigit() or (hi and not hi.isdigit()):
            sys.exit(f"--only: bad item '{item}'")
        wanted.update(range(int(lo), int(hi or lo) + 1))
    known = {fl["n"] for fl in faults}
    if wanted - known:
        sys.exit("--only: no such fault: " + ",".join(map(str, sorted(wanted - known))))
    return [fl for fl in faults if fl["n"] in wanted]

def snippets(fl):
    old = "\n".join(fl["old"]) + "\n"
    new = "\n".join(fl["new"]) + "\n" if fl["new"] else ""
    return old, new

def verdict(text, fl):
    """None when the fault applies to `text`, else why not."""
    if text is None:
        return "does not apply: no such file"
    count = text.count(snippets(fl)[0])
    return None if count == 1 else f"does not apply: snippet found {count} times"

cmd, path = sys.argv[1], sys.argv[2]
faults = parse(path)
if cmd == "select":            # select FAULTS ONLY -> N, path, also,.., what; split by \x1f
    for fl in select(faults, sys.argv[3]):
        print("\x1f".join([str(fl["n"]), fl["path"], ",".join(fl["also"]), fl["what"]]))
elif cmd == "list":            # list FAULTS ONLY REPO REV
    repo, rev = sys.argv[4], sys.argv[5]
    for fl in select(faults, sys.argv[3]):
        shown = subprocess.run(["git", "-C", repo, "show", f"{rev}:{fl['path']}"],
                               capture_output=True, text=True)
        why = verdict(shown.stdout if shown.returncode == 0 else None, fl)
        extra = f" [+{','.join(fl['also'])}]" if fl["also"] else ""
        print(f"{fl['n']:>3}  {fl['path']:<34} {fl['what']}{extra}" + (f"  ** {why}" if why else ""))
elif cmd == "apply":           # apply FAULTS N ROOT: rewrites the file, or exits 3 saying why not
    n, root = int(sys.argv[3]), sys.argv[4]
    fl = next(f for f in faults if f["n"] == n)
    target = os.path.join(root, fl["path"])
    text = open(target, encoding="utf-8").read() if os.path.isfile(target) else None
    why = verdict(text, fl)
    if why:
        print(why)
        sys.exit(3)
    old, new = snippets(fl)
    with open(target, "w", encoding="utf-8") as f:
        f.write(text.replace(old, new, 1))
else:
    sys.exit(f"helper: unknown command {cmd}")
PY
faults_helper() { python3 -c "$helper" "$@"; }

selection=$(faults_helper select "$faults_file" "$only") || exit 2
[ -n "$selection" ] || { echo "mutants.sh: no faults selected" >&2; exit 2; }

if [ "$list_only" = 1 ]; then
    echo "Faults in ${faults_file#"$repo"/}, checked against $short_rev:"
    faults_helper list "$faults_file" "$only" "$repo" "$rev"
    exit 0
fi

# ---- the snapshot ------------------------------------------------------------
work=$(mktemp -d /tmp/quolan-mutants.XXXXXX)
src=$work/src
build=$work/build
logdir=${logs:-$work/logs}
mkdir -p "$logdir"

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    if [ -d "$src" ]; then
        git -C "$repo" worktree remove --force "$src" 2>/dev/null ||
            { rm -rf "$src"; git -C "$repo" worktree prune 2>/dev/null || true; }
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$(date +%s)
echo "mutants: revision $short_rev, snapshot in $src"
git -C "$repo" worktree add --detach --quiet "$src" "$rev"
echo "mutants: configuring and building (Debug, -j2)"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUOLAN_BUILD_TOOLS=OFF \
    >"$logdir/configure.log" 2>&1 || { echo "mutants: configure failed, see $logdir/configure.log" >&2; exit 1; }
ninja -C "$build" -j2 >"$logdir/baseline-build.log" 2>&1 ||
    { echo "mutants: baseline build failed, see $logdir/baseline-build.log" >&2; exit 1; }

# Every suite a selected fault runs must exist and pass on the unmutated tree.
extra_tests=$(cut -d$'\x1f' -f3 <<<"$selection" | tr ',' '\n' | sed '/^$/d' | sort -u | paste -sd'|' -)
for name in ${extra_tests//|/ }; do
    ctest --test-dir "$build" -N -R "^${name}\$" | grep -q 'Total Tests: 1' ||
        { echo "mutants: the build has no test named '$name' (is valgrind installed?)" >&2; exit 1; }
done
run_tests() {  # run_tests REGEX LOG: ctest's exit status, 124 when the whole run timed out
    local status=0
    timeout -k 10 "$fault_timeout" ctest --test-dir "$build" -R "$1" --no-tests=error \
        --timeout "$test_timeout" -j2 --output-on-failure </dev/null >"$2" 2>&1 || status=$?
    return "$status"
}
baseline_regex="^(${base_tests}${extra_tests:+|$extra_tests})\$"
echo "mutants: baseline run of $baseline_regex"
if ! run_tests "$baseline_regex" "$logdir/baseline-test.log"; then
    echo "mutants: the unmutated baseline fails; see $logdir/baseline-test.log" >&2
    exit 1
fi

# ---- one fault at a time -----------------------------------------------------
rows=()
caught=0 missed=0 not_applied=0 not_built=0
while IFS=$'\x1f' read -r -u 3 n path also what; do
    t0=$(date +%s)
    backup=$work/original
    existed=0
    [ -f "$src/$path" ] && cp "$src/$path" "$backup" && existed=1
    if ! why=$(faults_helper apply "$faults_file" "$n" "$src"); then
        result=$why
        not_applied=$((not_applied + 1))
    elif ! ninja -C "$build" -j2 >"$logdir/$n-build.log" 2>&1; then
        result="did not build"
        not_built=$((not_built + 1))
    else
        regex="^(${base_tests}${also:+|${also//,/|}})\$"
        status=0
        run_tests "$regex" "$logdir/$n-test.log" || status=$?
        if [ "$status" = 0 ]; then
            result="missed"
            missed=$((missed + 1))
        else
            # The failing suites as ctest names them: "unit (Failed)", "c_c_client (Timeout)".
            by=$(sed -n '/The following tests FAILED:/,$p' "$logdir/$n-test.log" |
                 sed -n 's/^[[:space:]]*[0-9]\{1,\} - \([^ ]*\) (\(.*\))$/\1 (\2)/p' | paste -sd',' - | sed 's/,/, /g')
            [ "$status" = 124 ] && by="run timed out after ${fault_timeout}s${by:+; $by}"
            result="caught: ${by:-ctest exit $status}"
            caught=$((caught + 1))
        fi
    fi
    [ "$existed" = 1 ] && cp "$backup" "$src/$path"   # a fresh mtime: the next build recompiles it
    secs=$(($(date +%s) - t0))
    printf 'mutants: %3s  %-10s %4ss  %s\n' "$n" "${result%%:*}" "$secs" "$what"
    rows+=("| $n | $what${also:+ (with ${also//,/, })} | \`$path\` | $result | $secs |")
done 3<<<"$selection"

total=$(($(date +%s) - started))
ran=$((caught + missed))
{
    echo "Mutation run on revision $short_rev ($(git -C "$repo" log -1 --format=%cs "$rev")), $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "Suites run for every fault: ${base_tests//|/, } (Debug build, per-test limit ${test_timeout}s)"
    echo
    echo "| # | fault | file | result | s |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "caught $caught of $ran" \
         "($not_applied did not apply, $not_built did not build); total time $((total / 60)) min $((total % 60)) s"
} >"$results"
echo
cat "$results"
echo
echo "mutants: table written to $results"
