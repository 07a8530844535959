#!/usr/bin/env bash
# Installs the Debian packages a job needs, if missing.
# Usage: install-deps.sh SET [PACKAGE...]
#   demo  what building the library and qctool takes: CMake, Ninja, a C++
#         compiler and the JSON header library the tool is built with
#   test  the demo's set and everything the test command uses: GoogleTest,
#         clang with its fuzzing runtime, valgrind, pkg-config, binutils
# Further arguments are packages wanted beside the set.
set -euo pipefail
demo=(cmake ninja-build g++ nlohmann-json3-dev)
test=("${demo[@]}" clang libclang-rt-14-dev binutils pkgconf libgtest-dev libgmock-dev valgrind)
case "${1:-}" in
  demo) packages=("${demo[@]}") ;;
  test) packages=("${test[@]}") ;;
  *) echo "usage: install-deps.sh demo|test [PACKAGE...]" >&2; exit 2 ;;
esac
shift
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
