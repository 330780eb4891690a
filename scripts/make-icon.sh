#!/bin/sh
# Draws korvane's desktop icon into data/icons with korvane-icon (the
# window's font and drawing), after building it in build/.
set -eu
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja > /dev/null
cmake --build build --target korvane-icon
build/bin/korvane-icon data/icons
