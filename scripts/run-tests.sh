#!/usr/bin/env bash
# Installs what is missing (Debian packages), builds, and runs every test:
# the debug build with warnings as errors, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer (leak detection on), the
# unit, model and allocation suites with the key index built out, and the
# fuzz targets for a bounded number of runs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc)

echo "== debug build, warnings as errors"
cmake --preset dev >/dev/null
cmake --build --preset dev -j"$jobs"
ctest --preset dev -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

echo "== key index off: searches walk, same answers"
cmake --preset no-key-index >/dev/null
cmake --build --preset no-key-index -j"$jobs"
ctest --preset no-key-index -j"$jobs"

if [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets, bounded runs"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j"$jobs"
  scripts/run-fuzzers.sh build/fuzz "${QUOLAN_FUZZ_RUNS:-1000000}"
fi
echo "== all tests passed"
