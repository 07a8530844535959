#!/usr/bin/env bash
# The main job: builds qctool and runs its demo, which builds a nested
# document of every storable class, saves it to a container file, loads it
# back, checks that it saves to the same bytes, and prints it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release > /dev/null
cmake --build --preset release --target qctool -j"$(nproc)" > /dev/null
mkdir -p build
build/release/tools/qctool demo "${1:-build/demo.qcf}"
