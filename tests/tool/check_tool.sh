#!/usr/bin/env bash
# qctool end to end: the demo round trip, check and dump of its file, and
# clear failures (nonzero exit, status name, byte offset) on damaged files.
set -euo pipefail
qctool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$qctool" demo demo.qcf > demo.out
grep -q "the same .* bytes when saved again" demo.out
grep -q "ReadOnly NotLocked" demo.out
grep -q "offset +0.25 K" demo.out  # produced through the deferred dictionary's loader

"$qctool" check demo.qcf | grep -q "ok, one Dict"
"$qctool" dump demo.qcf > dump.out
diff <(tail -n +4 demo.out) <(tail -n +2 dump.out)

expect_failure() {  # file, text the message must contain
  if "$qctool" check "$1" 2> err.txt; then echo "check accepted $1"; exit 1; fi
  grep -q "$2" err.txt || { echo "unexpected message:"; cat err.txt; exit 1; }
}
size=$(stat -c %s demo.qcf)
for cut in 4 11 15 40 $((size / 2)) $((size - 1)); do
  head -c "$cut" demo.qcf > cut.qcf
  expect_failure cut.qcf "at byte"
done
{ cat demo.qcf; printf 'x'; } > trailing.qcf
expect_failure trailing.qcf "1 bytes after the record"
printf 'not a container' > text.qcf
expect_failure text.qcf "not a QUOLAN container file"
{ printf 'QUOLANCF\002\000\000\000'; tail -c +13 demo.qcf; } > version.qcf
expect_failure version.qcf "unsupported format version 2"
echo "qctool ok"
