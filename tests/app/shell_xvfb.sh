#!/bin/sh
# The player in a real window on a virtual X server: it starts on the second
# entry of a playlist of a generated MP3, shows its title bar and the menu
# entry's 64 x 64 icon (ICON, data/icons/korvane-64.png) as the window's
# icon, takes "g" (equalizer on) and Escape from the keyboard, and writes
# korvane.ini with line 14 reading " 1".
# The last line of its output names the output plug-out the player loaded.
# Usage: shell_xvfb.sh KORVANE MP3 ICON. Exit 77 (skipped) without the X tools.
set -eu
. "$(dirname "$0")/korvane_ini.sh"
korvane=$1
mp3=$2

if [ "${KORVANE_INSIDE_X:-}" != 1 ]; then
  for tool in xvfb-run xdotool xprop import convert; do
    command -v "$tool" > /dev/null || { echo "skipped: $tool is missing"; exit 77; }
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cp "$mp3" "$work/track.mp3"
  cp "$3" "$work/icon.png"
  # Track 2: the title "2.track.mp3" starts at (1, 1), and the glyph "2"
  # leaves the pixel (5, 5) in the bar's colour ("1" would cover it).
  korvane_ini 1 track.mp3 track.mp3 > "$work/korvane.ini"
  KORVANE_INSIDE_X=1 xvfb-run -a -s '-screen 0 1920x1080x24' sh "$0" "$korvane" "$work"
  exit $?
fi

work=$mp3
cd "$work"
# Under the address sanitizer: the desktop's libraries (D-Bus, X11, the GL
# driver) keep allocations until the process ends; the unit tests check ours.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
export ASAN_OPTIONS
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "$korvane" > out.log 2> err.log &
pid=$!

fail() {
  echo "FAIL: $*"
  kill "$pid" 2> /dev/null || true
  cat err.log
  exit 1
}

window=$(timeout 10 xdotool search --sync --name '^korvane$' | head -n 1) || fail "no korvane window"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT
[ "$WIDTH" = 344 ] && [ "$HEIGHT" = 93 ] || fail "window is ${WIDTH}x${HEIGHT}"

# _NET_WM_ICON: width, height, then the pixels row by row as opaque ARGB.
xprop -id "$window" -notype -f _NET_WM_ICON 32c '=$0+\n' _NET_WM_ICON | sed 's/^_NET_WM_ICON=//' |
  tr ',' '\n' | tr -d ' ' > shown-icon.txt
{
  echo 64
  echo 64
  convert icon.png -depth 8 RGB:- | od -An -v -tu1 -w3 |
    awk '{ printf "%.0f\n", 4278190080 + $1 * 65536 + $2 * 256 + $3 }'
} > menu-icon.txt
cmp -s shown-icon.txt menu-icon.txt || fail "the window's icon is not the menu entry's: $(head -n 3 shown-icon.txt | tr '\n' ' ')"

# The pixel at (5, 5) of the window, once the panel is drawn.
colour=""
tries=0
while [ $tries -lt 50 ]; do
  import -window root shot.png
  colour=$(convert shot.png -format "%[pixel:p{$((X + 5)),$((Y + 5))}]" info:)
  [ "$colour" = "srgb(0,50,100)" ] && break
  tries=$((tries + 1))
  sleep 0.1
done
[ "$colour" = "srgb(0,50,100)" ] || fail "title bar pixel is $colour"
# The main panel is drawn once the engine has started its plug-out.
plugout=$(grep -o -m 1 '/.*/plug-[a-z]*\.so$' "/proc/$pid/maps") || fail "no plug-out loaded"

# Keys go to the window under the pointer when no window manager runs.
xdotool mousemove --window "$window" 170 85
xdotool windowfocus --sync "$window" 2> /dev/null || true
xdotool key g
sleep 0.6
xdotool key Escape

status=0
timeout 10 sh -c "while kill -0 $pid 2> /dev/null; do sleep 0.1; done" || fail "korvane did not end"
wait "$pid" || status=$?
[ "$status" = 0 ] || fail "exit code $status"
line14=$(sed -n 14p korvane.ini | tr -d '\r')
[ "$line14" = " 1" ] || fail "line 14 of korvane.ini is '$line14'"
echo "ok: title bar $colour, the menu entry's icon, line 14 '$line14'"
echo "plug-out: $plugout"
