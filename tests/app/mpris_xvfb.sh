#!/bin/sh
# korvane on a private session bus, in a real window on a virtual X server,
# driven by the desktop's own MPRIS client (playerctl) and by raw D-Bus
# calls: it is listed, plays and names its track, skips, pauses with the
# position held, plays on from there, answers while the playlist panel is
# open, sends valid UTF-8 for a Latin-1 tag and a Latin-1 file name, and
# ends on Quit with its settings saved. Without a session bus it runs as
# before and says nothing about it.
# Usage: mpris_xvfb.sh KORVANE. Exit 77 (skipped) without the tools.
set -eu
korvane=$1
. "$(dirname "$0")/korvane_ini.sh"

if [ "${KORVANE_INSIDE_BUS:-}" != 1 ]; then
  for tool in dbus-run-session dbus-send playerctl xvfb-run xdotool sox lame; do
    command -v "$tool" > /dev/null || { echo "skipped: $tool is missing"; exit 77; }
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Three 40-second tracks: the first with a Latin-1 title in an ID3v2.3
  # tag, the second without a tag, the third with a Latin-1 file name.
  sox -n -r 44100 -c 2 -t wav - synth 40 sine 440 2> /dev/null | lame --quiet - "$work/plain.mp3"
  {
    printf 'ID3\003\000\000\000\000\000\045'  # 37 bytes of frames and padding
    printf 'TIT2\000\000\000\011\000\000'     # 9 bytes: encoding 0, then the title
    printf '\000Caf\351 one'
    printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
    cat "$work/plain.mp3"
  } > "$work/one.mp3"
  cp "$work/plain.mp3" "$work/two.mp3"
  cp "$work/plain.mp3" "$work/$(printf 'tr\344ck.mp3')"
  korvane_ini 0 one.mp3 two.mp3 "$(printf 'tr\344ck.mp3')" > "$work/korvane.ini"
  KORVANE_INSIDE_BUS=1 dbus-run-session -- xvfb-run -a -s '-screen 0 1920x1080x24' sh "$0" "$korvane" "$work" \
    2> "$work/bus.log" || { status=$?; grep -v 'fd limit' "$work/bus.log" >&2 || true; exit $status; }
  exit 0
fi

work=$2
cd "$work"
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
export ASAN_OPTIONS SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
pid=""

fail() {
  echo "FAIL: $*"
  [ -n "$pid" ] && kill "$pid" 2> /dev/null
  cat err.log 2> /dev/null
  exit 1
}

# A command that must answer within a second; its output in $answer.
timed() {
  start=$(date +%s%N)
  answer=$("$@" 2>&1) || fail "'$*' failed: $answer"
  took=$((($(date +%s%N) - start) / 1000000))
  [ "$took" -lt 1000 ] || fail "'$*' took $took ms"
}

expect() {  # WHAT EXPECTED COMMAND...
  what=$1 expected=$2
  shift 2
  timed "$@"
  [ "$answer" = "$expected" ] || fail "$what is '$answer', not '$expected'"
}

player() { playerctl -p korvane "$@"; }
property() {
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.korvane /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player "string:$1"
}
# Whether position $2 lies more than $1 seconds past position $3.
later() { awk -v d="$1" -v a="$2" -v b="$3" 'BEGIN { exit !(a - b > d) }'; }

korvane_window() {
  timeout 10 xdotool search --sync --name '^korvane$' | head -n 1
}

# Without a session bus: korvane plays and ends as ever, silently.
env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR=/nonexistent "$korvane" > out.log 2> err.log &
pid=$!
window=$(korvane_window) || fail "no window without a bus"
xdotool mousemove --window "$window" 170 85
sleep 1
xdotool key --window "$window" Escape
timeout 10 sh -c "while kill -0 $pid 2> /dev/null; do sleep 0.1; done" || fail "korvane without a bus did not end"
wait "$pid" || fail "korvane without a bus ended with $?"
! grep -qi 'bus' err.log || fail "korvane without a bus complained about it"
pid=""

"$korvane" > out.log 2> err.log &
pid=$!
window=$(korvane_window) || fail "no korvane window"
# Listed from the start; playing once its first track has started.
tries=0
until playerctl -l 2> /dev/null | grep -qx korvane && [ "$(player status 2>&1)" = Playing ]; do
  tries=$((tries + 1))
  [ $tries -lt 100 ] || fail "playerctl does not list korvane playing: $(playerctl -l 2>&1) $(player status 2>&1)"
  sleep 0.1
done

expect "title" "$(printf 'Caf\303\251 one')" player metadata title
timed player next
expect "title after next" two player metadata title

timed player pause
expect "status after pause" Paused player status
timed player position
held=$answer
sleep 1
expect "position while paused" "$held" player position

timed player play
expect "status after play" Playing player status
timed player position
resumed=$answer
later 0.5 "$resumed" "$held" && fail "play did not go on from $held: $resumed"
sleep 1
timed player position
later 0.5 "$answer" "$resumed" || fail "position stood still after play: $resumed, then $answer"

# The playlist panel takes the window; the bus answers all the same.
xdotool mousemove --window "$window" 170 85
xdotool key --window "$window" p
tries=0
while :; do
  window=$(korvane_window) || fail "no window for the playlist"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [ "$WIDTH" = 500 ] && break
  tries=$((tries + 1))
  [ $tries -lt 50 ] || fail "the playlist panel did not open"
  sleep 0.1
done
expect "status in the panel" Playing player status
expect "title in the panel" two player metadata title
timed player pause
expect "status after pause in the panel" Paused player status
timed player play
expect "status after play in the panel" Playing player status
timed player next
expect "title after next in the panel" "$(printf 'tr\303\244ck')" player metadata title

# The third file's name is Latin-1: the raw reply holds it as UTF-8.
timed property Metadata
printf '%s\n' "$answer" | grep -q "string \"$(printf 'tr\303\244ck')\"" || fail "metadata title: $answer"
printf '%s\n' "$answer" | grep -q 'string "file:///.*/tr%E4ck.mp3"' || fail "metadata url: $answer"
printf '%s\n' "$answer" | grep -q 'object path "/org/korvane/track/2"' || fail "metadata trackid: $answer"
timed property Position
printf '%s\n' "$answer" | grep -q 'int64 [1-9]' || fail "position: $answer"

# Quit closes the panel and ends korvane; korvane.ini has the third track.
timed dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.korvane /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Quit
status=0
timeout 10 sh -c "while kill -0 $pid 2> /dev/null; do sleep 0.1; done" || fail "korvane did not end on Quit"
wait "$pid" || status=$?
pid=""
[ "$status" = 0 ] || fail "exit code $status"
line1=$(sed -n 1p korvane.ini | tr -d '\r')
[ "$line1" = " 2" ] || fail "line 1 of korvane.ini is '$line1'"
echo "ok: listed, played, skipped, paused at $held, resumed, answered in the playlist, quit with line 1 '$line1'"
