#!/usr/bin/env bash
# Plain JSON both ways: every valid text in data/json/y_*.json imports,
# checks, and exports to the same JSON value (read back by CMake's JSON
# reader, not ours); every text in n_*.json, invalid or beyond what the
# containers hold, is refused with exit 1, a byte offset and no output.
# Numbers keep their value and -0 its sign; doubles print in their
# shortest exact form; the container file goes to standard output, but
# never to a terminal.
set -euo pipefail
qctool=$1
data=$(cd "$(dirname "$0")/data/json" && pwd)
equal=$(cd "$(dirname "$0")" && pwd)/json_equal.cmake
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT

for text in "$data"/y_*.json; do
  name=$(basename "$text" .json)
  "$qctool" import "$text" "$name.qcf" || { echo "import refused $name"; exit 1; }
  "$qctool" check "$name.qcf" > /dev/null
  "$qctool" export "$name.qcf" "$name.out.json"
  # Beyond int32 an integer comes back as a Double: the same number, which
  # CMake's reader would call another type.
  if [ "$name" != y_number_beyond_int32 ]; then
    cmake -DA="$text" -DB="$name.out.json" -P "$equal"
  fi
  "$qctool" import "$name.out.json" - | "$qctool" export - > again.json
  cmp "$name.out.json" again.json
done
[ "$("$qctool" export --compact y_number_beyond_int32.qcf)" = \
  '[2147483648.0,-2147483649.0,9007199254740992.0,18446744073709551616.0]' ]
printf '[-0, 1e-10, 1e300, 0.1, 2.0, 7]' | "$qctool" import - numbers.qcf
[ "$("$qctool" export --compact numbers.qcf)" = '[-0.0,1e-10,1e+300,0.1,2.0,7]' ]
[ "$("$qctool" dump numbers.qcf | grep -c -e '<-0.0>$' -e '<1e-10>$' -e '<1e+300>$' -e '<0.1>$' -e '<2.0>$')" = 5 ]
grep -q '"a": 3' y_object_repeated_name_last_wins.out.json
[ "$(grep -c '"a"' y_object_repeated_name_last_wins.out.json)" = 1 ]

for text in "$data"/n_*.json; do
  name=$(basename "$text" .json)
  if "$qctool" import "$text" refused.qcf 2> err.txt; then echo "import accepted $name"; exit 1; fi
  [ ! -e refused.qcf ] || { echo "import wrote a file for $name"; exit 1; }
  grep -q "at byte [0-9]" err.txt || { echo "no byte offset for $name:"; cat err.txt; exit 1; }
done
expect_refusal() {  # JSON text, text the message must contain
  if printf '%s' "$1" | "$qctool" import - refused.qcf 2> err.txt; then echo "import accepted $1"; exit 1; fi
  grep -qF -- "$2" err.txt || { echo "unexpected message for $1:"; cat err.txt; exit 1; }
}
expect_refusal $'[\n  1,\n  2 3]' 'standard input:3:5: at byte 11: not JSON: expected'
expect_refusal '1abc' 'at byte 1: not JSON'
expect_refusal '["a\u0000b"]' 'U+0000'
expect_refusal '[1e400]' 'beyond the range of a double'
expect_refusal '"text"' 'standard input:1:1: at byte 0: a top-level string is not a container'
expect_refusal $'\xff\xfe[]' 'UTF-16 byte-order mark'
# A UTF-8 byte-order mark is skipped.
[ "$(printf '\xef\xbb\xbf[1]' | "$qctool" import - - | "$qctool" export --compact -)" = '[1]' ]

# Nesting: 1000 levels import and come back; the 1001st bracket is refused
# where it stands; a million levels are refused the same way, not by
# exhausting the stack.
nest() { printf "%$1s" | tr ' ' '['; printf "%$1s" | tr ' ' ']'; }
nest 1000 > deep.json
"$qctool" import deep.json deep.qcf
"$qctool" export deep.qcf | tr -d ' \n' | cmp - deep.json
nest 1001 > deeper.json
expect_refusal "$(cat deeper.json)" 'at byte 1000: nested deeper than 1000 levels'
nest 1000000 > deepest.json
if "$qctool" import deepest.json refused.qcf 2> err.txt; then echo "import accepted a million levels"; exit 1; fi
grep -q 'at byte 1000: nested deeper' err.txt

# Wide: thirty thousand entries, to standard output, which must not be a
# terminal, and a device that fills up.
{ printf '['; seq -s, 1 30000; printf ']'; } > wide.json
"$qctool" import wide.json > wide.qcf
[ "$("$qctool" export wide.qcf | grep -c '^  [0-9]')" = 30000 ]
[ "$("$qctool" export --compact wide.qcf)" = "$(tr -d "\n" < wide.json)" ]
if script -qec "$qctool import wide.json" /dev/null > tty.txt; then echo "import wrote to a terminal"; exit 1; fi
grep -q "import: standard output is a terminal" tty.txt
if "$qctool" import wide.json /dev/full 2> err.txt; then echo "import to a full device succeeded"; exit 1; fi
grep -q "/dev/full: cannot write: No space left on device" err.txt
[ -c /dev/full ] || { echo "import put a file in place of /dev/full"; exit 1; }

# Export of what only the containers have: a set as an array of its members,
# a typed dictionary as a plain object, non-text keys as their JSON text,
# NaN as null with a note.
cat > form.json <<'FORM'
{"class": "DictTyped", "types": ["Integer", null, null, null], "keys": ["n", 7, "set", "nan"],
 "values": [1, "seven", {"class": "GenSet", "members": [null, "x", 2]}, {"Double": "000000000000f87f"}],
 "lock": 1, "access": 1}
FORM
"$qctool" from-json form.json form.qcf 2> /dev/null
"$qctool" export form.qcf form.out.json 2> note.txt
printf '{"n": 1, "7": "seven", "set": ["x", 2], "nan": null}' > expected.json
cmake -DA=expected.json -DB=form.out.json -P "$equal"
grep -q "1 Double values that are NaN or infinite were written as null" note.txt
echo "plain JSON ok"
