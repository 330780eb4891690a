#!/bin/sh
# Builds korvane's Debian package and checks it with lintian, which must
# report no error (its warnings are printed). The package installs under
# /usr; install it with
#   sudo apt-get install ./build-deb/korvane_*.deb
# and remove it with `sudo apt-get remove korvane`.
# Usage: package.sh [BUILD]. BUILD (default build-deb) is configured for
# /usr; a new one builds in release mode without tests and benchmarks, an
# existing one keeps its settings. Prints the package's path last.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=${1:-build-deb}

if [ -f "$dir/CMakeCache.txt" ]; then
  set --
else
  set -- -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr "$@" > "$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)"

rm -f "$dir"/korvane_*.deb
(cd "$dir" && cpack -G DEB > cpack.log 2>&1) || { cat "$dir/cpack.log"; exit 1; }
deb=$(ls "$dir"/korvane_*.deb)
status=0
lintian --fail-on error "$deb" > "$dir/lintian.log" 2>&1 || status=$?
# Less its note on running as root, which a build machine may well do.
grep -v "running with root privileges" "$dir/lintian.log" || true
[ "$status" = 0 ] || { echo "lintian reports errors in $deb"; exit 1; }
echo "$deb"
