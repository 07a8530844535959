#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs the
# examples against it twice: through the CMake package and through pkg-config.
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

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
flags=$(pkg-config --cflags --libs quolan-containers)
cc -std=c11 -Wall -Wextra -Werror "$source/examples/c_client.c" $flags \
  -Wl,-rpath,"$prefix/lib" -o "$prefix/c_client_pc"
c++ -std=c++20 -Wall -Wextra -Werror "$source/examples/cpp_client.cpp" $flags \
  -Wl,-rpath,"$prefix/lib" -o "$prefix/cpp_client_pc"
"$prefix/c_client_pc" > /dev/null
"$prefix/cpp_client_pc" > /dev/null
echo "package ok: examples built and ran through CMake and pkg-config"
