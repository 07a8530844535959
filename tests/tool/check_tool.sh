#!/usr/bin/env bash
# qctool end to end: the demo round trip, check and dump of its file,
# clear failures (nonzero exit, status name, byte offset) on damaged files,
# and the JSON form: lossless both ways for every saved class, and bad forms
# refused with the JSON path.
set -euo pipefail
qctool=$1
data=$(cd "$(dirname "$0")/data" && pwd)
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

# binary -> JSON -> binary and JSON -> binary -> JSON are identical, for the
# demo and for a form of every saved class (data/*.json are to-json output).
"$qctool" to-json demo.qcf > demo.json
"$qctool" from-json demo.json demo-again.qcf
cmp demo.qcf demo-again.qcf
for form in "$data"/*.json; do
  name=$(basename "$form" .json)
  "$qctool" from-json "$form" "$name.qcf" 2> note.txt
  "$qctool" check "$name.qcf" > /dev/null
  "$qctool" to-json "$name.qcf" > "$name.json"
  cmp "$form" "$name.json"
  "$qctool" from-json "$name.json" "$name-again.qcf" 2> /dev/null
  cmp "$name.qcf" "$name-again.qcf"
  # The library saves these forms as given, except the one built to differ.
  if [ "$name" = odd_records ]; then grep -q "gives other bytes" note.txt; else [ ! -s note.txt ]; fi
done

# Nesting: as deep as the library loads, and one level more is refused.
nest() {  # depth
  local open='' close=''
  for ((i = 1; i < $1; i++)); do open+='{"class":"Array","elements":['; close+=']}'; done
  printf '%s{"class":"Array","elements":[]}%s' "$open" "$close"
}
nest 1000 > deep.json
"$qctool" from-json deep.json deep.qcf
"$qctool" to-json deep.qcf > /dev/null

expect_json_failure() {  # JSON text, text the message must contain
  printf '%s' "$1" > bad.json
  if "$qctool" from-json bad.json bad.qcf 2> err.txt; then echo "from-json accepted $1"; exit 1; fi
  [ ! -e bad.qcf ] || { echo "from-json wrote a file for $1"; exit 1; }
  grep -qF -- "$2" err.txt || { echo "unexpected message for $1:"; cat err.txt; exit 1; }
}
A='{"class": "Array", "elements": '
T='{"class": "ArrayTyped", "types": [], "elements": [], '
expect_json_failure "$A[1, 2" "not JSON"
expect_json_failure '[1]' '$: expected a container'
expect_json_failure '{"class": "ArrayDefer", "elements": []}' '$.class: ArrayDefer has no saved form'
expect_json_failure '{"class": "DictDefer", "keys": [], "values": []}' '$.class: DictDefer has no saved form'
expect_json_failure '{"class": "Vector", "elements": []}' 'unknown class "Vector"'
expect_json_failure '{"class": "Dict", "keys": []}' 'Dict needs "values"'
expect_json_failure '{"class": "Dict", "keys": [], "values": [], "vaules": []}' '$.vaules: not a field of Dict'
expect_json_failure "$A[1, 2147483648]}" '$.elements[1]: 2147483648 is out of range'
expect_json_failure "$A[-2147483649]}" '$.elements[0]: -2147483649 is out of range'
expect_json_failure "$A[1.5]}" '$.elements[0]: an Integer has no fraction'
expect_json_failure "$A[[1]]}" '$.elements[0]: an entry is'
expect_json_failure "$A"'[{"Double": "000000000000f83"}]}' '$.elements[0].Double: expected 16 hex digits'
expect_json_failure "$A"'[{"Double": "000000000000f83g"}]}' "'g' is not a hex digit"
expect_json_failure "$A"'[{"Double": "000000000000f83f", "aprox": 1}]}' '$.elements[0].aprox: not a member'
expect_json_failure "$A"'["a\u0000b"]}' '$.elements[0]: a string cannot hold a NUL'
expect_json_failure "$A"'[{"StringHex": "6100"}]}' '$.elements[0]: a string cannot hold a NUL'
expect_json_failure "$A"'[{"Boolean": 256}]}' '$.elements[0].Boolean: 256 is out of range 0 to 255'
expect_json_failure "$A"'{"count": 3}}' '$.elements.count: 3 is out of range'
expect_json_failure "$T"'"lock": 256, "access": 0}' '$.lock: 256 is out of range'
expect_json_failure "$T"'"lock": 0, "access": 2147483648}' '$.access: 2147483648 is out of range'
nest 1001 > bad.json
expect_json_failure "$(cat bad.json)" 'nested deeper than 1000 levels'
# Forms the library refuses to load: named by the entry the load stopped at.
expect_json_failure '{"class": "ArrayTyped", "types": ["Integer"], "elements": [{"Double": "000000000000f83f"}], "lock": 0, "access": 0}' \
  '$.elements[0]: the library refuses the container this form describes'
expect_json_failure '{"class": "GenSet", "members": [7, {"class": "DictTyped", "types": ["Integer"], "keys": ["n"], "values": ["x"], "lock": 0, "access": 0}]}' \
  '$.members[1].values[0]: the library refuses'

# to-json refuses what check refuses, and says why a deferred class is absent.
head -c 40 demo.qcf > cut.qcf
if "$qctool" to-json cut.qcf > /dev/null 2> err.txt; then echo "to-json accepted cut.qcf"; exit 1; fi
grep -q "at byte 40" err.txt
printf 'QUOLANCF\001\000\000\000\012\000\000\000ArrayDefer\000\000\000\000' > defer.qcf
if "$qctool" to-json defer.qcf > /dev/null 2> err.txt; then echo "to-json accepted defer.qcf"; exit 1; fi
grep -q "ArrayDefer containers have no saved form" err.txt
echo "qctool ok"
