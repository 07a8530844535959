#!/usr/bin/env bash
# Installs the build into a temporary prefix, then: builds and runs the
# examples against it through the CMake package (with no C++ standard of
# their own: the target carries it) and through pkg-config, and runs the
# installed qctool with no LD_LIBRARY_PATH, as a user's shell would.
set -euo pipefail
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" > /dev/null

cmake -S "$source/examples" -B "$prefix/examples" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Debug > /dev/null
cmake --build "$prefix/examples" > /dev/null
"$prefix/examples/c_client"
"$prefix/examples/cpp_client"

libdir=$(dirname "$(find "$prefix" -name quolan-containers.pc)")/..
export PKG_CONFIG_PATH="$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs quolan-containers)
cc -std=c11 -Wall -Wextra -Werror "$source/examples/c_client.c" $flags \
  -Wl,-rpath,"$libdir" -o "$prefix/c_client_pc"
c++ -std=c++20 -Wall -Wextra -Werror "$source/examples/cpp_client.cpp" $flags \
  -Wl,-rpath,"$libdir" -o "$prefix/cpp_client_pc"
"$prefix/c_client_pc" > /dev/null
"$prefix/cpp_client_pc" > /dev/null

if [ -e "$build/tools/qctool" ]; then
  env -u LD_LIBRARY_PATH "$prefix/bin/qctool" --version > /dev/null
  (cd "$prefix" && env -u LD_LIBRARY_PATH "$prefix/bin/qctool" demo > /dev/null && \
    env -u LD_LIBRARY_PATH "$prefix/bin/qctool" check demo.qcf > /dev/null)
  [ -s "$prefix/share/man/man1/qctool.1" ]
fi
echo "package ok: examples built and ran through CMake and pkg-config; the installed qctool runs"
