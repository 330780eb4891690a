#!/bin/sh
# Installs what is missing, builds korvane and starts it in the demo folder,
# whose korvane.ini lists the demo track, so the first start plays at once.
# The folder keeps korvane's settings between runs.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF \
  > build.configure.log 2>&1 || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)"

scripts/make-demo-folder.sh demo
cd demo
exec "$root/build/bin/korvane"
