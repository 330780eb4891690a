#!/bin/sh
# Takes a screenshot of korvane playing the demo track, under a virtual X
# server, and writes it to OUT.png (default docs/main-panel.png). Any further
# arguments are xdotool key names pressed one after the other, a second
# apart, before the picture is taken, to open a panel: for example
#   scripts/screenshot.sh docs/equalizer-editor.png g e
# Needs a built korvane in build/bin (scripts/run-demo.sh builds it).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-docs/main-panel.png}
[ $# -gt 0 ] && shift
work=$(mktemp -d)
display=:$((90 + $$ % 100))

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
korvane=
trap 'kill $korvane $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1

scripts/make-demo-folder.sh "$work"
(cd "$work" && DISPLAY=$display SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
  exec "$root/build/bin/korvane" > /dev/null 2>&1) &
korvane=$!
sleep 6
# The window stands where korvane.ini puts it.
window=$(DISPLAY=$display xdotool search --name '^korvane$' | head -n 1)
for key in "$@"; do
  DISPLAY=$display xdotool windowactivate --sync "$window" key "$key" 2>/dev/null ||
    DISPLAY=$display xdotool key --window "$window" "$key"
  sleep 1
done
[ $# -gt 0 ] && sleep 2
eval "$(DISPLAY=$display xdotool getwindowgeometry --shell "$window")"
mkdir -p "$(dirname "$out")"
DISPLAY=$display import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out"
