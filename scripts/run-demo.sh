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

mkdir -p demo
[ -f demo/korvane-demo.mp3 ] || scripts/make-demo-track.sh demo/korvane-demo.mp3
if [ ! -f demo/korvane.ini ]; then
  # Line 1 is the current track; lines 2 to 25 take their defaults until the
  # playlist block, so write the defaults korvane itself would write.
  printf ' 0\r\n 400\r\n 300\r\n 0\r\n 0\r\n0.55\r\n0.34\r\n225\r\n300\r\n0.45\r\n0.3\r\n225\r\n300\r\n 0\r\n200\r\n8000\r\n2\r\n1\r\n1.2\r\n1\r\n100\r\n1.7\r\n 0\r\n 0\r\n 0\r\nkorvane-demo.mp3\r\nfinlist\r\n' > demo/korvane.ini
fi
cd demo
exec "$root/build/bin/korvane"
