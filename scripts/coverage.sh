#!/usr/bin/env bash
# Line and branch coverage of the library code (not of the stand-ins, tools or
# tests), from the whole test suite in an instrumented build.  Prints a
# summary and writes build/coverage/coverage.txt (per file) and .html.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test gcovr
jobs=$(nproc)
cmake --preset coverage > /dev/null
cmake --build --preset coverage -j"$jobs" > /dev/null
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j"$jobs" -E memcheck > build/coverage/ctest.log
filters=(--filter 'framework/' --filter 'array/' --filter 'array_variants/' --filter 'dict/'
         --filter 'genset/' --filter 'debug/')
/usr/bin/python3 scripts/gcovr_merged.py --root . --object-directory build/coverage "${filters[@]}" \
  --gcov-exclude '.*CompilerId.*' --exclude-unreachable-branches --exclude-throw-branches \
  --txt build/coverage/coverage.txt --html-details build/coverage/coverage.html \
  --print-summary
