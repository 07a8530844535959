#!/usr/bin/env bash
# qctool end to end: command-line conventions, the demo round trip, check
# and dump of its file, clear failures (exit 1, byte offset, record path,
# status name) on damaged files, repeated keys and members refused, and the
# JSON form: lossless both ways for every saved class, and bad forms refused
# with the JSON path.  Plain JSON has a script of its own.
set -euo pipefail
qctool=$1
here=$(cd "$(dirname "$0")" && pwd)
data=$here/data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Conventions: help and version on stdout with 0; usage errors named on
# stderr with 2; nothing on stdout then.
expect_exit() {  # code, command...
  local want=$1 got=0
  shift
  "$@" > out.txt 2> err.txt || got=$?
  [ "$got" = "$want" ] || { echo "exit $got, not $want: $*"; cat err.txt; exit 1; }
}
for help in --help -h help; do
  expect_exit 0 "$qctool" $help
  [ ! -s err.txt ]
  for command in demo dump check to-json from-json import export; do grep -q "^  $command " out.txt; done
done
expect_exit 0 "$qctool" help import
grep -q "usage: qctool import IN.json \[OUT\]" out.txt
expect_exit 0 "$qctool" help help
grep -q "usage: qctool help \[COMMAND\]" out.txt
expect_exit 0 "$qctool" dump --help
grep -q "usage: qctool dump FILE" out.txt
expect_exit 0 "$qctool" --version
grep -q "^qctool [0-9]" out.txt
expect_exit 2 "$qctool"
expect_exit 2 "$qctool" frobnicate
grep -q "unknown command 'frobnicate'" err.txt && [ ! -s out.txt ]
expect_exit 2 "$qctool" dump --frobnicate x
grep -q "unknown option '--frobnicate'" err.txt
expect_exit 2 "$qctool" dump --compact x
grep -q "dump: unknown option '--compact'" err.txt
expect_exit 2 "$qctool" check
grep -q "check: expected FILE, got 0 operands" err.txt
expect_exit 2 "$qctool" help frobnicate
expect_exit 1 "$qctool" check no-such.qcf
grep -q "no-such.qcf: cannot read: No such file" err.txt

"$qctool" demo demo.qcf > demo.out
grep -q "the same .* bytes when saved again" demo.out
grep -q "ReadOnly NotLocked" demo.out
grep -q "offset +0.25 K" demo.out  # produced through the deferred dictionary's loader

"$qctool" check demo.qcf | grep -q "ok, one Dict"
"$qctool" dump demo.qcf > dump.out
diff <(tail -n +4 demo.out) <(tail -n +2 dump.out)
grep -A3 "<tags>] = GenSet" dump.out | grep -q "\[2\] = -Integer- <2024>"  # a set shows its members

# '-' is standard input and output wherever a file is read or written.
"$qctool" check - < demo.qcf | grep -q "standard input: ok, one Dict"
"$qctool" demo - 2> /dev/null | cmp - demo.qcf
"$qctool" to-json - < demo.qcf | "$qctool" from-json - - | cmp - demo.qcf
# A failed write is an error: a full device, a closed pipe.
if "$qctool" dump demo.qcf > /dev/full 2> err.txt; then echo "dump to a full device succeeded"; exit 1; fi
grep -q "standard output: cannot write: No space left on device" err.txt
if "$qctool" to-json demo.qcf /dev/full 2> err.txt; then echo "to-json to a full device succeeded"; exit 1; fi
{ printf '['; seq -s, 1 30000; printf ']'; } | "$qctool" import - wide.qcf
set +o pipefail
"$qctool" export wide.qcf - 2> err.txt | head -c 1 > /dev/null
[ "${PIPESTATUS[0]}" = 1 ] || { echo "export into a closed pipe did not exit 1"; exit 1; }
set -o pipefail
grep -q "Broken pipe" err.txt

expect_failure() {  # file, text the message must contain
  if "$qctool" check "$1" 2> err.txt; then echo "check accepted $1"; exit 1; fi
  grep -qF -- "$2" err.txt || { echo "unexpected message:"; cat err.txt; exit 1; }
}
size=$(stat -c %s demo.qcf)
for cut in 4 11 15 40 $((size / 2)) $((size - 1)); do
  head -c "$cut" demo.qcf > cut.qcf
  expect_failure cut.qcf "at byte"
done
# The refusal names the entry the load stopped in, nested ones included.
head -c 300 demo.qcf > cut.qcf
expect_failure cut.qcf 'cut.qcf: at byte 300, in Dict entry "readings", Array position 4: the file ends inside the Dict record (status -2 StatusFailed)'
head -c 700 demo.qcf > cut.qcf
expect_failure cut.qcf 'at byte 700, in Dict entry "tags", GenSet member 1:'
{ cat demo.qcf; printf 'x'; } > trailing.qcf
expect_failure trailing.qcf "1 bytes after the record"
printf 'not a container' > text.qcf
expect_failure text.qcf "not a QUOLAN container file"
{ printf 'QUOLANCF\002\000\000\000'; tail -c +13 demo.qcf; } > version.qcf
expect_failure version.qcf "unsupported format version 2"

# A key or member held twice loads, but the library never writes one.
frame() { printf 'QUOLANCF\001\000\000\000'; printf '%b' "$1"; }
S='\004\000\000\000\001\000\000\000'  # tag 4, length 1
frame "\004\000\000\000Dict\002\000\000\000${S}a\000${S}a\000\002\000\000\000\001\000\000\000\001\000\000\000\001\000\000\000\002\000\000\000" > twice.qcf
"$qctool" dump twice.qcf > /dev/null
expect_failure twice.qcf 'at byte 34, in Dict key at position 1: key "a" repeats the key at position 0'
frame "\006\000\000\000GenSet\002\000\000\000\001\000\000\000\007\000\000\000\001\000\000\000\007\000\000\000" > twice.qcf
expect_failure twice.qcf 'in GenSet member 1: member 7 repeats the member at position 0'

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
expect_json_failure '{"class": "Array", "elements": [{"class": "Dict", "keys": ["a", "b", "a"], "values": [1, 2, 3]}]}' \
  '$.elements[0].keys[2]: key "a" repeats the key at position 0'
expect_json_failure '{"class": "GenSet", "members": [{"Double": "0000000000000000"}, {"Double": "0000000000000080"}]}' \
  '$.members[1]: member Double -0.0 repeats'

# to-json refuses what check refuses, and says why a deferred class is absent.
head -c 40 demo.qcf > cut.qcf
if "$qctool" to-json cut.qcf > /dev/null 2> err.txt; then echo "to-json accepted cut.qcf"; exit 1; fi
grep -q "at byte 40" err.txt
printf 'QUOLANCF\001\000\000\000\012\000\000\000ArrayDefer\000\000\000\000' > defer.qcf
if "$qctool" to-json defer.qcf > /dev/null 2> err.txt; then echo "to-json accepted defer.qcf"; exit 1; fi
grep -q "ArrayDefer containers have no saved form" err.txt
"$here/check_plain_json.sh" "$qctool"
echo "qctool ok"
