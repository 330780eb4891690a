#!/bin/sh
# Installs what is missing, builds korvane and runs the whole test suite:
# the plain build (unit, integration, real-window and installed-tree tests),
# its Debian package checked by lintian, every test again under the address
# and undefined-behaviour sanitizers, and the concurrency tests under the
# thread sanitizer.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

build() {
  dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
}

build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
ctest --test-dir build-test --output-on-failure -j "$jobs"
scripts/package.sh build-test

# The sanitizer build uses clang, so both compilers build everything with
# warnings as errors.
build build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=address,undefined -DKORVANE_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=thread -DKORVANE_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -L concurrency

echo "all tests passed"
