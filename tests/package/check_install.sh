#!/usr/bin/env bash
# Installs the build into a temporary prefix, as the README does into a
# user's, then builds and runs against it, through the CMake package (with
# no C++ standard of their own: the target carries it) and through
# pkg-config: the hello-world examples, which save a document to a file and
# load it back; and through the package, the client test programs, which try
# the file functions on bad files and the C++ layer with ranges.  The installed qctool must run
# with no LD_LIBRARY_PATH, as a user's shell would.
set -euo pipefail
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" > /dev/null

for project in examples tests/package; do
  cmake -S "$source/$project" -B "$prefix/cmake/$project" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Debug > /dev/null
  cmake --build "$prefix/cmake/$project" > /dev/null
done
cd "$prefix"
cmake/examples/hello cmake.qcf | grep -q "hello from cmake.qcf"
cmake/examples/hello_cpp cmake.qcf | grep -q "the same content as saved: yes"
cmake/tests/package/c_client
cmake/tests/package/cpp_client > /dev/null

libdir=$(dirname "$(find "$prefix" -name quolan-containers.pc)")/..
export PKG_CONFIG_PATH="$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs quolan-containers)
rpath=-Wl,-rpath,"$(pkg-config --variable=libdir quolan-containers)"
cc -std=c11 -Wall -Wextra -Wpedantic -Werror "$source/examples/hello.c" $flags "$rpath" -o hello
c++ -std=c++20 -Wall -Wextra -Wpedantic -Werror "$source/examples/hello.cpp" $flags "$rpath" -o hello_cpp
./hello pc.qcf | grep -q "hello from pc.qcf"
./hello_cpp pc.qcf | grep -q "the same content as saved: yes"
# Below C++20 the layer says so, first.
if echo '#include <quolan/containers.hpp>' | c++ -std=c++17 -x c++ - -fsyntax-only $flags 2> cxx17.txt; then
  echo "the C++ layer compiled as C++17"; exit 1
fi
grep -m1 error cxx17.txt | grep -q "needs C++20"

if [ -e "$build/tools/qctool" ]; then
  env -u LD_LIBRARY_PATH "$prefix/bin/qctool" --version > /dev/null
  env -u LD_LIBRARY_PATH "$prefix/bin/qctool" check cmake.qcf > /dev/null
  [ -s "$prefix/share/man/man1/qctool.1" ]
fi
echo "package ok: examples and client tests built and ran through CMake and pkg-config; the installed qctool runs"
