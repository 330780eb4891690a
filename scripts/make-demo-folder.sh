#!/bin/sh
# Prepares a folder to start korvane in: the demo track and a korvane.ini
# that lists it, so the first start plays at once. Keeps what is there.
# Usage: make-demo-folder.sh DIR
set -eu
dir=$1
here=$(dirname "$0")
mkdir -p "$dir"
[ -f "$dir/korvane-demo.mp3" ] || "$here/make-demo-track.sh" "$dir/korvane-demo.mp3"
if [ ! -f "$dir/korvane.ini" ]; then
  # Lines 1 to 25 as korvane writes its defaults, then the playlist block;
  # the lines after it take their defaults.
  printf ' 0\r\n 400\r\n 300\r\n 0\r\n 0\r\n0.55\r\n0.34\r\n225\r\n300\r\n0.45\r\n0.3\r\n225\r\n300\r\n 0\r\n200\r\n8000\r\n2\r\n1\r\n1.2\r\n1\r\n100\r\n1.7\r\n 0\r\n 0\r\n 0\r\nkorvane-demo.mp3\r\nfinlist\r\n' \
    > "$dir/korvane.ini"
fi
