#!/usr/bin/env bash
# The main job: builds qctool and runs its demo, which builds a nested
# document of every storable class, saves it to a container file, loads it
# back, checks that it saves to the same bytes, and prints it.  Needs CMake,
# Ninja, a C++ compiler and nlohmann-json (installed when missing); the
# build is the "demo" preset: optimised, without the test suites.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
echo "== configuring (build/demo)"
cmake --preset demo > /dev/null
echo "== building the library and qctool"
cmake --build --preset demo -j"$(nproc)"
echo "== qctool demo"
build/demo/tools/qctool demo "${1:-build/demo.qcf}"
